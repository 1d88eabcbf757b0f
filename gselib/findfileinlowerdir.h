#pragma once

#include <QDateTime>
#include <QString>

namespace Tools {

/**
 * @brief The file of directory named prefix + date + suffix whose date is the latest not after
 * when; empty when there is none.
 *
 * Dates are read as "yyyyMMdd", "yyyy-MM-dd", "yyyyMMddhhmmss" or "yyyy-MM-ddThh:mm:ss" (UTC), so
 * a directory of database versions can be searched by the test's start time.
 */
QString findFileInLowerDir(const QString& directory, const QDateTime& when, const QString& prefix,
                           const QString& suffix);

}  // namespace Tools

#pragma once

#include <QFileInfo>
#include <QJsonValue>
#include <QString>

namespace TarGse {

/**
 * Whether file is a usable meta-marker rule file. The first problem found is reported on the
 * error output, naming the file and the rule, and makes the whole file invalid.
 */
bool isValidMetamarkerRuleFile(const QFileInfo& file);

/// Whether condition is a trigger object with the keys its type needs; reports the problem.
bool isValidTriggerCondition(const QJsonValue& condition);

/**
 * Whether a rule's "tids" text covers tid: comma-separated pieces, each an integer or two
 * integers joined by one "-" (an inclusive range).
 */
bool tidsCover(const QString& tids, int tid);

}  // namespace TarGse

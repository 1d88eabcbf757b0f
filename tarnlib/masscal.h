#pragma once

#include <tarnlib/masscalentry.h>

#include <QList>
#include <QObject>
#include <QString>
#include <map>

namespace GseLib {
class TmMeta;
}

namespace TarGse {

/**
 * @brief The mass calibration of one test run: one entry per phase cycle, read from an "mcal"
 * file of the TID directory or of the laboratory's calibration directory.
 *
 * Nothing here raises: an unreadable file keeps the previous calibration, invalid entries are
 * dropped, and a phase cycle without an entry falls back to the default entry (-1) and then to
 * the identity, so m/z values equal the control values.
 */
class MassCal : public QObject {
    Q_OBJECT
public:
    enum ControlMode { BIN = 0, RF_MON = 1, RF_DAC = 2 };

    static const QString MCAL_EXT;
    static const QString MASSES_EXT;
    static const QString MCAL_NAME_FILTER;
    static const QString MASSES_NAME_FILTER;
    static const QString VERSION_REGEX;
    static const QString KEY_VERSION;
    static const QString KEY_CTRL_MODE;
    static const QString KEY_ENTRIES;
    static constexpr char COMMENT_SYMBOL = '#';
    static constexpr int NEWEST_VERSION = 2;
    static constexpr int DEFAULT_PHASE_CYCLE = -1;

    explicit MassCal(QObject* parent = nullptr);

    /// Reads a calibration file (either version); false, with nothing changed, when unreadable.
    bool loadFromFile(const QString& path);
    /// Loads the newest file of tidDir, else a copy (made in tidDir) of the newest file of the
    /// default group's calibration directory; false when neither has one.
    bool searchAndLoad(const QString& tidDir);
    /// Absolute path of the "*.mcal" file of dir whose name sorts last; empty when none.
    QString findNewestConfig(const QString& dir) const;

    /// The entry of phaseCycle, else the default entry, else the identity (not valid).
    const MassCalEntry operator[](int phaseCycle) const { return entry(phaseCycle); }
    MassCalEntry entry(int phaseCycle) const;
    QList<int> phaseCycles() const;

    void addMassCalEntry(int phaseCycle);
    void removeMassCalEntry(int phaseCycle);
    void clearEntries();
    void addDataPoint(int phaseCycle, double control, double amu);
    void removeDataPoint(int phaseCycle, double control);
    void setOrder(int phaseCycle, int order);

    int controlMode() const { return controlMode_; }
    void setControlMode(ControlMode mode);
    /// "BIN", "RF_MON", "RF_DAC" or "UNKNOWN".
    QString controlModeAsString() const;

    QString filePath() const { return filePath_; }
    void setFilePath(const QString& path) { filePath_ = path; }
    int fileVersion() const { return fileVersion_; }

    /// The calibration as a version-2 file, compact JSON.
    QString toString() const;

    /// The masses of the first "*.amu" file in the "mcal" folder of the default group's GSE
    /// path, ascending.
    static QList<double> getDefaultMasses();

signals:
    void changed();
    void aboutToLoad();

private:
    QString filePath_;
    int fileVersion_ = NEWEST_VERSION;
    int controlMode_ = BIN;
    std::map<int, MassCalEntry> entries_;
};

/// Loads the calibration of a test run: the tm.meta's "default_mcal" file when the TID
/// directory has it, else what searchAndLoad finds.
void initializeMassCal(MassCal& cal, const GseLib::TmMeta& meta, const QString& tidDir);

}  // namespace TarGse

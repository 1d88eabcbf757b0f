#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace GseLib {

/**
 * @brief Class-wide access to the workstation configuration file ".814config.INI".
 *
 * The file has one group per mission configuration and a group "814" naming the default. Every
 * value read reopens the file, so edits take effect at once. The default group and the list of
 * keys that `verify` requires are process-wide and replaced by each `setDefaultGroup`.
 */
class Config814 {
public:
    static const QString INI_FILE_NAME;
    static const QString ENV_INI814;
    static const QString GROUP_814;
    static const QString KEY_DEFAULT_GROUP;

    static const QString KEY_SEQUENCE_DIR;
    static const QString KEY_SEQ_CFG_FILE;
    static const QString KEY_GSE_DIR;
    static const QString KEY_TM_DEFINITIONS_DIR;
    static const QString KEY_TM_DATABASE_FILE;
    static const QString KEY_DAC_FILE;
    static const QString KEY_HEATER_TABLE_FILE;
    static const QString KEY_DATA_ROOT_DIR;
    static const QString KEY_VIEWERS_ROOT_DIR;
    static const QString KEY_SCLK_TABLE_FILE;
    static const QString KEY_MCAL_DIR;

    /// Key -> whether its value names a file (rather than a directory).
    static const QHash<QString, bool> VALUE_IS_FILE;

    static const QStringList REQ_KEYS_DEFAULT;
    static const QStringList REQ_KEYS_TEV;
    static const QStringList REQ_KEYS_BOR;
    static const QStringList REQ_KEYS_KIR;
    static const QStringList REQ_KEYS_TAR;
    static const QStringList REQ_KEYS_LUM;
    static const QStringList REQ_KEYS_AZU;
    static const QStringList REQ_KEYS_PRYN;
    static const QStringList REQ_KEYS_VIREO;

    Config814() = delete;

    /// Makes group the default and picks the required keys by the mission word it contains.
    static void setDefaultGroup(const QString& group);
    static QString getDefaultGroup();
    static QStringList requiredKeys();

    /**
     * True when every required key of group names an existing file or directory.
     * @throw std::runtime_error for an empty group
     */
    static bool verify(const QString& group);

    /**
     * The value of key in group; empty when the key is missing.
     * @throw std::runtime_error when the file has no such group
     */
    static QString getValue(const QString& key, const QString& group);

    static QString getSequenceDir(const QString& group);
    static QString getSeqConfigPath(const QString& group);
    static QString getGsePath(const QString& group);
    static QString getTmDefinitionsDir(const QString& group);
    static QString getTmDatabasePath(const QString& group);
    static QString getDacFilePath(const QString& group);
    static QString getHeaterTablePath(const QString& group);
    static QString getDataRootDir(const QString& group);
    static QString getViewersDir(const QString& group);
    static QString getSclkTablePath(const QString& group);
    static QString getMcalDir(const QString& group);
    /// The "gse" path followed by "/configs/<name>/".
    static QString getGseConfigsDir(const QString& name, const QString& group);

    /**
     * The "default_group" of group "814", upper-cased.
     * @throw std::runtime_error when it is missing or empty
     */
    static QString getDefaultGroupFromIni();
    /// As above, with fallback (upper-cased) in place of the error.
    static QString getDefaultGroupFromIni(const QString& fallback);

    /// "INI814" when set and not empty, else "<home>/.814config.INI".
    static QString getConfigPath();

    /**
     * Writes the invalid-group message to standard error and raises it.
     * @throw std::runtime_error always
     */
    [[noreturn]] static void throwInvalidGroupException(const QString& group);

    /// Conventional locations for key of group, offered to configuration tools.
    static QStringList getDefaultPaths(const QString& group, const QString& key);

private:
    static QString getConfigValue(const QString& group, const QString& key);
};

}  // namespace GseLib

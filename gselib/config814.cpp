#include <gselib/config814.h>

#include <tools/logger/diagnostics.h>
#include <tools/logger/eventmessage.h>

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <cstdio>
#include <stdexcept>

namespace GseLib {

namespace {

QString g_defaultGroup;
QStringList g_requiredKeys;

QStringList withDefault(const QStringList& extra) {
    return Config814::REQ_KEYS_DEFAULT + extra;
}

struct GroupFiles {
    const char* database;
    const char* dac;
    const char* clock;
};

// Conventional definition file names, by group; an empty name means the group has none.
const QHash<QString, GroupFiles>& groupFiles() {
    static const QHash<QString, GroupFiles> files = {
        {"TEV", {"TEV_TM_Database.txt", "TEV_DAC_Conversions.txt", "TEV_SCLK.txt"}},
        {"TEV_TESTBED", {"TTB_TM_Database.txt", "TTB_DAC_Conversions.txt", "TTB_SCLK.txt"}},
        {"BORIL", {"BOR_TM_Database.txt", "BOR_DAC_Conversions.txt", "BOR_SCLK.txt"}},
        {"BORIL_TESTBED", {"BTB_TM_Database.txt", "BTB_DAC_Conversions.txt", "BTB_SCLK.txt"}},
        {"KIRUN", {"KIR_TM_Database.txt", "KIR_DAC_Conversions.txt", "KIR_SCLK.txt"}},
        {"TARN", {"TAR_TM_Database.txt", "TAR_DAC_Conversions.txt", "TAR_SCLK.txt"}},
        {"LUMO", {"LUM_TM_Database.txt", "", "LUM_SCLK.txt"}},
        {"AZU", {"AZU_TM_Database.txt", "", "AZU_SCLK.txt"}},
        {"PRYN", {"PRYN_TM_Database.txt", "", "PRYN_SCLK.txt"}},
        {"VIREO", {"VIREO_TM_Database.txt", "VIREO_DAC_Conversions.txt", ""}},
    };
    return files;
}

// The mission word that names a group's conventional gse directories.
QString missionWord(const QString& group) {
    if (group == QLatin1String("TEV") || group == QLatin1String("TEV_TESTBED")) {
        return QStringLiteral("tev");
    }
    if (group == QLatin1String("BORIL") || group == QLatin1String("BORIL_TESTBED")) {
        return QStringLiteral("boril");
    }
    return group.toLower();
}

}  // namespace

const QString Config814::INI_FILE_NAME = QStringLiteral(".814config.INI");
const QString Config814::ENV_INI814 = QStringLiteral("INI814");
const QString Config814::GROUP_814 = QStringLiteral("814");
const QString Config814::KEY_DEFAULT_GROUP = QStringLiteral("default_group");

const QString Config814::KEY_SEQUENCE_DIR = QStringLiteral("sequence_root");
const QString Config814::KEY_SEQ_CFG_FILE = QStringLiteral("seq_config");
const QString Config814::KEY_GSE_DIR = QStringLiteral("gse");
const QString Config814::KEY_TM_DEFINITIONS_DIR = QStringLiteral("tm_definitions");
const QString Config814::KEY_TM_DATABASE_FILE = QStringLiteral("tm_database");
const QString Config814::KEY_DAC_FILE = QStringLiteral("dac_file");
const QString Config814::KEY_HEATER_TABLE_FILE = QStringLiteral("heater_table");
const QString Config814::KEY_DATA_ROOT_DIR = QStringLiteral("data_root");
const QString Config814::KEY_VIEWERS_ROOT_DIR = QStringLiteral("viewers_root");
const QString Config814::KEY_SCLK_TABLE_FILE = QStringLiteral("sclk_table");
const QString Config814::KEY_MCAL_DIR = QStringLiteral("mcal_root");

const QHash<QString, bool> Config814::VALUE_IS_FILE = {
    {KEY_SEQUENCE_DIR, false},       {KEY_SEQ_CFG_FILE, true},     {KEY_GSE_DIR, false},
    {KEY_TM_DEFINITIONS_DIR, false}, {KEY_TM_DATABASE_FILE, true}, {KEY_DAC_FILE, true},
    {KEY_HEATER_TABLE_FILE, true},   {KEY_DATA_ROOT_DIR, false},   {KEY_VIEWERS_ROOT_DIR, false},
    {KEY_SCLK_TABLE_FILE, true},     {KEY_MCAL_DIR, false},
};

const QStringList Config814::REQ_KEYS_DEFAULT = {KEY_GSE_DIR, KEY_TM_DEFINITIONS_DIR,
                                                 KEY_TM_DATABASE_FILE, KEY_VIEWERS_ROOT_DIR,
                                                 KEY_DATA_ROOT_DIR};
const QStringList Config814::REQ_KEYS_TEV =
    withDefault({KEY_DAC_FILE, KEY_HEATER_TABLE_FILE, KEY_SCLK_TABLE_FILE});
const QStringList Config814::REQ_KEYS_BOR =
    withDefault({KEY_DAC_FILE, KEY_HEATER_TABLE_FILE, KEY_SCLK_TABLE_FILE});
const QStringList Config814::REQ_KEYS_KIR =
    withDefault({KEY_DAC_FILE, KEY_HEATER_TABLE_FILE, KEY_SCLK_TABLE_FILE});
const QStringList Config814::REQ_KEYS_TAR =
    withDefault({KEY_SEQUENCE_DIR, KEY_SEQ_CFG_FILE, KEY_DAC_FILE, KEY_HEATER_TABLE_FILE,
                 KEY_SCLK_TABLE_FILE, KEY_MCAL_DIR});
const QStringList Config814::REQ_KEYS_VIREO = withDefault({KEY_DAC_FILE, KEY_MCAL_DIR});
const QStringList Config814::REQ_KEYS_LUM = REQ_KEYS_DEFAULT;
const QStringList Config814::REQ_KEYS_AZU = REQ_KEYS_DEFAULT;
const QStringList Config814::REQ_KEYS_PRYN = REQ_KEYS_DEFAULT;

void Config814::setDefaultGroup(const QString& group) {
    g_defaultGroup = group;
    GSE_LOG_INFO("config814", QStringLiteral("Changed default Config814 group to ") + group);

    // The first mission word the group contains decides; "TEV" comes first so that the
    // TEV_TESTBED group gets the TEV list.
    static const std::pair<const char*, const QStringList*> byMission[] = {
        {"TEV", &REQ_KEYS_TEV},   {"BORIL", &REQ_KEYS_BOR},   {"KIRUN", &REQ_KEYS_KIR},
        {"TARN", &REQ_KEYS_TAR},  {"LUMO", &REQ_KEYS_LUM},    {"AZU", &REQ_KEYS_AZU},
        {"PRYN", &REQ_KEYS_PRYN}, {"VIREO", &REQ_KEYS_VIREO},
    };
    for (const auto& [word, keys] : byMission) {
        if (group.contains(QLatin1String(word), Qt::CaseInsensitive)) {
            g_requiredKeys = *keys;
            return;
        }
    }
    if (!group.isEmpty()) {
        g_requiredKeys = REQ_KEYS_DEFAULT;
    }
}

QString Config814::getDefaultGroup() {
    return g_defaultGroup;
}

QStringList Config814::requiredKeys() {
    return g_requiredKeys;
}

bool Config814::verify(const QString& group) {
    if (group.isEmpty()) {
        throwInvalidGroupException(group);
    }
    for (const QString& key : g_requiredKeys) {
        QString value;
        try {
            value = getConfigValue(group, key);
        } catch (const std::runtime_error&) {
            return false;
        }
        if (value.isEmpty() || !QFileInfo::exists(value)) {
            return false;
        }
    }
    return true;
}

QString Config814::getConfigValue(const QString& group, const QString& key) {
    QSettings settings(getConfigPath(), QSettings::IniFormat);
    if (!settings.childGroups().contains(group, Qt::CaseSensitive)) {
        throwInvalidGroupException(group);
    }
    return settings.value(group + QLatin1Char('/') + key).toString();
}

QString Config814::getValue(const QString& key, const QString& group) {
    return getConfigValue(group, key);
}

QString Config814::getSequenceDir(const QString& g) {
    return getConfigValue(g, KEY_SEQUENCE_DIR);
}
QString Config814::getSeqConfigPath(const QString& g) {
    return getConfigValue(g, KEY_SEQ_CFG_FILE);
}
QString Config814::getGsePath(const QString& g) {
    return getConfigValue(g, KEY_GSE_DIR);
}
QString Config814::getTmDefinitionsDir(const QString& g) {
    return getConfigValue(g, KEY_TM_DEFINITIONS_DIR);
}
QString Config814::getTmDatabasePath(const QString& g) {
    return getConfigValue(g, KEY_TM_DATABASE_FILE);
}
QString Config814::getDacFilePath(const QString& g) {
    return getConfigValue(g, KEY_DAC_FILE);
}
QString Config814::getHeaterTablePath(const QString& g) {
    return getConfigValue(g, KEY_HEATER_TABLE_FILE);
}
QString Config814::getDataRootDir(const QString& g) {
    return getConfigValue(g, KEY_DATA_ROOT_DIR);
}
QString Config814::getViewersDir(const QString& g) {
    return getConfigValue(g, KEY_VIEWERS_ROOT_DIR);
}
QString Config814::getSclkTablePath(const QString& g) {
    return getConfigValue(g, KEY_SCLK_TABLE_FILE);
}
QString Config814::getMcalDir(const QString& g) {
    return getConfigValue(g, KEY_MCAL_DIR);
}

QString Config814::getGseConfigsDir(const QString& name, const QString& group) {
    return getGsePath(group) + QStringLiteral("/configs/") + name + QLatin1Char('/');
}

QString Config814::getDefaultGroupFromIni() {
    const QString value = getDefaultGroupFromIni(QString());
    if (value.isEmpty()) {
        throw std::runtime_error(QStringLiteral("You must define the '%1' key under the %2 group "
                                                "in %3")
                                     .arg(KEY_DEFAULT_GROUP, GROUP_814, getConfigPath())
                                     .toStdString());
    }
    return value;
}

QString Config814::getDefaultGroupFromIni(const QString& fallback) {
    QSettings settings(getConfigPath(), QSettings::IniFormat);
    const QString value =
        settings.value(GROUP_814 + QLatin1Char('/') + KEY_DEFAULT_GROUP).toString().toUpper();
    return value.isEmpty() ? fallback.toUpper() : value;
}

QString Config814::getConfigPath() {
    const QString fromEnv = qEnvironmentVariable("INI814");
    if (!fromEnv.isEmpty()) {
        return fromEnv;
    }
    return QDir::homePath() + QLatin1Char('/') + INI_FILE_NAME;
}

void Config814::throwInvalidGroupException(const QString& group) {
    const QString message =
        QStringLiteral(
            "The following group does not exist in the .814config.INI file: '%1'. A "
            "valid group is necessary for proper functioning of our software.")
            .arg(group);
    Diagnostics::report(Diagnostics::Kind::Config, message);
    throw std::runtime_error(message.toStdString());
}

QStringList Config814::getDefaultPaths(const QString& group, const QString& key) {
    const QString home = QDir::homePath() + QLatin1Char('/');
    const auto files = groupFiles().constFind(group);
    const bool known = files != groupFiles().constEnd();
    auto definitionFile = [&](const char* name) -> QStringList {
        if (!known || name == nullptr || *name == '\0') {
            return {};
        }
        return {home + QStringLiteral("TMDef/") + QLatin1String(name)};
    };

    if (key == KEY_SEQUENCE_DIR) {
        return {home + QStringLiteral("sequence")};
    }
    if (key == KEY_SEQ_CFG_FILE) {
        return {home + QStringLiteral("sequence/config-default.ops")};
    }
    if (key == KEY_GSE_DIR) {
        if (!known) {
            return {};
        }
        const QString w = missionWord(group);
        if (w == QLatin1String("tev")) {
            return {home + QStringLiteral("tev/gse"), home + QStringLiteral("gse/tev"),
                    home + QStringLiteral("gse/tevgse"), home + QStringLiteral("gse")};
        }
        return {home + w + QStringLiteral("gse"), home + QStringLiteral("gse/") + w,
                home + QStringLiteral("gse/") + w + QStringLiteral("gse")};
    }
    if (key == KEY_TM_DEFINITIONS_DIR) {
        return {home + QStringLiteral("TMDef")};
    }
    if (key == KEY_TM_DATABASE_FILE) {
        return definitionFile(known ? files->database : nullptr);
    }
    if (key == KEY_DAC_FILE) {
        return definitionFile(known ? files->dac : nullptr);
    }
    if (key == KEY_HEATER_TABLE_FILE) {
        return {home + QStringLiteral("fswTables/heater.txt")};
    }
    if (key == KEY_DATA_ROOT_DIR) {
        return {home + QStringLiteral("data")};
    }
    if (key == KEY_VIEWERS_ROOT_DIR) {
        return {home + QStringLiteral("Viewers")};
    }
    if (key == KEY_SCLK_TABLE_FILE) {
        return definitionFile(known ? files->clock : nullptr);
    }
    if (key == KEY_MCAL_DIR) {
        return {home + QStringLiteral("mcal")};
    }
    return {};
}

}  // namespace GseLib

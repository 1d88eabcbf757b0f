#include <tarnlib/sebcmdinterpreter.h>

#include <gselib/config814.h>
#include <gselib/fileopenexception.h>
#include <gselib/parsingexceptions.h>
#include <tarnlib/definitionfields.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <stdexcept>
#include <string>

namespace TarGse {

namespace F = DefinitionFields;

const char* const SebCmdInterpreter::CFG_DIR = "viewerConfigs";
const char* const SebCmdInterpreter::CFG_FILENAME = "seb_cmds.json";
QHash<int, std::shared_ptr<SebCmdInterpreter>> SebCmdInterpreter::interpreters_;

namespace {

std::shared_ptr<BaseFieldDecoder> makeDecoder(const QVariantMap& field) {
    const uint32_t type = F::requireUnsigned(field, QStringLiteral("type"));
    switch (type) {
        case 0:
            return nullptr;
        case SimpleDecoder::TYPE:
            return std::make_shared<SimpleDecoder>(field);
        case HkDecoder::TYPE:
            return std::make_shared<HkDecoder>(field);
        case DacIdDecoder::TYPE:
            return std::make_shared<DacIdDecoder>(field);
        case DacValueDecoder::TYPE:
            return std::make_shared<DacValueDecoder>(field);
        default:
            throw GseLib::GeneralParsingException(QStringLiteral("Unknown decoder type"));
    }
}

}  // namespace

SebCmdInterpreter::SebCmdInterpreter(const QMap<QString, QVariant>& definition) {
    // The id is hexadecimal text ("1C" is command 28). Definition files have always been read
    // this way, so a JSON number is taken through its digits: 28 is command 0x28.
    id_ = int(F::requireHex(definition, QStringLiteral("id")));
    name_ = F::optionalString(definition, QStringLiteral("name"));
    description_ = F::optionalString(definition, QStringLiteral("description"));
    const QString dataKey = QStringLiteral("data");
    const QVariant& data = F::require(definition, dataKey);
    if (F::kindOf(data) != QLatin1String("list")) {
        throw GseLib::UnexpectedValueTypeException(dataKey, QStringLiteral("list"),
                                                   F::kindOf(data));
    }
    for (const QVariant& element : data.toList()) {
        if (F::kindOf(element) != QLatin1String("object")) {
            throw GseLib::UnexpectedValueTypeException(
                dataKey, QStringLiteral("list of objects"),
                QStringLiteral("list of ") + F::kindOf(element));
        }
        decoders_.push_back(makeDecoder(element.toMap()));
    }
}

void SebCmdInterpreter::createInterpreters() {
    using GseLib::Config814;
    createInterpreters(Config814::getGsePath(Config814::getDefaultGroup()) + "/" +
                       QLatin1String(CFG_DIR) + "/" + QLatin1String(CFG_FILENAME));
}

void SebCmdInterpreter::createInterpreters(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw GseLib::FileOpenException(path, file.errorString());
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError) {
        throw GseLib::GeneralParsingException(
            QStringLiteral("%1: %2 at offset %3").arg(path, error.errorString()).arg(error.offset));
    }
    if (!doc.isArray()) {
        throw GseLib::GeneralParsingException(path +
                                              QStringLiteral(": the top level is not a list"));
    }
    QHash<int, std::shared_ptr<SebCmdInterpreter>> table;
    for (const QJsonValue& element : doc.array()) {
        if (element.isObject()) {
            auto interp = std::make_shared<SebCmdInterpreter>(element.toObject().toVariantMap());
            table.insert(interp->id(), interp);
        }
    }
    interpreters_ = std::move(table);
}

std::shared_ptr<SebCmdInterpreter> SebCmdInterpreter::interpreter(int id) {
    return interpreters_.value(id);
}

bool SebCmdInterpreter::hasDecoder(int i) const {
    return i >= 0 && size_t(i) < decoders_.size() && decoders_[size_t(i)];
}

std::shared_ptr<BaseFieldDecoder> SebCmdInterpreter::decoder(int i) const {
    return hasDecoder(i) ? decoders_[size_t(i)] : nullptr;
}

const BaseFieldDecoder& SebCmdInterpreter::field(int i) const {
    if (!hasDecoder(i)) {
        throw std::out_of_range("SEB command " + name_.toStdString() + " (" + std::to_string(id_) +
                                ") has no decoder for field " + std::to_string(i));
    }
    return *decoders_[size_t(i)];
}

unsigned SebCmdInterpreter::fieldSize(int i) const {
    return field(i).size();
}
unsigned SebCmdInterpreter::fieldOffset(int i) const {
    return field(i).offset();
}
QString SebCmdInterpreter::fieldName(int i) const {
    return field(i).fieldName();
}
QString SebCmdInterpreter::fieldDescription(int i) const {
    return field(i).description();
}

CommandBytes SebCmdInterpreter::decodeField(int i, const CommandBytes& bytes) const {
    return field(i).decode(bytes);
}
uint32_t SebCmdInterpreter::decodeFieldToUInt(int i, const CommandBytes& bytes) const {
    return field(i).decodeToUInt(bytes);
}
QString SebCmdInterpreter::decodeFieldToHexStr(int i, const CommandBytes& bytes) const {
    return field(i).decodeToHexStr(bytes);
}
QString SebCmdInterpreter::decodeFieldToDecStr(int i, const CommandBytes& bytes) const {
    return field(i).decodeToDecStr(bytes);
}
double SebCmdInterpreter::decodeFieldToSci(int i, const CommandBytes& bytes) const {
    return field(i).decodeToSci(bytes);
}
QString SebCmdInterpreter::decodeFieldToSciStr(int i, const CommandBytes& bytes) const {
    return field(i).decodeToSciStr(bytes);
}

QStringList SebCmdInterpreter::fieldStringList() const {
    QStringList names;
    for (const auto& d : decoders_) {
        names.append(d ? d->fieldName() : QString());
    }
    return names;
}

QString SebCmdInterpreter::toString() const {
    QString out = QStringLiteral("CMD Name: %1\nID: %2\nDescription: %3")
                      .arg(name_)
                      .arg(id_)
                      .arg(description_);
    for (const auto& d : decoders_) {
        if (d) {
            out += d->toString();
        }
    }
    return out;
}

}  // namespace TarGse

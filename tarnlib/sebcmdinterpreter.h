#pragma once

#include <tarnlib/fielddecoders.h>

#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

namespace TarGse {

/**
 * @brief How one SEB command number's fields read: its name, description and field decoders in
 * the order of the definition file ("seb_cmds.json").
 *
 * Field methods take the command's bytes (sync code first). An index beyond the list, or a
 * place the definition keeps without a decoder (type 0), throws std::out_of_range.
 */
class SebCmdInterpreter {
public:
    static const char* const CFG_DIR;       ///< "viewerConfigs"
    static const char* const CFG_FILENAME;  ///< "seb_cmds.json"

    /**
     * Builds the interpreter a definition object describes.
     * @throw GseLib::HexStringToIntException, GseLib::MissingKeyException,
     *        GseLib::UnexpectedValueTypeException, GseLib::GeneralParsingException
     */
    explicit SebCmdInterpreter(const QMap<QString, QVariant>& definition);

    /**
     * Reads the default configuration group's "viewerConfigs/seb_cmds.json" into the class-wide
     * table, a later definition of an id replacing an earlier one; array elements that are not
     * objects are skipped.
     * @throw GseLib::FileOpenException when the file cannot be opened
     * @throw GseLib::GeneralParsingException when it is not a JSON array
     * @throw the definition errors of the constructor
     */
    static void createInterpreters();
    /// As createInterpreters() for a given file. The table is only replaced when all of it
    /// parses.
    static void createInterpreters(const QString& path);
    /// The interpreter of a command number; null when there is none.
    static std::shared_ptr<SebCmdInterpreter> interpreter(int id);
    static const QHash<int, std::shared_ptr<SebCmdInterpreter>>& interpreters() {
        return interpreters_;
    }
    /// Forgets every interpreter.
    static void clearInterpreters() { interpreters_.clear(); }

    int id() const { return id_; }
    QString name() const { return name_; }
    QString description() const { return description_; }
    int fieldCount() const { return int(decoders_.size()); }
    /// Whether field i exists and has a decoder.
    bool hasDecoder(int i) const;
    std::shared_ptr<BaseFieldDecoder> decoder(int i) const;

    unsigned fieldSize(int i) const;
    unsigned fieldOffset(int i) const;
    QString fieldName(int i) const;
    QString fieldDescription(int i) const;
    CommandBytes decodeField(int i, const CommandBytes& bytes) const;
    uint32_t decodeFieldToUInt(int i, const CommandBytes& bytes) const;
    QString decodeFieldToHexStr(int i, const CommandBytes& bytes) const;
    QString decodeFieldToDecStr(int i, const CommandBytes& bytes) const;
    double decodeFieldToSci(int i, const CommandBytes& bytes) const;
    QString decodeFieldToSciStr(int i, const CommandBytes& bytes) const;
    /// The field names in order; places without a decoder give empty names.
    QStringList fieldStringList() const;
    QString toString() const;

private:
    const BaseFieldDecoder& field(int i) const;

    int id_ = 0;
    QString name_;
    QString description_;
    std::vector<std::shared_ptr<BaseFieldDecoder>> decoders_;

    static QHash<int, std::shared_ptr<SebCmdInterpreter>> interpreters_;
};

}  // namespace TarGse

#include <tarnlib/fielddecoders.h>
#include <tarnlib/sebcmd.h>
#include <tarnlib/sebcmdinterpreter.h>
#include <tarnlib/sebsequence.h>

#include <gselib/dactable.h>
#include <gselib/fileopenexception.h>
#include <gselib/parsingexceptions.h>

#include "scantestutil.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <map>
#include <typeindex>

using namespace testutil;
using TarGse::SebCmd;
using TarGse::SebCmdInterpreter;
using TarGse::SebSequence;

namespace {

Bytes cmd(uint8_t number, const Bytes& params) {
    return scantest::sebCommand(number, params);
}

std::shared_ptr<GseLib::TMPacket> seqPacket(const Bytes& stream, uint32_t address, int index,
                                            int extra = 0) {
    auto p = tom(23, scantest::sequenceData(stream, address, extra));
    p->setIndex(index);
    return p;
}

std::vector<int> numbers(const SebSequence& s) {
    std::vector<int> out;
    for (const auto& c : s.commands) {
        out.push_back(c->number());
    }
    return out;
}

QVariantMap object(const char* json) {
    return QJsonDocument::fromJson(json).object().toVariantMap();
}

// The command as the splitter hands it over: a copy of its bytes.
SebCmd command(uint8_t number, const Bytes& params) {
    const auto b = std::make_shared<Bytes>(cmd(number, params));
    return SebCmd(number, b, 0, int(b->size()));
}

void writeBytes(const QString& path, const Bytes& b) {
    writeFile(path, QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())));
}

}  // namespace

TEST(SebSequence, SplitsPacketsIntoCommands) {
    const Bytes a = cmd(18, {0x03, 0xE8});
    const Bytes b = cmd(29, {0x00, 0x00, 0xC8});
    const Bytes ramp = cmd(33, {0x0D, 0xC3, 0x50, 0x03, 0xE8, 0x00, 0xFA, 0x11});
    const Bytes c = cmd(46, {0, 3, 0xD0, 0x90});
    const std::map<int, size_t> sizes = {
        {18, a.size()}, {29, b.size()}, {33, ramp.size()}, {46, c.size()}};
    const Bytes head4(ramp.begin(), ramp.begin() + 4), rest4(ramp.begin() + 4, ramp.end());
    const Bytes head5(ramp.begin(), ramp.begin() + 5), rest5(ramp.begin() + 5, ramp.end());
    struct Case {
        const char* name;
        std::vector<Bytes> parts;  // stream of each packet in turn
        int extra;                 // declared length beyond the first packet's bytes
        std::vector<int> expected;
        size_t partialLeft;
    };
    const std::vector<Case> cases = {
        {"two whole commands", {cat({a, b})}, 0, {18, 29}, 0},
        {"garbage before the first sync", {cat({{0x00, 0xFA, 0x55}, a})}, 0, {18}, 0},
        {"garbage between commands", {cat({a, {0x01, 0x02}, c})}, 0, {18, 46}, 0},
        // The ramp is cut after 5 bytes; the continuation completes it, and it is added once.
        {"command cut between packets", {cat({b, head5}), cat({rest5, c})}, 0, {29, 33, 46}, 0},
        // Only the sync and number arrive first: fewer than 6 bytes wait for the next packet.
        {"header cut between packets", {cat({a, head4}), rest4}, 0, {18, 33}, 0},
        {"tail shorter than a header is kept", {cat({a, {0xFA, 0xF3}})}, 0, {18}, 2},
        // L claims 40 more bytes than the packet holds: the parser stops at the packet's end,
        // the checksum bytes at most reaching the partial buffer.
        {"declared length beyond the packet", {cat({a})}, 40, {18}, 4},
        {"empty stream", {Bytes{}}, 0, {}, 0},
    };
    for (const Case& k : cases) {
        SebSequence s(seqPacket(k.parts[0], 0, 7, k.extra));
        for (size_t i = 1; i < k.parts.size(); ++i) {
            s.addPartialSequence(seqPacket(k.parts[i], uint32_t(k.parts[0].size()), int(7 + i)));
        }
        EXPECT_EQ(numbers(s), k.expected) << k.name;
        size_t bytes = 0;  // of the commands found, without garbage
        for (int n : k.expected)
            bytes += sizes.at(n);
        EXPECT_EQ(s.byteCount, int(bytes)) << k.name;
        EXPECT_EQ(s.partialBuffer->size(), k.partialLeft) << k.name;
        EXPECT_EQ(s.packetIndexes.size(), qsizetype(k.parts.size())) << k.name;
        EXPECT_EQ(s.packetIndexes.front(), 7) << k.name;
        EXPECT_TRUE(s.valid) << k.name;
        EXPECT_EQ(s.failureString(), "None") << k.name;
    }

    // The command cut between packets comes out byte for byte, and data() is the commands
    // joined in order.
    SebSequence s(seqPacket(cat({b, head5}), 0, 3));
    EXPECT_EQ(*s.partialBuffer, head5);
    s.addPartialSequence(seqPacket(rest5, 16, 4));
    ASSERT_EQ(s.commands.size(), 2);
    EXPECT_EQ(*s.commands[1]->bytes(), ramp);
    EXPECT_EQ(*s.data(), cat({b, ramp}));
    EXPECT_TRUE(s.contains(33));
    EXPECT_FALSE(s.contains(18));
    EXPECT_EQ(s.packetIndexes, QList<int>({3, 4}));
    EXPECT_EQ(s.toString(), "unimplemented");
}

TEST(SebSequence, NewSequencesStartAtAddressZero) {
    EXPECT_TRUE(SebSequence::isNewSequence(seqPacket({}, 0x000000, 0)));
    EXPECT_FALSE(SebSequence::isNewSequence(seqPacket({}, 0x000001, 0)));
    EXPECT_FALSE(SebSequence::isNewSequence(seqPacket({}, 0x010000, 0)));
    EXPECT_FALSE(SebSequence::isNewSequence(tom(23, {1, 2, 3})));  // too short for an address
}

TEST(SebSequence, ReadsSequenceFiles) {
    QTemporaryDir dir;
    const Bytes a = cmd(18, {0x03, 0xE8});
    const Bytes b = cmd(46, {0, 0, 0, 9});
    struct Case {
        const char* name;
        std::optional<Bytes> content;  // nullopt: no file
        int failure;
        std::vector<int> expected;
    };
    const std::vector<Case> cases = {
        {"commands after two bytes", cat({{0x00, 0x01}, a, b}), 0, {18, 46}},
        {"no file", std::nullopt, 1, {}},
        {"fewer than 5 bytes", Bytes{0x00, 0x01, 0xFA, 0xF3}, 2, {}},
        {"no sync after two bytes", cat({{0x00, 0x01, 0x00}, a}), 2, {}},
        {"sync at byte 0 instead of 2", cat({a, b}), 2, {}},
    };
    const QStringList texts = {"None", "Could not open the file",
                               "The sequence file has an invalid format"};
    int n = 0;
    for (const Case& k : cases) {
        const QString path = dir.filePath(QStringLiteral("seq%1.bin").arg(n++));
        if (k.content) {
            writeBytes(path, *k.content);
        }
        const SebSequence s(path);
        EXPECT_EQ(s.failureCode, k.failure) << k.name;
        EXPECT_EQ(s.valid, k.failure == 0) << k.name;
        EXPECT_EQ(s.failureString(), texts[k.failure]) << k.name;
        EXPECT_EQ(numbers(s), k.expected) << k.name;
        EXPECT_EQ(s.filePath, path) << k.name;
        EXPECT_TRUE(s.packetIndexes.isEmpty()) << k.name;
    }
}

TEST(SebCmdInterpreter, DefinitionErrorsRaiseWithTheirTexts) {
    const std::string prefix = "Error while parsing file:\n";
    struct Case {
        const char* name;
        const char* json;
        std::type_index type;  // the exception's own class, not only a base of it
        std::string what;
    };
    const std::type_index missing = typeid(GseLib::MissingKeyException),
                          wrongType = typeid(GseLib::UnexpectedValueTypeException),
                          badHex = typeid(GseLib::HexStringToIntException),
                          general = typeid(GseLib::GeneralParsingException);
    const std::vector<Case> cases = {
        {"no data", R"({"id": "1C", "name": "SET_DAC"})", missing, prefix + "Missing a key: data"},
        {"data not a list", R"({"id": "1C", "data": "none"})", wrongType,
         prefix + "The value's type for the data key is wrong: Expected list but got string"},
        {"id not hexadecimal", R"({"id": "1G", "data": []})", badHex,
         prefix + "Failed to convert the hex string to int: 1G"},
        {"no id: empty text", R"({"name": "X", "data": []})", badHex,
         prefix + "Failed to convert the hex string to int: "},
        {"field without type", R"({"id": "1C", "data": [{"field": "dac", "offset": 6}]})", missing,
         prefix + "Missing a key: type"},
        {"unknown decoder type", R"({"id": "1C", "data": [{"type": 5, "offset": 6}]})", general,
         "Error while parsing file: Unknown decoder type"},
        {"mask not hexadecimal",
         R"({"id": "1C", "data": [{"type": 1, "offset": 6, "size": 1, "mask": "0xZZ"}]})", badHex,
         prefix + "Failed to convert the hex string to int: 0xZZ"},
        {"mask beyond 32 bits",
         R"({"id": "1C", "data": [{"type": 1, "offset": 6, "size": 1, "mask": "1FFFFFFFF"}]})",
         badHex, prefix + "Failed to convert the hex string to int: 1FFFFFFFF"},
        {"negative offset", R"({"id": "1C", "data": [{"type": 2, "offset": -1, "hkid": 3}]})",
         wrongType,
         prefix + "The value's type for the offset key is wrong: Expected unsigned integer but "
                  "got number"},
        {"hk field without hkid", R"({"id": "1C", "data": [{"type": 2, "offset": 6}]})", missing,
         prefix + "Missing a key: hkid"},
        {"element not an object", R"({"id": "1C", "data": [3]})", wrongType,
         prefix + "The value's type for the data key is wrong: Expected list of objects but got "
                  "list of number"},
    };
    for (const Case& k : cases) {
        try {
            SebCmdInterpreter i(object(k.json));
            ADD_FAILURE() << k.name << ": no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::type_index(typeid(e)), k.type) << k.name;
            EXPECT_EQ(e.what(), k.what) << k.name;
        }
    }
}

TEST(SebCmdInterpreter, KeysOfStringKindAreReadThroughTheirText) {
    // Numbers where text is expected are read through their digits: id 28 is command 0x28, a
    // mask 255 is 0x255, a numeric name or field name is its digits.
    const SebCmdInterpreter i(object(
        R"({"id": 28, "name": 7, "description": true,
            "data": [{"type": 1, "field": 5, "offset": 6, "size": 2, "mask": 255}]})"));
    EXPECT_EQ(i.id(), 0x28);
    EXPECT_EQ(i.name(), QStringLiteral("7"));
    EXPECT_EQ(i.description(), QStringLiteral("true"));
    EXPECT_EQ(i.fieldName(0), QStringLiteral("5"));
    // Parameters 0F FF under mask 0x0255 -> 0x0255; under 0xFF it would be 0xFF.
    EXPECT_EQ(i.decodeFieldToUInt(0, cmd(0x28, {0x0F, 0xFF})), 0x0255u);
}

TEST(SebCmdInterpreter, SimpleFieldsReadTheirBitsBigEndian) {
    // Command bytes: header FA F3 20 2E 00 04, parameters 01 23 A5 7F, trailer.
    const Bytes bytes = cmd(46, {0x01, 0x23, 0xA5, 0x7F});
    struct Case {
        const char* def;
        uint32_t value;
        const char* hex;
        QString dec;
    };
    const std::vector<Case> cases = {
        {R"({"type":1,"offset":6,"size":2,"mask":"FFFF","shift":0})", 0x0123, "01 23 ", "291"},
        // A negative shift moves left: 0x0123 becomes 0x1230.
        {R"({"type":1,"offset":6,"size":2,"mask":"FFFF","shift":-4})", 0x1230, "12 30 ", "4656"},
        {R"({"type":1,"offset":8,"size":1,"mask":"F0","shift":4})", 0xA, "0A ", "10"},
        {R"({"type":1,"offset":8,"size":1,"mask":"0x0F"})", 0x5, "05 ", "5"},
        {R"({"type":1,"offset":6,"size":4,"mask":"FFFFFFFF","shift":0})", 0x0123A57F,
         "01 23 A5 7F ", "19113343"},
        {R"({"type":1,"offset":3,"size":1,"mask":"FF","shift":0})", 46, "2E ", "46"},
        {R"({"type":1,"offset":6,"size":0,"mask":"FF","shift":0})", 0, "", "0"},
    };
    for (const Case& k : cases) {
        const TarGse::SimpleDecoder d(object(k.def));
        EXPECT_EQ(d.decodeToUInt(bytes), k.value) << k.def;
        EXPECT_EQ(d.decodeToHexStr(bytes), k.hex) << k.def;
        EXPECT_EQ(d.decodeToDecStr(bytes), k.dec) << k.def;
        EXPECT_EQ(d.decodeToSci(bytes), double(k.value)) << k.def;
        EXPECT_EQ(d.decodeToSciStr(bytes), "N/A") << k.def;
    }
    // The trailer is the last field there is; one byte more is out of range.
    const TarGse::SimpleDecoder last(object(R"({"type":1,"offset":11,"size":1,"mask":"FF"})"));
    EXPECT_EQ(last.decodeToUInt(bytes), 0xCDu);
    const TarGse::SimpleDecoder past(object(R"({"type":1,"offset":11,"size":2,"mask":"FF"})"));
    EXPECT_THROW(past.decodeToUInt(bytes), std::out_of_range);

    const TarGse::SimpleDecoder named(object(
        R"({"type":1,"field":"mode","description":"ramp shape","offset":13,"size":1,"mask":"f0","shift":4})"));
    EXPECT_EQ(named.toString(),
              "Name: mode\nType: 1\nOffset: 13\nDesc: ramp shape\nSize: 1\nMask: F0\nShift: 4\n");
}

TEST(SebCmdInterpreter, DatabaseAndDacFieldsConvertThroughTheEngine) {
    // Item 245: 16 bits, engineering x1, science x0.1 in "us"; item 9: bits 4-7 of one byte.
    DbFile db;
    db.row(with(basicRow(245, "SCAN", "BIN_TIME"),
                {{"SCI_EQ_TYPE", "1"}, {"SCI_K1", "0"}, {"SCI_K2", "0.1"}, {"SCI_UNITS", "us"}}));
    db.row(with(basicRow(9, "SCAN", "NIBBLE"),
                {{"DECODE_ID2", "1"}, {"DECODE_ID3", "0xF0"}, {"DECODE_ID4", "4"}}));
    Engine engine(db);
    auto table = engine.di().dacTable();
    table->addRow(GseLib::DacTableRow("0\t0\tEM1\t8\t0xFF\t0\t0\t-0.085"));
    table->addRow(GseLib::DacTableRow("8\t1\tENDCAP_1\t12\t0xFFF\t1\t0\t204.8"));
    table->addRow(GseLib::DacTableRow("13\t2\tRF_AMP\t16\t0xFFFF\t0\t100\t0"));

    QTemporaryDir dir;
    const QString defs = dir.filePath("seb_cmds.json");
    writeFile(defs, R"([
        "a comment the reader skips", 7,
        {"id": "12", "name": "SET_BIN_TIME", "description": "bin time",
         "data": [{"type": 2, "field": "bin_time", "description": "", "offset": 6, "hkid": 245},
                  {"type": 2, "field": "nibble", "description": "", "offset": 8, "hkid": 9}]},
        {"id": "1D", "name": "OLD_NAME", "data": []},
        {"id": "1D", "name": "SET_DAC_IMM", "description": "set a DAC now",
         "data": [{"type": 3, "field": "dac", "description": "", "offset": 6, "size": 1, "mask": "FF", "shift": 0},
                  {"type": 4, "field": "value", "description": "", "offset": 7, "size": 2, "mask": "FFFF", "shift": 0},
                  {"type": 0, "field": "spare", "offset": 9}]}
    ])");
    SebCmdInterpreter::createInterpreters(defs);
    ASSERT_EQ(SebCmdInterpreter::interpreters().size(), 2);
    const auto setDac = SebCmdInterpreter::interpreter(29);
    ASSERT_NE(setDac, nullptr);
    EXPECT_EQ(setDac->name(), "SET_DAC_IMM");  // the later definition of 1D replaced the first
    EXPECT_EQ(setDac->fieldStringList(), QStringList({"dac", "value", ""}));
    EXPECT_THROW(setDac->fieldSize(2), std::out_of_range);  // a place without a decoder
    EXPECT_THROW(setDac->fieldSize(3), std::out_of_range);

    const SebCmd binTime = command(18, {0x03, 0xE8, 0x5A});
    EXPECT_EQ(binTime.name(), "SET_BIN_TIME");
    EXPECT_DOUBLE_EQ(binTime.fieldSci(0), 100.0);
    EXPECT_EQ(binTime.fieldSciStr(0), "100us");
    EXPECT_EQ(SebCmdInterpreter::interpreter(18)->fieldSize(0), 2u);
    EXPECT_EQ(binTime.fieldSci(1), 5.0);  // 0x5A: bits 4-7
    EXPECT_EQ(SebCmdInterpreter::interpreter(18)->decoder(0)->toString(),
              "Name: bin_time\nType: 2\nOffset: 6\nDesc: \nHKID: 245\n");

    struct Case {
        Bytes params;
        const char* dacName;
        double volts;
        const char* text;
    };
    const std::vector<Case> cases = {
        {{0, 0x00, 0xC8}, "EM1", 200 / -0.085, "-2352.94V"},
        // 0xF00 is negative as a signed 12-bit value; the mask drops bits 12-15 first.
        {{8, 0xFF, 0x00}, "ENDCAP_1", -256 / 204.8, "-1.25V"},
        {{8, 0x07, 0xFF}, "ENDCAP_1", 2047 / 204.8, "9.99512V"},
        {{13, 0x12, 0x34}, "RF_AMP", 0.0, "0V"},  // slope 0
        {{99, 0x00, 0x10}, "Unknown", 0.0, "0V"},
    };
    for (const Case& k : cases) {
        const SebCmd c = command(29, k.params);
        EXPECT_EQ(c.fieldSciStr(0), k.dacName) << k.dacName;
        EXPECT_NEAR(c.fieldSci(1), k.volts, 1e-9) << k.dacName;
        EXPECT_EQ(c.fieldSciStr(1), k.text) << k.dacName;
        EXPECT_TRUE(std::isnan(c.fieldSci(2)));
    }

    const SebCmd unknown = command(5, {});
    EXPECT_EQ(unknown.name(), "Unknown command 5");
    EXPECT_TRUE(std::isnan(unknown.fieldSci(0)));
    EXPECT_EQ(unknown.fieldSciStr(0), "N/A");
    EXPECT_TRUE(SebCmdInterpreter::interpreter(18)->toString().startsWith(
        "CMD Name: SET_BIN_TIME\nID: 18\nDescription: bin timeName: bin_time\n"));

    // A file that cannot be read or is not a list leaves the table as it was.
    EXPECT_THROW(SebCmdInterpreter::createInterpreters(dir.filePath("absent.json")),
                 GseLib::FileOpenException);
    writeFile(dir.filePath("object.json"), "{}");
    EXPECT_THROW(SebCmdInterpreter::createInterpreters(dir.filePath("object.json")),
                 GseLib::GeneralParsingException);
    EXPECT_EQ(SebCmdInterpreter::interpreters().size(), 2);
    SebCmdInterpreter::clearInterpreters();
}

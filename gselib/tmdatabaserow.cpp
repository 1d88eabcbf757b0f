#include <gselib/tmdatabaserow.h>

#include <gselib/tmdatabaseparser.h>
#include <gselib/transferfuncfactory.h>
#include <tools/logger/diagnostics.h>
#include <tools/logger/eventmessage.h>

#include <fmt/format.h>
#include <QJsonDocument>
#include <QJsonParseError>
#include <algorithm>
#include <bit>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace GseLib {

const std::array<const char*, TmDatabaseRow::FIELD_COUNT> TmDatabaseRow::FIELD_NAMES = {
    "SUB_SYSTEM",      "NAME",           "DESCRIPTION",    "ADC_#",         "DATA_ID",
    "PACKET_TYPE",     "PACKET_SUBTYPE", "PACKET_NAME",    "APPLY_WHEN",    "DECODE_TYPE",
    "DECODE_ID1",      "DECODE_ID2",     "DECODE_ID3",     "DECODE_ID4",    "CLOCK",
    "RAW_FMT",         "ENG_FMT",        "ENG_EQ_TYPE",    "ENG_K1",        "ENG_K2",
    "SCI_UNITS",       "SCI_FMT",        "SCI_EQ_TYPE",    "SCI_FROM_ENG",  "SCI_K1",
    "SCI_K2",          "SCI_K3",         "SCI_K4",         "SCI_K5",        "SCI_K6",
    "SCI_K7",          "SCI_K8",         "MUX_CH",         "LIMIT_TYPE_1",  "YELLOW_LIMIT_1",
    "RED_LIMIT_1",     "LIMIT_TYPE_2",   "YELLOW_LIMIT_2", "RED_LIMIT_2",   "LIMITS",
    "HISTORY",         "EXTRA_1",        "QUIP_MINE_TYPE", "QUIP_MINE_RAW", "QUIP_MINE_ENG",
    "DISCRETE_LABELS", "BUNDLE_ID",      "ARRAY_LENGTH",   "SAMPLE_PERIOD",
};

const std::array<bool, TmDatabaseRow::FIELD_COUNT> TmDatabaseRow::FIELD_REQUIRED = {
    true,  true,  true,  false, true,  true,  false, false, false, true,   // 0-9
    true,  true,  true,  true,  false, true,  true,  true,  true,  true,   // 10-19
    true,  true,  true,  true,  true,  true,  true,  true,  true,  true,   // 20-29
    true,  true,  false, false, false, false, false, false, false, false,  // 30-39
    false, false, false, false, false, false, false, false, false,         // 40-48
};

std::array<int, TmDatabaseRow::FIELD_COUNT> TmDatabaseRow::FIELD_INDEX = [] {
    std::array<int, FIELD_COUNT> a{};
    a.fill(-1);
    return a;
}();

namespace {

// Upper bound on element counts derived from cells: no packet holds more bytes than this, so a
// larger count is a typo, not a layout.
constexpr unsigned long long kMaxElements = 65536;

// The cell of field f, or an empty view when the header lacks the column or the line the cell.
QStringView cellOf(const TmDatabaseRow::Cells& cells, int f) {
    const int pos = TmDatabaseRow::FIELD_INDEX[static_cast<size_t>(f)];
    if (pos < 0 || static_cast<size_t>(pos) >= cells.size()) {
        return {};
    }
    return cells[static_cast<size_t>(pos)];
}

template <typename T>
void setIfPresent(const TmDatabaseRow::Cells& cells, int f, T& field) {
    const QStringView c = cellOf(cells, f);
    if (!c.isEmpty()) {
        extractValueFromText(c, field);
    }
}

std::string_view sv(const QByteArray& b) {
    return {b.constData(), static_cast<size_t>(b.size())};
}

// A text field as a cell of the file: the reader reads files as UTF-8 and stores each character
// as one Latin-1 byte, so the bytes are written back as the UTF-8 of those characters. A TAB or
// line break (a row made in code may hold one) would split the cell or the line: written as blank.
std::string cellText(const QByteArray& b) {
    std::string out = QString::fromLatin1(b).toStdString();
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return out;
}

QString latin1(const QByteArray& b) {
    return QString::fromLatin1(b);
}

// Shortest decimal text that reads back to the same double.
std::string numberText(double v) {
    return fmt::format("{}", v);
}

}  // namespace

void TmDatabaseRow::findHeaderFieldPositions(const QStringList& header) {
    for (int f = 0; f < FIELD_COUNT; ++f) {
        FIELD_INDEX[static_cast<size_t>(f)] =
            findIndex(QString::fromLatin1(FIELD_NAMES[static_cast<size_t>(f)]), header,
                      FIELD_REQUIRED[static_cast<size_t>(f)] ? Required : NotRequired);
    }
}

int TmDatabaseRow::dataIdPosition() {
    return FIELD_INDEX[DATA_ID];
}

int TmDatabaseRow::findIndex(const QString& name, const QStringList& header,
                             FieldRequired required) {
    for (qsizetype i = 0; i < header.size(); ++i) {
        if (header[i].trimmed().compare(name, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    if (required == Required) {
        throw std::runtime_error(
            QStringLiteral("Could not find required database field %1").arg(name).toStdString());
    }
    return -1;
}

void TmDatabaseRow::updateByteOrder(QStringView cell) {
    byte_order.clear();
    bit_shifts.clear();
    for (QStringView part : cell.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        bool negative = false;
        unsigned long long n = 0;
        if (!parseCInteger(part, negative, n) || negative || n == 0 || n > 8 * kMaxElements) {
            GSE_LOG_WARN("tmdb", QStringLiteral("Bad byte order: ") + cell.toString());
            byte_order.clear();
            bit_shifts.clear();
            break;
        }
        byte_order.push_back(static_cast<uint32_t>(n));
        bit_shifts.push_back(static_cast<uint32_t>((n - 1) * 8));
    }
    decode_id[1] = byte_order.size();
}

void TmDatabaseRow::updateOffsets(QStringView cell) {
    pkt_offsets.clear();
    time_offsets.clear();
    auto fail = [&](const char* what) {
        GSE_LOG_WARN("tmdb", QString::fromLatin1(what) + cell.toString());
        pkt_offsets.clear();
        time_offsets.clear();
    };
    for (QStringView part : cell.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QList<QStringView> pieces = part.split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (pieces.isEmpty() || pieces.size() > 2) {
            return fail("Bad format: ");
        }
        bool negative = false;
        unsigned long long offset = 0;
        if (!parseCInteger(pieces[0], negative, offset) || negative || offset > 0xFFFFFFFFull) {
            return fail("Bad offset: ");
        }
        pkt_offsets.push_back(static_cast<uint32_t>(offset));
        if (pieces.size() == 2) {
            double t = 0.0;
            if (!parseDouble(pieces[1], t)) {
                return fail("Bad time: ");
            }
            time_offsets.push_back(t);
        }
    }
    if (!pkt_offsets.empty()) {
        decode_id[0] = pkt_offsets.front();
    }
}

void TmDatabaseRow::update(const Cells& cells, const QByteArray& definitionsDir,
                           const ClockMap& clocks) {
    setIfPresent(cells, SUB_SYSTEM, sub_system);
    setIfPresent(cells, NAME, signal_name);
    key = sub_system + ':' + signal_name;

    setIfPresent(cells, DESCRIPTION, description);
    setIfPresent(cells, ADC, adc);
    setIfPresent(cells, DATA_ID, data_id);
    setIfPresent(cells, PACKET_TYPE, packet_type);
    setIfPresent(cells, PACKET_SUBTYPE, packet_subtype);
    setIfPresent(cells, PACKET_NAME, packet_name);
    if (const QStringView c = cellOf(cells, APPLY_WHEN); !c.isEmpty()) {
        apply_when = ApplyWhen::fromString(c.toString());
    }
    setIfPresent(cells, DECODE_TYPE, decode_type);

    setIfPresent(cells, DECODE_ID1, decode_id[0]);
    setIfPresent(cells, DECODE_ID2, decode_id[1]);
    setIfPresent(cells, ARRAY_LENGTH, array_length);
    setIfPresent(cells, SAMPLE_PERIOD, sample_period);

    // Byte order: a plain count N means big-endian (first byte most significant); -N keeps the
    // count without an order; anything else is a list of 1-based significances.
    if (const QStringView c = cellOf(cells, DECODE_ID2); !c.isEmpty()) {
        int plain = 0;
        if (parseDecimalInt32(c, plain)) {
            byte_order.clear();
            bit_shifts.clear();
            const unsigned long long n = decode_id[1];
            if (n > 8 * kMaxElements) {
                GSE_LOG_WARN("tmdb", QStringLiteral("Bad byte order: ") + c.toString());
            } else {
                for (unsigned long long i = n; i >= 1; --i) {
                    byte_order.push_back(static_cast<uint32_t>(i));
                    bit_shifts.push_back(static_cast<uint32_t>((i - 1) * 8));
                }
            }
            if (plain < 0) {
                decode_id[1] = static_cast<unsigned long long>(-static_cast<long long>(plain));
            }
        } else {
            updateByteOrder(c);
        }
    }

    // Element offsets: a plain offset spreads array_length elements of byte_order bytes each;
    // otherwise a list of "offset[,time]" entries.
    if (const QStringView c = cellOf(cells, DECODE_ID1); !c.isEmpty()) {
        int plain = 0;
        if (parseDecimalInt32(c, plain)) {
            pkt_offsets.clear();
            time_offsets.clear();
            if (array_length == 0) {
                array_length = 1;
            }
            if (array_length > kMaxElements) {
                GSE_LOG_WARN("tmdb", QStringLiteral("Bad format: ") + c.toString());
            } else {
                const unsigned long long stride = byte_order.size();
                for (uint32_t i = 0; i < array_length; ++i) {
                    pkt_offsets.push_back(static_cast<uint32_t>(decode_id[0] + i * stride));
                    if (sample_period > 0) {
                        time_offsets.push_back(sample_period * i);
                    }
                }
            }
        } else {
            updateOffsets(c);
        }
    }

    if (decode_type == 6 && byte_order.size() != 8) {
        throw std::runtime_error(messageText(key) +
                                 " : byte order must be 8 bytes for double type");
    }
    if (decode_type == 5 && byte_order.size() != 4) {
        throw std::runtime_error(messageText(key) + " : byte order must be 4 bytes for float type");
    }
    if (!time_offsets.empty() && time_offsets.size() != pkt_offsets.size()) {
        throw std::runtime_error(messageText(key) +
                                 " : pkt offset and time offset sizes do not match");
    }

    setIfPresent(cells, DECODE_ID3, decode_id[2]);
    mask_bits = static_cast<uint32_t>(std::popcount(decode_id[2]));
    setIfPresent(cells, DECODE_ID4, decode_id[3]);

    if (const QStringView c = cellOf(cells, CLOCK); !c.isEmpty() && !clocks.empty()) {
        const auto it = clocks.find(c.toUtf8());
        if (it != clocks.end()) {
            clock = it->second;
        }
    }

    setIfPresent(cells, RAW_FMT, raw_format);
    setIfPresent(cells, ENG_FMT, eng_format);
    setIfPresent(cells, ENG_EQ_TYPE, eng_eq_type);
    setIfPresent(cells, ENG_K1, eng_k[0]);
    setIfPresent(cells, ENG_K2, eng_k[1]);
    setIfPresent(cells, SCI_UNITS, sci_units);
    setIfPresent(cells, SCI_FMT, sci_format);
    setIfPresent(cells, SCI_EQ_TYPE, sci_eq_type);
    setIfPresent(cells, SCI_FROM_ENG, sci_from_eng);
    for (int i = 0; i < 8; ++i) {
        setIfPresent(cells, SCI_K1 + i, sci_k[static_cast<size_t>(i)]);
    }
    setIfPresent(cells, MUX_CH, mux_ch);
    setIfPresent(cells, EXTRA_1, extra);
    setIfPresent(cells, QUIP_MINE_TYPE, quip_mine_type);
    setIfPresent(cells, QUIP_MINE_RAW, quip_mine_raw);
    setIfPresent(cells, QUIP_MINE_ENG, quip_mine_eng);
    if (const QStringView c = cellOf(cells, DISCRETE_LABELS); !c.isEmpty()) {
        discrete_labels = DiscreteLabels::fromString(c.toString());
    }

    LimitChecker* checkers[2] = {&limitChecker1, &limitChecker2};
    const int limitColumns[2][3] = {{LIMIT_TYPE_1, YELLOW_LIMIT_1, RED_LIMIT_1},
                                    {LIMIT_TYPE_2, YELLOW_LIMIT_2, RED_LIMIT_2}};
    for (int i = 0; i < 2; ++i) {
        if (const QStringView c = cellOf(cells, limitColumns[i][0]); !c.isEmpty()) {
            unsigned long long code = 0;
            extractValueFromText(c, code);
            checkers[i]->setLimitType(code);
        }
        if (const QStringView c = cellOf(cells, limitColumns[i][1]); !c.isEmpty()) {
            double v = 0.0;
            extractValueFromText(c, v);
            checkers[i]->setYellowLimit(v);
        }
        if (const QStringView c = cellOf(cells, limitColumns[i][2]); !c.isEmpty()) {
            double v = 0.0;
            extractValueFromText(c, v);
            checkers[i]->setRedLimit(v);
        }
    }

    const std::pair<int, QJsonObject*> jsonCells[2] = {{LIMITS, &limits}, {HISTORY, &history}};
    for (const auto& [f, target] : jsonCells) {
        const QStringView c = cellOf(cells, f);
        if (c.isEmpty()) {
            continue;
        }
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(c.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError) {
            GSE_LOG_WARN("tmdb", (f == LIMITS ? QStringLiteral("Limit parse error: ")
                                              : QStringLiteral("History parse error: ")) +
                                     error.errorString());
            continue;
        }
        *target = doc.object();
    }

    // The database has no column for persistence; the LIMITS object carries it per set, and a
    // set without it alarms on its first violation.
    for (int i = 0; i < 2; ++i) {
        const QJsonValue p = limits.value(QStringLiteral("persistence_%1").arg(i + 1));
        checkers[i]->setPersistence(p.isDouble() ? p.toInt(1) : 1);
    }

    const TransferFuncFactory& factory = TransferFuncFactory::instance();
    const std::string extraText = extra.toStdString();
    const std::string dir = definitionsDir.toStdString();
    eng_transfer_func =
        factory.makeTransferFunc(static_cast<int>(eng_eq_type), eng_k, extraText, dir);
    sci_transfer_func =
        factory.makeTransferFunc(static_cast<int>(sci_eq_type), sci_k, extraText, dir);
    limitChecker1.setConversions(eng_transfer_func, sci_transfer_func, sci_from_eng);
    limitChecker2.setConversions(eng_transfer_func, sci_transfer_func, sci_from_eng);

    setIfPresent(cells, BUNDLE_ID, bundle_id);
}

double TmDatabaseRow::convertValue(double raw, Gse::ValueMode mode) const {
    const int m = static_cast<int>(mode);
    if (m <= 0) {
        return raw;
    }
    double value = raw;
    if ((m == 1 || sci_from_eng) && eng_transfer_func) {
        value = eng_transfer_func->apply(raw);
    }
    if (m == 2 && sci_transfer_func) {
        value = sci_transfer_func->apply(value);
    }
    return value;
}

QString TmDatabaseRow::units(Gse::ValueMode mode) const {
    switch (static_cast<int>(mode)) {
        case 0:
            return QStringLiteral("Raw");
        case 1:
            return QStringLiteral("Value");
        default:
            return latin1(sci_units);
    }
}

void TmDatabaseRow::diff(const TmDatabaseRow& o) const {
    const std::string_view n = sv(signal_name);
    // The differences are a report for a person, one line each.
    auto say = [](std::string line) {
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
        }
        GseLib::Diagnostics::report(GseLib::Diagnostics::Kind::Database, line,
                                    GseLib::Diagnostics::Stream::Output);
    };
    auto text = [&](const char* format, const QByteArray& a, const QByteArray& b) {
        if (a != b) {
            say(fmt::format(fmt::runtime(format), n, sv(a), sv(b)));
        }
    };
    auto number = [&](const char* format, auto a, auto b) {
        if (a != b) {
            say(fmt::format(fmt::runtime(format), n, a, b));
        }
    };
    text("{} sub_system diff {} {}\n", sub_system, o.sub_system);
    text("{} signal_name diff {} {}\n", signal_name, o.signal_name);
    text("{} key diff {} {}\n", key, o.key);
    text("{} description diff {} {}\n", description, o.description);
    number("{} adc diff {} {}\n", adc, o.adc);
    number("{} data_id diff {} {}\n", data_id, o.data_id);
    number("{} packet_type diff {} {}\n", packet_type, o.packet_type);
    number("{} packet_subtype diff {} {}\n", packet_subtype, o.packet_subtype);
    text("{} packet_name diff {} {}\n", packet_name, o.packet_name);
    number("{} decode_type diff {} {}\n", decode_type, o.decode_type);
    if (decode_id.size() != o.decode_id.size()) {
        say(fmt::format("{} diff {} {}\n", n, decode_id.size(), o.decode_id.size()));
    } else {
        for (size_t i = 0; i < decode_id.size(); ++i) {
            if (decode_id[i] != o.decode_id[i]) {
                say(fmt::format("{} decode_id_{} diff {} {}\n", n, i, decode_id[i],
                                o.decode_id[i]));
            }
        }
    }
    text("{} raw_format diff {} {}\n", raw_format, o.raw_format);
    text("{} eng_format diff {} {}\n", eng_format, o.eng_format);
    number("{} eng_eq_type diff {} {}\n", eng_eq_type, o.eng_eq_type);
    if (eng_k.size() != o.eng_k.size()) {
        say(fmt::format("{} eng_k size diff {} {}\n", n, eng_k.size(), o.eng_k.size()));
    } else {
        for (size_t i = 0; i < eng_k.size(); ++i) {
            if (eng_k[i] != o.eng_k[i]) {
                say(fmt::format("{} eng_k_{} diff {} {}\n", n, i, eng_k[i], o.eng_k[i]));
            }
        }
    }
    text("{} sci_units diff {} {}\n", sci_units, o.sci_units);
    text("{} sci_format diff {} {}\n", sci_format, o.sci_format);
    number("{} sci_eq_type diff {} {}\n", sci_eq_type, o.sci_eq_type);
    number("{} sci_from_eng diff {} {}\n", sci_from_eng, o.sci_from_eng);
    for (size_t i = 0; i < sci_k.size() && i < o.sci_k.size(); ++i) {
        if (sci_k[i] != o.sci_k[i]) {
            say(fmt::format("{} sci_k_{} diff {} {}\n", n, i, sci_k[i], o.sci_k[i]));
        }
    }
    number("{} mux_ch diff {} {}\n", mux_ch, o.mux_ch);
    text("{} extra diff {} {}\n", extra, o.extra);
    number("{} discrete_labels diff {} {}\n", discrete_labels.labels().size(),
           o.discrete_labels.labels().size());
    auto checker = [&](const char* name, const LimitChecker& a, const LimitChecker& b) {
        if (a != b) {
            std::ostringstream line;
            line << n << ' ' << name << " diff " << a << ' ' << b;
            say(line.str());
        }
    };
    checker("limitChecker1", limitChecker1, o.limitChecker1);
    checker("limitChecker2", limitChecker2, o.limitChecker2);
    number("{} limits diff {} {}\n", limits.size(), o.limits.size());
    if (history != o.history) {
        say(fmt::format("{} history diff\n", n));
    }
    number("{} quip_mine_type diff {} {}\n", static_cast<int>(quip_mine_type),
           static_cast<int>(o.quip_mine_type));
    number("{} quip_mine_raw diff {} {}\n", quip_mine_raw, o.quip_mine_raw);
    number("{} quip_mine_eng diff {} {}\n", quip_mine_eng, o.quip_mine_eng);
    number("{} bundle_id diff {} {}\n", bundle_id, o.bundle_id);
}

bool TmDatabaseRow::operator==(const TmDatabaseRow& o) const {
    return sub_system == o.sub_system && signal_name == o.signal_name && key == o.key &&
           description == o.description && adc == o.adc && data_id == o.data_id &&
           packet_type == o.packet_type && packet_subtype == o.packet_subtype &&
           packet_name == o.packet_name && decode_type == o.decode_type &&
           decode_id == o.decode_id && raw_format == o.raw_format && eng_format == o.eng_format &&
           eng_eq_type == o.eng_eq_type && eng_k == o.eng_k && sci_units == o.sci_units &&
           sci_format == o.sci_format && sci_eq_type == o.sci_eq_type &&
           sci_from_eng == o.sci_from_eng && sci_k == o.sci_k && mux_ch == o.mux_ch &&
           extra == o.extra &&
           discrete_labels.labels().size() == o.discrete_labels.labels().size() &&
           limitChecker1 == o.limitChecker1 && limitChecker2 == o.limitChecker2 &&
           limits.size() == o.limits.size() && history == o.history &&
           quip_mine_type == o.quip_mine_type && quip_mine_raw == o.quip_mine_raw &&
           quip_mine_eng == o.quip_mine_eng && bundle_id == o.bundle_id;
}

std::string TmDatabaseRow::toLine() const {
    std::string out;
    out.reserve(256);
    // Cells may be empty (the first one too), so separators follow cells, not text.
    bool first = true;
    auto put = [&](std::string_view text) {
        if (!first) {
            out += '\t';
        }
        first = false;
        out += text;
    };

    put(cellText(sub_system));
    put(cellText(signal_name));
    put(cellText(description));
    put(fmt::format("{}", adc));
    put(fmt::format("{}", data_id));
    put(fmt::format("{}", packet_type));
    put(fmt::format("{}", packet_subtype));
    put(cellText(packet_name));
    std::ostringstream when;
    when << apply_when;
    put(when.str());
    put(fmt::format("{}", decode_type));

    // DECODE_ID1: offset,time entries when times exist, offsets when there are any, else the id.
    std::string id1;
    if (!pkt_offsets.empty()) {
        for (size_t i = 0; i < pkt_offsets.size(); ++i) {
            if (i)
                id1 += ':';
            id1 += fmt::format("{}", pkt_offsets[i]);
            if (!time_offsets.empty()) {
                id1 += ',' + numberText(time_offsets[i]);
            }
        }
    } else {
        id1 = fmt::format("{}", decode_id[0]);
    }
    put(id1);

    // DECODE_ID2: the count for the plain big-endian order, -count without an order, else the
    // list of significances.
    std::string id2;
    bool bigEndian = !byte_order.empty() && byte_order.size() == decode_id[1];
    for (size_t i = 0; bigEndian && i < byte_order.size(); ++i) {
        bigEndian = byte_order[i] == byte_order.size() - i;
    }
    if (byte_order.empty()) {
        id2 = decode_id[1] ? fmt::format("-{}", decode_id[1]) : "0";
    } else if (bigEndian) {
        id2 = fmt::format("{}", byte_order.size());
    } else {
        for (size_t i = 0; i < byte_order.size(); ++i) {
            if (i)
                id2 += ':';
            id2 += fmt::format("{}", byte_order[i]);
        }
    }
    put(id2);
    put(fmt::format("{:#x}", decode_id[2]));
    put(fmt::format("{}", decode_id[3]));
    put(clock ? clock->name().toStdString() : std::string());
    put(cellText(raw_format));
    put(cellText(eng_format));
    put(fmt::format("{}", eng_eq_type));
    put(numberText(eng_k[0]));
    put(numberText(eng_k[1]));
    put(cellText(sci_units));
    put(cellText(sci_format));
    put(fmt::format("{}", sci_eq_type));
    put(sci_from_eng ? "1" : "0");
    for (double k : sci_k) {
        put(numberText(k));
    }
    put(discrete_labels.toString().toStdString());
    put(fmt::format("{}", mux_ch));
    for (const LimitChecker* c : {&limitChecker1, &limitChecker2}) {
        put(fmt::format("{}", c->type()));
        put(c->hasYellow() ? numberText(c->yellow()) : std::string());
        put(c->hasRed() ? numberText(c->red()) : std::string());
    }
    put(limits.isEmpty() ? std::string()
                         : QJsonDocument(limits).toJson(QJsonDocument::Compact).toStdString());
    put(history.isEmpty() ? std::string()
                          : QJsonDocument(history).toJson(QJsonDocument::Compact).toStdString());
    put(cellText(extra));
    put(fmt::format("{}", static_cast<int>(quip_mine_type)));
    return out;
}

}  // namespace GseLib

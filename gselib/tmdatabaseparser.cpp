#include <gselib/tmdatabaseparser.h>

#include <QStringList>
#include <algorithm>
#include <charconv>
#include <limits>
#include <stdexcept>

namespace GseLib {

namespace {

// Numbers are short: a cell longer than this is not one.
constexpr qsizetype kMaxNumberChars = 64;

// Latin-1 copy of a trimmed cell into buf; false when it cannot be a number.
bool asciiNumber(QStringView cell, char (&buf)[kMaxNumberChars + 1], qsizetype& len) {
    const QStringView t = cell.trimmed();
    if (t.isEmpty() || t.size() > kMaxNumberChars) {
        return false;
    }
    for (qsizetype i = 0; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        if (c >= 128) {
            return false;
        }
        buf[i] = static_cast<char>(c);
    }
    len = t.size();
    buf[len] = '\0';
    return true;
}

}  // namespace

std::string messageText(const QByteArray& text) {
    std::string out = text.toStdString();
    std::replace(out.begin(), out.end(), '\0', '?');
    return out;
}

bool parseCInteger(QStringView cell, bool& negative, unsigned long long& magnitude) {
    char buf[kMaxNumberChars + 1];
    qsizetype len = 0;
    if (!asciiNumber(cell, buf, len)) {
        return false;
    }
    const char* p = buf;
    const char* end = buf + len;
    negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    int base = 10;
    if (end - p > 1 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
    } else if (end - p > 1 && p[0] == '0') {
        base = 8;
        ++p;
    }
    if (p == end) {
        return false;
    }
    const auto r = std::from_chars(p, end, magnitude, base);
    return r.ec == std::errc() && r.ptr == end;
}

bool parseDecimalInt32(QStringView cell, int& value) {
    char buf[kMaxNumberChars + 1];
    qsizetype len = 0;
    if (!asciiNumber(cell, buf, len)) {
        return false;
    }
    const char* p = buf[0] == '+' ? buf + 1 : buf;
    const auto r = std::from_chars(p, buf + len, value, 10);
    return r.ec == std::errc() && r.ptr == buf + len;
}

bool parseCInt32(QStringView cell, int& value) {
    bool negative = false;
    unsigned long long magnitude = 0;
    if (!parseCInteger(cell, negative, magnitude)) {
        return false;
    }
    if (negative ? magnitude > 2147483648ull : magnitude > 2147483647ull) {
        return false;
    }
    value = negative ? static_cast<int>(-static_cast<long long>(magnitude))
                     : static_cast<int>(magnitude);
    return true;
}

bool parseDouble(QStringView cell, double& value) {
    char buf[kMaxNumberChars + 1];
    qsizetype len = 0;
    if (!asciiNumber(cell, buf, len)) {
        return false;
    }
    const char* p = buf[0] == '+' ? buf + 1 : buf;
    const auto r = std::from_chars(p, buf + len, value);
    return r.ec == std::errc() && r.ptr == buf + len;
}

void extractValueFromText(QStringView cell, QByteArray& out) {
    out.resize(cell.size());
    char* d = out.data();
    for (qsizetype i = 0; i < cell.size(); ++i) {
        const char16_t c = cell[i].unicode();
        d[i] = c < 256 ? static_cast<char>(c) : '\0';
    }
}

void extractValueFromText(QStringView cell, uint32_t& out) {
    bool negative = false;
    unsigned long long m = 0;
    out = parseCInteger(cell, negative, m) && (!negative || m == 0) && m <= 0xFFFFFFFFull
              ? static_cast<uint32_t>(m)
              : 0u;
}

void extractValueFromText(QStringView cell, unsigned long long& out) {
    bool negative = false;
    unsigned long long m = 0;
    out = parseCInteger(cell, negative, m) && (!negative || m == 0) ? m : 0ull;
}

void extractValueFromText(QStringView cell, long long& out) {
    bool negative = false;
    unsigned long long m = 0;
    out = 0;
    if (!parseCInteger(cell, negative, m)) {
        return;
    }
    if (negative && m <= 9223372036854775808ull) {
        out = m == 9223372036854775808ull ? std::numeric_limits<long long>::min()
                                          : -static_cast<long long>(m);
    } else if (!negative && m <= 9223372036854775807ull) {
        out = static_cast<long long>(m);
    }
}

void extractValueFromText(QStringView cell, double& out) {
    if (!parseDouble(cell, out)) {
        out = 0.0;
    }
}

void extractValueFromText(QStringView cell, bool& out) {
    out = !cell.isEmpty() && (cell[0] == QLatin1Char('y') || cell[0] == QLatin1Char('Y') ||
                              cell[0] == QLatin1Char('1'));
}

void extractValueFromText(QStringView cell, Gse::QuipMineType& out) {
    bool negative = false;
    unsigned long long m = 0;
    if (parseCInteger(cell, negative, m) && !negative && m <= 0xFFFFFFFFull) {
        out = static_cast<Gse::QuipMineType>(static_cast<int>(m));
        return;
    }
    if (cell == QLatin1String("bin")) {
        out = Gse::QuipBin;
    } else if (cell == QLatin1String("delta")) {
        out = Gse::QuipDelta;
    } else if (cell == QLatin1String("all")) {
        out = Gse::QuipAll;
    } else if (cell == QLatin1String("blob")) {
        out = Gse::QuipBlob;
    } else {
        throw std::runtime_error("Invalid QUIP_MINE_TYPE: " + messageText(cell.toUtf8()));
    }
}

void extractValueFromText(QStringView cell, QMap<int, QString>& out) {
    out.clear();
    for (QStringView part : cell.split(QLatin1Char(';'))) {
        const QList<QStringView> kv = part.split(QLatin1Char('='));
        int key = 0;
        if (!parseCInt32(kv.first(), key)) {
            key = 0;
        }
        out.insert(key, kv.last().toString());
    }
}

}  // namespace GseLib

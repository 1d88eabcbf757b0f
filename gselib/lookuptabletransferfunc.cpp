#include <gselib/lookuptabletransferfunc.h>

#include <tools/logger/eventmessage.h>

#include <tools/logger/diagnostics.h>
#include <QFile>
#include <algorithm>
#include <boost/tokenizer.hpp>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <string>

namespace {

// A C-style number: leading blanks skipped, trailing text ignored, 0 when nothing parses. Done
// with from_chars so that the process locale (which the application object takes from the
// environment) cannot change the decimal separator.
double parseNumber(const std::string& field) {
    const char* p = field.data();
    const char* end = p + field.size();
    while (p < end && std::isspace(static_cast<unsigned char>(*p))) {
        ++p;
    }
    if (p < end && *p == '+') {
        ++p;
    }
    double value = 0.0;
    const auto result = std::from_chars(p, end, value);
    return result.ec == std::errc() ? value : 0.0;
}

}  // namespace

LookupTableTransferFunc::LookupTableTransferFunc(const std::string& databaseDir,
                                                 const std::string& name)
    : name_(QString::fromStdString(name)),
      path_(QString::fromStdString(databaseDir + "/lookupTables/" + name)) {
    read();
}

void LookupTableTransferFunc::read() {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) {
        GseLib::Diagnostics::report(GseLib::Diagnostics::Kind::Config,
                                    QStringLiteral("Failed to open ") + path_);
        return;
    }
    using Tokenizer = boost::tokenizer<boost::char_separator<char>>;
    const boost::char_separator<char> commas(",");  // empty fields are dropped
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        std::string line = file.readLine().toStdString();
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const Tokenizer fields(line, commas);
        auto it = fields.begin();
        if (it == fields.end()) {
            continue;
        }
        const double x = parseNumber(*it);
        if (++it == fields.end()) {
            // One field gives no y; inventing one would bend the curve through a made-up point.
            GSE_LOG_WARN("transfer_func", QStringLiteral("Lookup table %1 line %2 has no y value, "
                                                         "skipped")
                                              .arg(path_)
                                              .arg(lineNumber));
            continue;
        }
        table_.append({x, parseNumber(*it)});
    }
    if (table_.size() >= 2 && table_[0].first > table_[1].first) {
        std::reverse(table_.begin(), table_.end());
    }
    valid_ = !table_.isEmpty();
}

double LookupTableTransferFunc::apply(double x) const {
    if (!valid_) {
        return x;
    }
    const qsizetype count = table_.size();
    if (count == 1) {
        return table_[0].second;
    }
    qsizetype lo = 0;
    qsizetype hi = count - 1;
    qsizetype i = hi / 2;
    if (count >= 3) {
        while (i != lo && i != hi) {
            if (x == table_[i].first) {
                break;
            }
            if (x < table_[i].first) {
                hi = i;
                i = (i + lo) / 2;
            } else {
                lo = i;
                i = (i + hi) / 2;
            }
        }
    }
    const auto& [x0, y0] = table_[i];
    const auto& [x1, y1] = table_[i + 1];
    return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
}

void LookupTableTransferFunc::change(const QString&) {
    GseLib::Diagnostics::report(GseLib::Diagnostics::Kind::Config, "Not implemented");
}

QString LookupTableTransferFunc::equationAsString() const {
    return valid_ ? QStringLiteral("Lookup table (%1)").arg(name_)
                  : QStringLiteral("Lookup table (INVALID)");
}

QString LookupTableTransferFunc::description() const {
    return QStringLiteral("Lookup table");
}

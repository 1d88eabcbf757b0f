#include <tarnlib/sebcmd.h>

#include <tarnlib/sebcmdinterpreter.h>

#include <limits>
#include <stdexcept>
#include <string>

namespace TarGse {

SebCmd::SebCmd(int number, std::shared_ptr<GseLib::ByteVector> bytes, int start, int end)
    : number_(number) {
    if (!bytes || start < 0 || end < start || size_t(end) > bytes->size()) {
        throw std::out_of_range("SEB command " + std::to_string(number) + ": bytes [" +
                                std::to_string(start) + ", " + std::to_string(end) +
                                ") outside the stream");
    }
    bytes_ = std::make_shared<GseLib::ByteVector>(bytes->begin() + start, bytes->begin() + end);
}

QString SebCmd::name() const {
    const auto interp = SebCmdInterpreter::interpreter(number_);
    return interp ? interp->name() : QStringLiteral("Unknown command %1").arg(number_);
}

double SebCmd::fieldSci(int i) const {
    const auto interp = SebCmdInterpreter::interpreter(number_);
    if (!interp || !interp->hasDecoder(i)) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return interp->decodeFieldToSci(i, *bytes_);
}

QString SebCmd::fieldSciStr(int i) const {
    const auto interp = SebCmdInterpreter::interpreter(number_);
    if (!interp || !interp->hasDecoder(i)) {
        return QStringLiteral("N/A");
    }
    return interp->decodeFieldToSciStr(i, *bytes_);
}

}  // namespace TarGse

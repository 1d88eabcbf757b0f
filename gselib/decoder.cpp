#include <gselib/decoder.h>

namespace GseLib {

Decoder::~Decoder() = default;

QString Decoder::name() const {
    return QString();
}

}  // namespace GseLib

#include <tarnlib/sebsequence.h>

#include <tarnlib/sebcmdinterpreter.h>

#include <QFile>
#include <algorithm>

namespace TarGse {

namespace {

bool syncAt(const GseLib::ByteVector& b, size_t p) {
    return p + 3 <= b.size() && b[p] == 0xFA && b[p + 1] == 0xF3 && b[p + 2] == 0x20;
}

}  // namespace

SebSequence::SebSequence(std::shared_ptr<GseLib::TMPacket> packet) {
    if (!packet) {
        return;
    }
    relativeTime = packet->relativeTime();
    packetIndexes.append(packet->index());
    parsePacket(*packet);
}

SebSequence::SebSequence(const QString& path) : filePath(path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        valid = false;
        failureCode = OpenFailed;
        return;
    }
    const QByteArray all = file.readAll();
    // Two bytes precede the first command.
    auto stream = std::make_shared<GseLib::ByteVector>();
    if (all.size() > 2) {
        stream->assign(all.begin() + 2, all.end());
    }
    if (!syncAt(*stream, 0)) {
        valid = false;
        failureCode = InvalidFormat;
        return;
    }
    parse(stream, 0, stream->size());
}

bool SebSequence::isNewSequence(std::shared_ptr<GseLib::TMPacket> packet) {
    if (!packet || !packet->bytes() || packet->bytes()->size() < size_t(STREAM_START)) {
        return false;
    }
    const GseLib::ByteVector& b = *packet->bytes();
    return b[14] == 0 && b[15] == 0 && b[16] == 0;
}

void SebSequence::addPartialSequence(std::shared_ptr<GseLib::TMPacket> packet) {
    if (!packet) {
        return;
    }
    packetIndexes.append(packet->index());
    parsePacket(*packet);
}

void SebSequence::parsePacket(const GseLib::TMPacket& packet) {
    const GseLib::ByteVectorPtr& bytes = packet.bytes();
    if (!bytes || bytes->size() < size_t(STREAM_START)) {
        return;  // no room for a memory address, let alone a command
    }
    const size_t declared = ((size_t((*bytes)[12]) << 8) | (*bytes)[13]) + 14;
    // A length beyond the packet is damage: never read past the bytes there are.
    const size_t end = std::min(declared, bytes->size());
    if (end <= size_t(STREAM_START) && partialBuffer->empty()) {
        return;
    }
    parse(bytes, STREAM_START, std::max(end, size_t(STREAM_START)));
}

void SebSequence::parse(const std::shared_ptr<GseLib::ByteVector>& input, size_t start,
                        size_t end) {
    std::shared_ptr<GseLib::ByteVector> stream = input;
    size_t e = end;
    if (!partialBuffer->empty()) {
        // The unfinished tail of the previous part goes in front of this part's commands.
        auto joined = std::make_shared<GseLib::ByteVector>();
        joined->reserve(start + partialBuffer->size() + (end - start));
        joined->insert(joined->end(), input->begin(), input->begin() + long(start));
        joined->insert(joined->end(), partialBuffer->begin(), partialBuffer->end());
        joined->insert(joined->end(), input->begin() + long(start), input->begin() + long(end));
        e += partialBuffer->size();
        partialBuffer = std::make_shared<GseLib::ByteVector>();
        stream = joined;
    }
    const GseLib::ByteVector& b = *stream;
    size_t p = start;
    while (p + 6 <= e) {
        if (!syncAt(b, p)) {
            if (p + 1 >= e) {
                return;
            }
            ++p;
            continue;
        }
        const size_t n = (size_t(b[p + 4]) << 8) | b[p + 5];
        const size_t c = p + n + 8;
        if (c > e) {
            partialBuffer->assign(b.begin() + long(p), b.begin() + long(e));
            return;
        }
        commands.append(std::make_shared<SebCmd>(int(b[p + 3]), stream, int(p), int(c)));
        byteCount += int(c - p);
        if (c >= e) {
            return;
        }
        p = c;
    }
    partialBuffer->assign(b.begin() + long(p), b.begin() + long(e));
}

bool SebSequence::contains(int commandNumber) const {
    return std::any_of(commands.begin(), commands.end(),
                       [commandNumber](const auto& c) { return c->number() == commandNumber; });
}

std::shared_ptr<GseLib::ByteVector> SebSequence::data() {
    auto out = std::make_shared<GseLib::ByteVector>();
    out->reserve(size_t(byteCount));
    for (const auto& c : commands) {
        out->insert(out->end(), c->bytes()->begin(), c->bytes()->end());
    }
    return out;
}

QStringList SebSequence::cmdStringList() const {
    QStringList names;
    for (const auto& c : commands) {
        names.append(c->name());
    }
    return names;
}

QString SebSequence::toString() const {
    return QStringLiteral("unimplemented");
}

QString SebSequence::failureString() const {
    switch (failureCode) {
        case NoFailure:
            return QStringLiteral("None");
        case OpenFailed:
            return QStringLiteral("Could not open the file");
        default:
            return QStringLiteral("The sequence file has an invalid format");
    }
}

}  // namespace TarGse

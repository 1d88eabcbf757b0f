// Fuzz target for the SEB command splitter and field decoders. The input is a list of chunks,
// each a length byte and that many bytes, made into the data fields of consecutive sequence
// packets (the first starts the sequence, the others continue it); the whole input is also read
// as a sequence file. Whatever the bytes, nothing may crash or read out of bounds, and every
// command handed out must be exactly one whole command: sync code, then n + 8 bytes in all.

#include <gselib/secondstimeresolvers.h>
#include <gselib/tompacket.h>
#include <tarnlib/sebcmd.h>
#include <tarnlib/sebcmdinterpreter.h>
#include <tarnlib/sebsequence.h>

#include <unistd.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

std::shared_ptr<GseLib::TMPacket> packet(const uint8_t* data, size_t n, int index) {
    GseLib::ByteVector b = {23, 0, uint8_t(n >> 8), uint8_t(n), 0, 0, 0, 0};
    b.insert(b.end(), data, data + n);
    b.insert(b.end(), {0, 0, 0, 0});
    static GseLib::UnixTimeResolver resolver;
    return std::make_shared<GseLib::TomPacket>(b.data(), int(b.size()), index, &resolver);
}

void check(const TarGse::SebSequence& s) {
    size_t total = 0;
    for (const auto& c : s.commands) {
        const GseLib::ByteVector& b = *c->bytes();
        if (b.size() < 8 || b[0] != 0xFA || b[1] != 0xF3 || b[2] != 0x20 || b[3] != c->number() ||
            b.size() != ((size_t(b[4]) << 8) | b[5]) + 8) {
            std::abort();
        }
        total += b.size();
        // Every field of every interpreter: a field past the command's end may only throw.
        if (const auto interp = TarGse::SebCmdInterpreter::interpreter(c->number())) {
            for (int i = 0; i < interp->fieldCount(); ++i) {
                try {
                    (void)c->fieldSci(i);
                    (void)interp->decodeFieldToHexStr(i, b);
                } catch (const std::out_of_range&) {
                }
            }
        }
    }
    if (total != size_t(s.byteCount)) {
        std::abort();
    }
}

void defineInterpreters() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    // Simple fields at every offset up to 12 and sizes up to 5, shifts both ways.
    QJsonArray all;
    for (int id = 0; id < 256; id += 7) {
        QJsonArray fields;
        for (int k = 0; k < 6; ++k) {
            fields.append(QJsonObject{{"type", 1},
                                      {"field", QStringLiteral("f%1").arg(k)},
                                      {"offset", (id + 3 * k) % 13},
                                      {"size", k},
                                      {"mask", "FFFFFFFF"},
                                      {"shift", k % 2 ? -k * 5 : k * 7}});
        }
        all.append(QJsonObject{{"id", QString::number(id, 16)}, {"data", fields}});
    }
    const std::string path = "/tmp/k814-seb-fuzz-" + std::to_string(getpid()) + ".json";
    FILE* f = std::fopen(path.c_str(), "wb");
    const QByteArray json = QJsonDocument(all).toJson();
    std::fwrite(json.constData(), 1, size_t(json.size()), f);
    std::fclose(f);
    TarGse::SebCmdInterpreter::createInterpreters(QString::fromStdString(path));
    std::remove(path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    defineInterpreters();
    std::unique_ptr<TarGse::SebSequence> seq;
    int index = 0;
    for (size_t pos = 0; pos < size;) {
        const size_t n = std::min<size_t>(data[pos], size - pos - 1);
        auto p = packet(data + pos + 1, n, index++);
        if (!seq) {
            seq = std::make_unique<TarGse::SebSequence>(p);
        } else {
            seq->addPartialSequence(p);
        }
        pos += 1 + n;
    }
    if (seq) {
        check(*seq);
    }

    const std::string path = "/tmp/k814-seb-fuzz-" + std::to_string(getpid()) + ".seq";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    const TarGse::SebSequence fromFile(QString::fromStdString(path));
    check(fromFile);
    return 0;
}

#include <gselib/telemetrycache.h>

#include <gselib/ccsdspacket.h>
#include <gselib/prefetch.h>
#include <gselib/tomchecksum.h>
#include <gselib/tompacket.h>

#include <sys/stat.h>
#include <tools/logger/diagnostics.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <exception>

namespace GseLib {

namespace {

// Consecutive short reads per reading routine, shared by all caches: five back off and wait for
// the file to grow (shortReadRetries_), the sixth gives the bytes up as damage.
int g_tomHungCount = 0;
int g_ccsdsHungCount = 0;

// The progress report of every cache's reads and the least time between two reports.
TelemetryCache::Progress g_progress;
std::chrono::steady_clock::duration g_progressInterval = std::chrono::milliseconds(200);

inline uint32_t be16(const unsigned char* p) {
    return (uint32_t(p[0]) << 8) | p[1];
}
inline uint32_t be32(const unsigned char* p) {
    return (be16(p) << 16) | be16(p + 2);
}

// Decimal text at p: leading blanks, an optional sign, digits up to the first non-digit.
long decimalAt(const unsigned char* p) {
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    long value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value > 100000000L) {  // far beyond any record length; stop before overflow
            return negative ? -value : value;
        }
        value = value * 10 + (*p - '0');
        ++p;
    }
    return negative ? -value : value;
}

}  // namespace

// The cache's own sink: one packet object per packet, timed and shown to the mission hook, and
// diagnostics on standard error.
class TelemetryCache::ObjectSink final : public TelemetryCache::Sink {
public:
    explicit ObjectSink(TelemetryCache& cache) : cache_(cache) {}

    void packet(int format, const unsigned char* bytes, size_t size, long, bool wrapped,
                uint32_t groundSeconds, uint32_t groundMs) override {
        const int index = static_cast<int>(cache_.packets_.size());
        TimeResolver* resolver = cache_.timeResolver_.get();
        if (format == Tom) {
            cache_.publish(
                std::make_shared<TomPacket>(bytes, static_cast<int>(size), index, resolver));
            return;
        }
        auto packet = std::make_shared<CcsdsPacket>(bytes, static_cast<int>(size), index, resolver);
        if (wrapped) {
            packet->setGroundSeconds(groundSeconds);
            packet->setGroundMilliseconds(groundMs);
        }
        cache_.publish(packet);
    }

    void diagnostic(const char* line) override {
        Diagnostics::report(Diagnostics::Kind::Reader, line);
    }

private:
    TelemetryCache& cache_;
};

TelemetryCache::TelemetryCache(TimeResolver* resolver, QObject* parent)
    : QObject(parent),
      packetBuffer_(PACKET_BUFFER_SIZE),
      wrapperBuffer_(WRAPPER_BUFFER_SIZE),
      timeResolver_(resolver),
      objectSink_(std::make_unique<ObjectSink>(*this)),
      sink_(objectSink_.get()) {}

TelemetryCache::~TelemetryCache() {
    if (file_) {
        std::fclose(file_);
    }
}

void TelemetryCache::changeFile(const std::string& path, bool clearFirst) {
    fileName_ = path;
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) {
        Diagnostics::reportf(Diagnostics::Kind::Reader, "TMF::changeFile(%s) FAILED", path.c_str());
    }
    position_ = 0;
    tmMeta_ = TmMeta(QString::fromStdString(path));
    if (clearFirst) {
        clear();
    }
    readFromPosition();
}

void TelemetryCache::grow() {
    readFromPosition();
}

bool TelemetryCache::packetWaiting() {
    if (!file_) {
        return false;
    }
    struct stat info {};
    if (fstat(fileno(file_), &info) != 0) {
        return false;
    }
    const long size = static_cast<long>(info.st_size);
    const long p = position_;
    if (packetFormat_ != Tom && packetFormat_ != Ccsds) {
        return size > p;  // a custom layout: only its own reader knows
    }
    // What the reading loops look at before a packet's data: at most a station record, the
    // mission prefix's window and a primary header.
    unsigned char head[LOOK_AHEAD + MAX_WRAPPER_LENGTH + 20 + MAX_PREFIX + 6 + 1];
    const size_t want =
        static_cast<size_t>(std::clamp<long>(size - p, 0, static_cast<long>(sizeof head - 1)));
    std::clearerr(file_);
    std::fseek(file_, p, SEEK_SET);
    const size_t have = std::fread(head, 1, want, file_);
    // The next read seeks to position_ again, so moving the stream here costs nothing.
    std::clearerr(file_);
    if (packetFormat_ == Tom) {
        if (have < 8) {
            return false;
        }
        // An invalid header is damage, passed over byte by byte without waiting.
        return !validHeader(head) || size - p >= static_cast<long>(be16(head + 2)) + 12;
    }
    if (have < LOOK_AHEAD) {
        return false;
    }
    size_t at = 0;  // where a mission prefix or the primary header starts, from p
    if (std::memcmp(head, "C7333IA0", 8) == 0 &&
        (std::memcmp(head + 8, "GANN", 4) == 0 || std::memcmp(head + 8, "FANN", 4) == 0)) {
        unsigned char text[9] = {};
        std::memcpy(text, head + 12, 8);
        const long n = decimalAt(text);
        if (n < 0 || n > MAX_WRAPPER_LENGTH) {
            return true;  // a record that cannot be one: damage
        }
        at = static_cast<size_t>(40 + n);
    }
    const size_t window = std::min(prefixWindow(), MAX_PREFIX);
    if (window == 0 && usesBeforeParseCcsds()) {
        return have > at;  // a prefix only the stream hook can find
    }
    if (have < at + window) {
        return false;
    }
    const size_t skip = window > 0 ? std::min(prefixLength(head + at), MAX_PREFIX) : 0;
    if (have < at + skip + 6) {
        return false;
    }
    const unsigned char* header = head + at + skip;
    if (!validHeader(header)) {
        return true;
    }
    // A length field of 65535 asks for no data, which the reader takes as a short read however
    // long one waits: it gives the packet up after its retries, so waiting gains nothing.
    const long dlen = static_cast<long>((be16(header + 4) + 1) & 0xFFFFu);
    return dlen == 0 || size - p >= static_cast<long>(at + skip + 6) + dlen;
}

void TelemetryCache::readFromPosition() {
    if (!file_) {
        return;
    }
    std::clearerr(file_);
    std::fseek(file_, position_, SEEK_SET);
    if (position_ == 0) {
        adjustStartPos(file_, &position_);
    }
    progressOn_ = static_cast<bool>(g_progress);
    if (progressOn_) {
        struct stat info {};
        progressTotal_ =
            fstat(fileno(file_), &info) == 0 ? static_cast<long long>(info.st_size) : 0;
        progressPackets_ = 0;
        reportProgress(position_);
    }
    switch (packetFormat_) {
        case Ccsds:
            parseCcsdsPackets();
            break;
        case Tom:
            parseTomPackets();
            break;
        default:
            parseCustomPackets();
            break;
    }
    if (progressOn_) {
        // A read stops only where the file ends (a packet cut short there waits for the rest),
        // so its end reports the whole file as done.
        reportProgress(std::max<long>(position_, static_cast<long>(progressTotal_)));
        progressOn_ = false;
    }
}

TelemetryCache::Progress TelemetryCache::setProgress(Progress progress,
                                                     std::chrono::steady_clock::duration interval) {
    g_progressInterval = interval;
    std::swap(progress, g_progress);
    return progress;
}

void TelemetryCache::progressStep(long offset) {
    // Looked at only every PROGRESS_CHECK_EVERY steps, so the clock costs nothing measurable.
    if (progressOn_ && std::chrono::steady_clock::now() - progressLast_ >= g_progressInterval) {
        reportProgress(offset);
    }
}

void TelemetryCache::reportProgress(long offset) {
    const long long packets =
        sink_ == objectSink_.get() ? static_cast<long long>(packets_.size()) : progressPackets_;
    progressTotal_ = std::max<long long>(progressTotal_, offset);
    // A copy: the report may install another one.
    const Progress progress = g_progress;
    try {
        if (progress) {
            progress(offset, progressTotal_, packets);
        }
    } catch (...) {
        // Telling the progress must never cost the packets: the read goes on without it.
        progressOn_ = false;
    }
    progressLast_ = std::chrono::steady_clock::now();
}

void TelemetryCache::clear() {
    packets_.clear();
    typeIndex_.clear();
    if (timeResolver_) {
        timeResolver_->reset();
        if (tmMeta_.isValid()) {
            const QDateTime start = tmMeta_.datetimeFromTidDir();
            if (start.isValid()) {
                timeResolver_->setT0Fallback(start.toMSecsSinceEpoch() / 1000.0);
            }
        }
    }
}

void TelemetryCache::setMaxPackets(unsigned long maxPackets, unsigned long removeCount) {
    maxPackets_ = maxPackets;
    removeCount_ = removeCount;
}

void TelemetryCache::appendPacket(const TMPacketPtr& packet) {
    packets_.push_back(packet);
    if (packets_.size() > maxPackets_) {
        const size_t n = std::min<size_t>(removeCount_, packets_.size());
        packets_.erase(packets_.begin(), packets_.begin() + static_cast<long>(n));
        typeIndex_.erase(typeIndex_.begin(),
                         typeIndex_.begin() + static_cast<long>(std::min(n, typeIndex_.size())));
        emit packetsRemoved(static_cast<int>(removeCount_));
    }
}

void TelemetryCache::setSink(Sink* sink) {
    sink_ = sink ? sink : objectSink_.get();
}

int& TelemetryCache::tomHungCount() {
    return sink_ == objectSink_.get() ? g_tomHungCount : ownTomHung_;
}

int& TelemetryCache::ccsdsHungCount() {
    return sink_ == objectSink_.get() ? g_ccsdsHungCount : ownCcsdsHung_;
}

void TelemetryCache::report(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    sink_->diagnostic(line);
}

TMPacketPtr TelemetryCache::get(unsigned int i) const {
    return i < packets_.size() ? packets_[i] : nullptr;
}

const std::vector<uint16_t>& TelemetryCache::typeIndex() {
    if (typeIndex_.empty()) {
        typeIndex_.reserve(packets_.size());
    }
    const size_t n = packets_.size();
    for (size_t i = typeIndex_.size(); i < n; ++i) {
        // The type is in the packet's bytes, two pointers away from the packet slot: the
        // memory of the packets a few places ahead is asked for early, one link further each
        // step, so that the loop does not wait for each link in turn.
        if (i + 8 < n && packets_[i + 8]) {
            prefetch(packets_[i + 8].get());
        }
        if (i + 4 < n && packets_[i + 4]) {
            prefetch(packets_[i + 4]->bytes().get());
        }
        if (i + 2 < n && packets_[i + 2]) {
            prefetch(packets_[i + 2]->data());
        }
        const int type = packets_[i] ? packets_[i]->type() : -1;
        typeIndex_.push_back(type >= 0 && type < OTHER_TYPE ? static_cast<uint16_t>(type)
                                                            : OTHER_TYPE);
    }
    return typeIndex_;
}

void TelemetryCache::publish(const TMPacketPtr& packet) {
    packets_.push_back(packet);
    // A packet the resolver or a mission hook cannot handle is kept and reported: one odd packet
    // must not end the reading of a whole file.
    try {
        if (timeResolver_) {
            timeResolver_->handlePacket(packet);
        }
        hookPacket(packet);
    } catch (const std::exception& e) {
        Diagnostics::reportf(Diagnostics::Kind::Reader, "Packet %d at %ld: %s", packet->index(),
                             position_, e.what());
    }
}

void TelemetryCache::parseTomPackets() {
    // The packet buffer holds a window of the file, [windowStart, windowStart + held), filled
    // by large reads: a packet is checked and handed on from there, so the only copy of its
    // bytes is the one into its own packet object, and damage is passed over byte by byte
    // without a seek per byte. The stream stands at windowStart + held throughout.
    unsigned char* const window = packetBuffer_.data();
    const size_t capacity = packetBuffer_.size();
    long windowStart = position_;
    size_t held = 0;
    // The n bytes at offset p (not before windowStart), or null when the file ends first.
    auto bytesAt = [&](long p, size_t n) -> const unsigned char* {
        const size_t from = static_cast<size_t>(p - windowStart);
        if (from + n <= held) {
            return window + from;
        }
        if (from < held) {
            std::memmove(window, window + from, held - from);
            held -= from;
        } else {
            std::fseek(file_, p, SEEK_SET);
            held = 0;
        }
        windowStart = p;
        // One call reads as much as the file has, up to the buffer's end: a smaller count than
        // asked means the end of the file (so far).
        if (held < n) {
            held += std::fread(window + held, 1, capacity - held, file_);
        }
        return held >= n ? window : nullptr;
    };

    long p = position_;
    int skipped = 0;
    int countdown = PROGRESS_CHECK_EVERY;
    for (;;) {
        // Step 1: the 8 header bytes at p; with fewer left, wait for the file to grow.
        const unsigned char* buf = bytesAt(p, 8);
        if (!buf) {
            position_ = p;
            return;
        }
        bool good = false;
        if (!validHeader(buf)) {
            report("Invalid header - type: %d length: %d", buf[0], int(be16(buf + 2)));
        } else {
            const size_t len = be16(buf + 2);
            buf = bytesAt(p, len + 12);
            if (!buf) {
                if (tomHungCount()++ < shortReadRetries_) {
                    report("Read partial packet...backing up to index %ld", p);
                    position_ = p;
                    return;
                }
                report("Could not read %zu bytes from file...skipping ahead 1 byte", len + 4);
                tomHungCount() = 0;
            } else {
                tomHungCount() = 0;
                good = correct_checksum(buf, len + 8, false);
                if (good) {
                    if (skipped > 0) {
                        report("Skipped %d bytes [%ld - %ld]", skipped, p - skipped, p);
                    }
                    // The cache's own sink is called directly (it is final), which saves the
                    // indirect call per packet on the common path.
                    if (sink_ == objectSink_.get()) {
                        objectSink_->packet(Tom, buf, len + 12, p, false, 0, 0);
                    } else {
                        sink_->packet(Tom, buf, len + 12, p, false, 0, 0);
                        ++progressPackets_;
                    }
                    p += static_cast<long>(len + 12);
                    position_ = p;
                    skipped = 0;
                }
            }
        }
        if (!good) {
            // Resynchronise: one byte further.
            p += 1;
            skipped += 1;
        }
        if (--countdown == 0) {
            countdown = PROGRESS_CHECK_EVERY;
            progressStep(p);
        }
    }
}

void TelemetryCache::parseCcsdsPackets() {
    unsigned char* buf = packetBuffer_.data();
    unsigned char* wrap = wrapperBuffer_.data();
    long p = position_;
    int skipped = 0;
    // The stream offset as far as this loop knows it (-1: unknown). The standard library makes
    // a system call for every seek and tell, so both are avoided when the offset is known.
    long cur = -1;
    auto seekTo = [&](long offset) {
        if (cur != offset) {
            std::fseek(file_, offset, SEEK_SET);
            cur = offset;
        }
    };
    auto readInto = [&](unsigned char* dst, size_t n) {
        const size_t got = std::fread(dst, 1, n, file_);
        cur = cur < 0 ? -1 : cur + static_cast<long>(got);
        return got == n;
    };
    const size_t window = std::min(prefixWindow(), MAX_PREFIX);
    const bool streamHook = window == 0 && usesBeforeParseCcsds();
    int countdown = PROGRESS_CHECK_EVERY;
    for (;;) {
        if (--countdown == 0) {
            countdown = PROGRESS_CHECK_EVERY;
            progressStep(p);
        }
        // Step 1: a packet is only read when 20 bytes (the wrapper look-ahead) are there.
        seekTo(p);
        if (!readInto(wrap, LOOK_AHEAD)) {
            position_ = p;
            return;
        }
        // The bytes already read from the place where the primary header (or a mission prefix)
        // may start: `held` of them at `ahead`, from file offset `at`. The stream stands right
        // after them, so the prefix check and the header cost no seek.
        unsigned char* ahead = wrap;
        size_t held = LOOK_AHEAD;
        long at = p;
        bool wrapped = false;
        uint32_t groundSeconds = 0;
        uint32_t groundMs = 0;
        long shortBytes = -1;  // bytes a short read wanted, or -1
        if (std::memcmp(wrap, "C7333IA0", 8) == 0 &&
            (std::memcmp(wrap + 8, "GANN", 4) == 0 || std::memcmp(wrap + 8, "FANN", 4) == 0)) {
            wrap[20] = 0;
            const long n = decimalAt(wrap + 12);
            if (n < 0 || n > MAX_WRAPPER_LENGTH) {
                // The record could not fit the record buffer: treat its first byte as damage.
                p += 1;
                skipped += 1;
                continue;
            }
            if (!readInto(wrap + LOOK_AHEAD, static_cast<size_t>(n + 20))) {
                shortBytes = n + 20;
            } else {
                wrapped = true;
                const bool gann = wrap[8] == 'G';
                groundSeconds = be32(wrap + (gann ? 24 : 32));
                groundMs = be16(wrap + (gann ? 28 : 36));
                // Nothing past the record is in hand yet; what is read next lands where the
                // packet goes.
                ahead = buf;
                held = 0;
                at = p + 40 + n;
            }
        }
        // Makes the first count bytes from `at` be in hand; false when the file ends first.
        auto hold = [&](size_t count) {
            if (held < count) {
                if (!readInto(ahead + held, count - held)) {
                    return false;
                }
                held = count;
            }
            return true;
        };

        size_t dlen = 0;
        long headerAt = at;
        if (shortBytes < 0) {
            size_t skip = 0;
            if (window > 0) {
                // Too few bytes for the check: the stream hook would have read them all and
                // found no header after them, so the packet waits for the file to grow.
                if (!hold(window)) {
                    position_ = p;
                    return;
                }
                skip = std::min(prefixLength(ahead), MAX_PREFIX);
            } else if (streamHook) {
                seekTo(at);
                beforeParseCcsds(file_);
                at = std::ftell(file_);
                cur = at;
                ahead = buf;
                held = 0;
            }
            if (!hold(skip + 6)) {
                position_ = p;
                return;
            }
            headerAt = at + static_cast<long>(skip);
            std::memmove(buf, ahead + skip, 6);
            size_t inHand = held - skip - 6;  // data bytes read with the header
            bool gaveUp = false;
            while (!validHeader(buf)) {
                p += 1;
                skipped += 1;
                if (--countdown == 0) {
                    countdown = PROGRESS_CHECK_EVERY;
                    progressStep(p);
                }
                if (maxScanBytes_ > 0 && skipped >= maxScanBytes_) {
                    std::fseek(file_, 0, SEEK_END);
                    const long end = std::ftell(file_);
                    cur = end;
                    report(
                        "Scanned %d bytes [%ld - %ld] without finding a valid packet header, "
                        "archive may be corrupt!",
                        skipped, p - skipped, p);
                    p = end;
                    position_ = p;
                    gaveUp = true;
                    break;
                }
                seekTo(p);
                if (!readInto(buf, 6)) {
                    position_ = p;
                    return;
                }
                headerAt = p;
                inHand = 0;
            }
            if (gaveUp) {
                return;
            }
            dlen = (be16(buf + 4) + 1) & 0xFFFFu;
            // A packet shorter than the data in hand was over-read, which only costs a seek
            // back on the next turn.
            const size_t have = std::min(inHand, dlen);
            if (have > 0) {
                std::memmove(buf + 6, ahead + skip + 6, have);
            }
            if (dlen == 0 || (dlen > have && !readInto(buf + 6 + have, dlen - have))) {
                shortBytes = static_cast<long>(dlen);
            }
        }

        if (shortBytes >= 0) {
            if (ccsdsHungCount()++ < shortReadRetries_) {
                report("Read partial packet...backing up to index %ld", p);
                std::fseek(file_, p, SEEK_SET);
                position_ = p;
                return;
            }
            report("Could not read %hu bytes from file...skipping ahead 1 byte",
                   static_cast<unsigned short>(shortBytes));
            ccsdsHungCount() = 0;
            p += 1;
            continue;
        }

        ccsdsHungCount() = 0;
        if (skipped > 0) {
            report("Skipped %d bytes [%ld - %ld]", skipped, p - skipped, p);
        }
        if (sink_ == objectSink_.get()) {
            objectSink_->packet(Ccsds, buf, dlen + 6, headerAt, wrapped, groundSeconds, groundMs);
        } else {
            sink_->packet(Ccsds, buf, dlen + 6, headerAt, wrapped, groundSeconds, groundMs);
            ++progressPackets_;
        }
        p = headerAt + 6 + static_cast<long>(dlen);
        position_ = p;
        skipped = 0;
    }
}

void TelemetryCache::parseCustomPackets() {}
void TelemetryCache::hookPacket(const TMPacketPtr&) {}
void TelemetryCache::adjustStartPos(FILE*, long*) {}
void TelemetryCache::beforeParseCcsds(FILE*) {}
bool TelemetryCache::usesBeforeParseCcsds() const {
    return false;
}
size_t TelemetryCache::prefixWindow() const {
    return 0;
}
size_t TelemetryCache::prefixLength(const unsigned char*) const {
    return 0;
}
bool TelemetryCache::validHeader(const unsigned char*) {
    return true;
}

}  // namespace GseLib

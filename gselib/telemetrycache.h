#pragma once

#include <gselib/timeresolver.h>
#include <gselib/tmmeta.h>
#include <gselib/tmpacket.h>

#include <QObject>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace GseLib {

/**
 * @brief The packets of one telemetry file, read tolerantly and incrementally.
 *
 * The file is a concatenation of TOM or CCSDS packets (CCSDS ones possibly behind station
 * wrapper records). Damage never stops a read: the reader resynchronises byte by byte and
 * reports on standard error. A packet cut off at the end of a file still being written is
 * retried by `grow()`. Every appended packet is shown to the time resolver, in file order.
 * Mission subclasses adapt the reader through the virtual hooks.
 */
class TelemetryCache : public QObject {
    Q_OBJECT
public:
    enum PacketFormat { Tom = 1, Ccsds = 2 };

    static constexpr size_t PACKET_BUFFER_SIZE = 655360;
    static constexpr size_t WRAPPER_BUFFER_SIZE = 10240;
    /// Largest wrapper-record length text whose record still fits the wrapper buffer.
    static constexpr long MAX_WRAPPER_LENGTH = 10200;
    /// Bytes read ahead at each CCSDS packet's start, enough for a wrapper record's length text.
    static constexpr size_t LOOK_AHEAD = 20;
    /// Largest look-ahead and length of a mission prefix before a primary header.
    static constexpr size_t MAX_PREFIX = 64;

    /**
     * @brief Where the reading loops deliver what they find.
     *
     * The cache is its own default sink: it makes packet objects, times them and writes the
     * diagnostics to standard error. Another sink sees the same packets (bytes only, no objects)
     * and the same diagnostic lines.
     */
    class Sink {
    public:
        virtual ~Sink() = default;
        /// A complete packet of size bytes (header first) found at file offset. For CCSDS,
        /// wrapped says that a station wrapper record stood before it, with the ground time.
        virtual void packet(int format, const unsigned char* bytes, size_t size, long offset,
                            bool wrapped, uint32_t groundSeconds, uint32_t groundMs) = 0;
        /// One diagnostic line, without its line end.
        virtual void diagnostic(const char* line) = 0;
    };

    /**
     * What a read tells about how far it has come: the file offset it has reached (bytes
     * done), the file's size when the read began (or the offset, once that is further), and
     * the packets found (for a cache that keeps packet objects, the packets it holds).
     */
    using Progress =
        std::function<void(long long bytesDone, long long bytesTotal, long long packets)>;
    /// Packets (or bytes passed over as damage) between two looks at the clock while reading.
    static constexpr int PROGRESS_CHECK_EVERY = 256;

    /**
     * Installs the progress report of every cache's reads (an empty one: none) and returns the
     * report installed before. Each read (`changeFile`, `grow`) reports once as it starts, at
     * most once per interval while it goes, and once as it ends, with the whole file done (a
     * read stops only at the file's end). A report that throws is not called again during
     * that read; the read itself goes on.
     */
    static Progress setProgress(Progress progress, std::chrono::steady_clock::duration interval =
                                                       std::chrono::milliseconds(200));

    /// Takes ownership of resolver.
    explicit TelemetryCache(TimeResolver* resolver, QObject* parent = nullptr);
    ~TelemetryCache() override;

    /// Binds to path (opened "rb") and reads it; clear drops the packets read so far first.
    void changeFile(const std::string& path, bool clear);
    /// Reads on from where the last read stopped.
    void grow();
    /**
     * Whether `grow()` would get on now: a whole packet (behind its station record and mission
     * prefix) is on disk where the last read stopped, or the bytes there are no packet's start
     * and the reader would pass over them. False while the packet there is only partly
     * written, and for an unopened file. Someone polling a file the station is writing asks
     * this first: a read that ends inside a packet uses up one of the few retries the reader
     * gives a packet cut off at the end of the file, and a steady writer would use them all.
     */
    bool packetWaiting();
    /// Drops every packet and restarts the time resolver (with the test's start as fallback T0).
    void clear();

    void setPacketFormat(int format) { packetFormat_ = format; }
    int packetFormat() const { return packetFormat_; }
    void setMaxPackets(unsigned long maxPackets, unsigned long removeCount);
    /// Appends, then trims the oldest packets beyond the maximum and signals it.
    void appendPacket(const TMPacketPtr& packet);

    /// Packet i, or null when i is not below the count.
    TMPacketPtr get(unsigned int i) const;
    size_t size() const { return packets_.size(); }
    const std::vector<TMPacketPtr>& packets() const { return packets_; }

    /// Stands in typeIndex() for a packet whose type() does not fit (or is this value).
    static constexpr uint16_t OTHER_TYPE = 0xFFFF;
    /**
     * The type() of every packet, in packet order, for whole-file searches that would otherwise
     * look into every packet object: built on first use (one pass), then extended on each call
     * by the packets read since, so a cache that is never searched pays nothing. A type that
     * does not fit 16 bits is OTHER_TYPE (ask that packet itself).
     */
    const std::vector<uint16_t>& typeIndex();

    void parseTomPackets();
    void parseCcsdsPackets();

    std::string fileName() const { return fileName_; }
    long position() const { return position_; }
    long maxScanBytes() const { return maxScanBytes_; }
    void setMaxScanBytes(long bytes) { maxScanBytes_ = bytes; }
    const TmMeta& tmMeta() const { return tmMeta_; }
    TimeResolver* timeResolver() const { return timeResolver_.get(); }

signals:
    void packetsRemoved(int count);

protected:
    /// Sends what the loops find to sink instead of making packet objects (null: back to the
    /// cache itself). A cache with its own sink counts its short reads itself, so that reading
    /// through it leaves the other caches' count of consecutive short reads alone.
    void setSink(Sink* sink);
    /// Consecutive short reads that back up to wait for the file to grow before the bytes are
    /// given up as damage (5). A reader of a finished file sets 0: a packet that does not fit
    /// in what is left is damage at once, and reading goes on after it.
    void setShortReadRetries(int retries) { shortReadRetries_ = retries; }

    virtual void parseCustomPackets();
    virtual void hookPacket(const TMPacketPtr& packet);
    virtual void adjustStartPos(FILE* stream, long* position);
    /// Passes over whatever a mission puts before a CCSDS primary header. The reader calls it
    /// only when usesBeforeParseCcsds() says so and there is no look-ahead form (prefixWindow).
    virtual void beforeParseCcsds(FILE* stream);
    /// Whether beforeParseCcsds does anything: without it, the reader takes the header from
    /// the bytes it already looked ahead at instead of seeking back for them.
    virtual bool usesBeforeParseCcsds() const;
    /// The look-ahead form of beforeParseCcsds, which costs no seek or tell per packet: the
    /// bytes the check must see where a primary header would start (0: no check, at most
    /// MAX_PREFIX). A packet with fewer bytes left after that place waits for the file to grow.
    virtual size_t prefixWindow() const;
    /// Given prefixWindow() bytes at the place where a primary header would start, how many of
    /// them to pass over before the header (0: none, at most MAX_PREFIX).
    virtual size_t prefixLength(const unsigned char* bytes) const;
    virtual bool validHeader(const unsigned char* header);

private:
    class ObjectSink;

    void readFromPosition();
    /// Called every PROGRESS_CHECK_EVERY steps of a reading loop, with the offset reached.
    void progressStep(long offset);
    void reportProgress(long offset);
    void publish(const TMPacketPtr& packet);
    /// Formats one diagnostic line (printf-style, no line end) and hands it to the sink.
    void report(const char* format, ...) __attribute__((format(printf, 2, 3)));
    int& tomHungCount();
    int& ccsdsHungCount();

    std::string fileName_;
    FILE* file_ = nullptr;
    std::vector<unsigned char> packetBuffer_;
    std::vector<unsigned char> wrapperBuffer_;
    long position_ = 0;
    long maxScanBytes_ = 1000000;
    TmMeta tmMeta_;
    int packetFormat_ = Tom;
    std::vector<TMPacketPtr> packets_;
    std::vector<uint16_t> typeIndex_;  // the types of packets_[0 .. typeIndex_.size())
    std::shared_ptr<TimeResolver> timeResolver_;
    unsigned long maxPackets_ = 0;
    unsigned long removeCount_ = 0;
    std::unique_ptr<ObjectSink> objectSink_;
    Sink* sink_ = nullptr;
    int ownTomHung_ = 0;
    int ownCcsdsHung_ = 0;
    int shortReadRetries_ = 5;

    // Progress of the read under way (see setProgress).
    bool progressOn_ = false;
    long long progressTotal_ = 0;
    long long progressPackets_ = 0;  // packets found by another sink during this read
    std::chrono::steady_clock::time_point progressLast_;
};

}  // namespace GseLib

#pragma once

#include <gselib/tmpacket.h>
#include <tarnlib/sebcmd.h>

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

namespace TarGse {

/**
 * @brief An SEB command sequence split into its commands: from SEB sequence packets (type 23),
 * a sequence possibly continued over several packets, or from a sequence file.
 *
 * A command cut off by the end of a packet waits in partialBuffer and is added whole once the
 * continuation packet arrives. Bytes that do not start a command are skipped.
 */
class SebSequence {
public:
    static constexpr uint32_t SYNC_CODE = 0xFAF320;
    static constexpr int TN_HDR_SIZE = 8;
    static constexpr int SEB_HDR_SIZE = 6;
    static constexpr int MEMADDR_SIZE = 3;
    /// First byte of the command stream in a sequence packet.
    static constexpr int STREAM_START = TN_HDR_SIZE + SEB_HDR_SIZE + MEMADDR_SIZE;

    enum FailureCode { NoFailure = 0, OpenFailed = 1, InvalidFormat = 2 };

    /// A sequence that starts with this packet.
    explicit SebSequence(std::shared_ptr<GseLib::TMPacket> packet);
    /// A sequence read from a file: two bytes, then commands from the first sync code on.
    explicit SebSequence(const QString& path);

    /// Whether the packet's memory address (bytes 14-16) is 0, i.e. it starts a sequence.
    static bool isNewSequence(std::shared_ptr<GseLib::TMPacket> packet);

    /// Continues the sequence with a further packet.
    void addPartialSequence(std::shared_ptr<GseLib::TMPacket> packet);
    bool contains(int commandNumber) const;
    /// All command bytes, concatenated in order.
    std::shared_ptr<GseLib::ByteVector> data();
    /// The interpreter name of each command, in order.
    QStringList cmdStringList() const;
    QString toString() const;
    QString failureString() const;

    QList<std::shared_ptr<SebCmd>> commands;
    double relativeTime = 0.0;
    int byteCount = 0;
    QList<int> packetIndexes;
    std::shared_ptr<GseLib::ByteVector> partialBuffer = std::make_shared<GseLib::ByteVector>();
    QString filePath;
    bool valid = true;
    int failureCode = NoFailure;

private:
    void parsePacket(const GseLib::TMPacket& packet);
    /// Splits stream[start, end) into commands, keeping an unfinished tail in partialBuffer.
    void parse(const std::shared_ptr<GseLib::ByteVector>& stream, size_t start, size_t end);
};

}  // namespace TarGse

#include <gselib/tomchecksum.h>
#include <gselib/tompacket.h>

#include "readertestutil.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <QtEndian>

#include <cstring>
#include <random>

using namespace GseLib;

using testutil::tomPacket;

TEST(TomChecksum, HandComputedValues) {
    // 01 02 03: word 0x0102 then odd byte 0x03 -> sum1 0x0402, sum2 0x0504 (worked by hand).
    const auto three = testutil::bytesOf({0x01, 0x02, 0x03});
    EXPECT_EQ(tom_checksum(three.data(), three.size()), 0x05040402u);
    // Empty data: both sums stay 0xFFFF.
    EXPECT_EQ(tom_checksum(nullptr, 0), 0xFFFFFFFFu);
    // A single byte 0x80: sum1 = 0x17FFF and sum2 = 0x27FFE, each folded once to 0x8000.
    const auto one = testutil::bytesOf({0x80});
    EXPECT_EQ(tom_checksum(one.data(), one.size()), 0x80008000u);
}

TEST(TomChecksum, StartNewBeginsFromOneAndZero) {
    ChecksumState s;
    start_checksum_new(s);
    const auto two = testutil::bytesOf({0x12, 0x34});
    add_checksum(two.data(), two.size(), s);
    EXPECT_EQ(qFromBigEndian(end_checksum(s)), (0x1235u << 16) | 0x1235u);
}

TEST(TomChecksum, EndChecksumCopiedAsItIsMakesThePacketCorrect) {
    // 01 02 03 again: sum2 0x0504, sum1 0x0402. In memory the returned value must read 05 04 04 02
    // on any host, so a writer can copy it behind the data without swapping.
    ByteVector packet = testutil::bytesOf({0x01, 0x02, 0x03});
    ChecksumState s;
    start_checksum(s);
    add_checksum(packet.data(), packet.size(), s);
    const uint32_t sum = end_checksum(s);
    packet.resize(packet.size() + 4);
    std::memcpy(packet.data() + 3, &sum, 4);
    EXPECT_EQ(packet, testutil::bytesOf({0x01, 0x02, 0x03, 0x05, 0x04, 0x04, 0x02}));
    EXPECT_TRUE(correct_checksum(packet.data(), 3, false));
    EXPECT_TRUE(correct_checksum(packet.data(), 3, true));
}

TEST(TomChecksum, IncrementalAdditionOnWordBoundaryMatchesOneShot) {
    std::mt19937 rng(7);
    ByteVector data(2000);
    for (auto& b : data)
        b = uint8_t(rng());
    ChecksumState s;
    start_checksum(s);
    add_checksum(data.data(), 720, s);  // exactly one block of 360 words
    add_checksum(data.data() + 720, data.size() - 720, s);
    EXPECT_EQ(qFromBigEndian(end_checksum(s)), tom_checksum(data.data(), data.size()));
}

TEST(TomChecksum, CorrectChecksumDetectsEveryFlippedByte) {
    std::mt19937 rng(11);
    for (size_t len : {0u, 1u, 2u, 719u, 720u, 721u, 722u, 1441u}) {
        ByteVector data(len);
        for (auto& b : data)
            b = uint8_t(rng());
        const ByteVector packet = tomPacket(0x16, 1, 1000, data);
        const size_t n = packet.size() - 4;
        EXPECT_TRUE(correct_checksum(packet.data(), n, false)) << len;
        EXPECT_TRUE(correct_checksum(packet.data(), n, true)) << len;
        for (size_t i = 0; i < packet.size(); ++i) {
            ByteVector bad = packet;
            bad[i] ^= 0x10;
            EXPECT_FALSE(correct_checksum(bad.data(), n, false)) << "len " << len << " byte " << i;
            EXPECT_FALSE(correct_checksum(bad.data(), n, true)) << "len " << len << " byte " << i;
        }
    }
}

TEST(TomPacket, HeaderFields) {
    const ByteVector raw = tomPacket(0x85, 0xFE, 0xA1B2C3D4, testutil::bytesOf({0x07, 0x01, 0x02}));
    TomPacket p(raw.data(), int(raw.size()), 3, nullptr);
    EXPECT_EQ(p.fullType(), 0x85);
    EXPECT_EQ(p.type(), 5);
    EXPECT_EQ(p.apid(), 5);
    EXPECT_EQ(p.sequence(), 0xFE);
    EXPECT_EQ(p.dataLength(), 3);
    EXPECT_EQ(p.totalLength(), 8 + 3 + 4);
    EXPECT_EQ(p.rawTimestamp(), 0xA1B2C3D4u);
    EXPECT_EQ(p.rawTimestampMs(), 0.0);
    EXPECT_EQ(p.subType(), 7);
    EXPECT_EQ(p.checksum(), tom_checksum(raw.data(), raw.size() - 4));
    EXPECT_EQ(p.segmentFlags(), 3);
    EXPECT_EQ(p.versionNumber(), 0);
    EXPECT_FALSE(p.hasSecondaryHeader());
    EXPECT_EQ(p.dataOffset(), 8);
    EXPECT_EQ(p.headerSize(), 8);
}

TEST(TomPacket, ShortPacketsRaiseOutOfRange) {
    auto empty = std::make_shared<ByteVector>();
    TomPacket e(empty, 0, nullptr);
    EXPECT_THROW(e.type(), std::out_of_range);
    EXPECT_THROW(e.fullType(), std::out_of_range);
    auto one = std::make_shared<ByteVector>(1, 0x02);
    TomPacket o(one, 0, nullptr);
    EXPECT_EQ(o.type(), 2);
    EXPECT_THROW(o.sequence(), std::out_of_range);
    auto eight = std::make_shared<ByteVector>(8, 0x00);
    TomPacket h(eight, 0, nullptr);
    EXPECT_THROW(h.subType(), std::out_of_range);
}

TEST(TomPacket, BuilderOperationsAreRefused) {
    const ByteVector raw = tomPacket(2, 0, 0, testutil::bytesOf({1, 2}));
    TomPacket p(raw.data(), int(raw.size()), 0, nullptr);
    try {
        p.incrementSequence();
        FAIL() << "incrementSequence accepted";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "incrementSequence() not implemented");
    }
    try {
        p.updateDataLength();
        FAIL() << "updateDataLength accepted";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "updateDataLength() not implemented");
    }
}

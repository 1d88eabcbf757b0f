#include <gselib/ccsdspacket.h>

#include "testutil.h"

#include <gtest/gtest.h>

using namespace GseLib;
using Flags = CcsdsPrimaryHeader::SegmentFlags;

TEST(CcsdsPacket, BuildingConstructorLaysOutHeader) {
    CcsdsPacket p(20, 0x123, true, Flags::Unsegmented, 5);
    const ByteVector head(p.bytes()->begin(), p.bytes()->begin() + 6);
    EXPECT_EQ(head, testutil::bytesOf({0x09, 0x23, 0xC0, 0x00, 0x00, 0x0D}));
    EXPECT_EQ(p.index(), 5);
    EXPECT_EQ(p.totalLength(), 20);
    EXPECT_EQ(p.dataLength(), 14);
    EXPECT_EQ(p.apid(), 0x123);
    EXPECT_EQ(p.type(), 0x123);
    EXPECT_EQ(p.fullType(), 0x123);  // the other fields read from the bytes checked above
    EXPECT_EQ(p.subType(), 0);
    EXPECT_EQ(p.checksum(), 0u);
    EXPECT_EQ(p.timeResolver(), nullptr);
}

TEST(CcsdsPacket, HeaderFieldsFromBytes) {
    // Every field is distinct and straddles byte boundaries, so a wrong mask or shift shows.
    // 0b101_1_0_111 1010_0101 | 10_111100 00111100 | 0x01 0x02 | secondary header
    const auto raw = testutil::bytesOf(
        {0xB7, 0xA5, 0xBC, 0x3C, 0x01, 0x02, 0x12, 0x34, 0x56, 0x78, 0x80, 0x00, 0xAA});
    CcsdsPacket p(raw.data(), int(raw.size()), 7, nullptr);
    EXPECT_EQ(p.versionNumber(), 5);
    EXPECT_EQ(p.typeIndicator(), 1);
    EXPECT_FALSE(p.hasSecondaryHeader());
    EXPECT_EQ(p.apid(), 0x7A5);
    EXPECT_EQ(p.segmentFlags(), 2);
    EXPECT_EQ(p.sequence(), 0x3C3C);
    EXPECT_EQ(p.dataLength(), 0x0103);
    EXPECT_EQ(p.rawTimestamp(), 0x12345678u);
    EXPECT_DOUBLE_EQ(p.rawTimestampMs(), 500.0);
    EXPECT_FALSE(p.header().isValidTelemetryHeader());
}

TEST(CcsdsPacket, ZeroLengthFieldMeansOneDataByte) {
    const auto raw = testutil::bytesOf({0x08, 0x01, 0xC0, 0x00, 0x00, 0x00, 0x42});
    CcsdsPacket p(raw.data(), int(raw.size()), 0, nullptr);
    EXPECT_EQ(p.dataLength(), 1);
    EXPECT_EQ(p.totalLength(), 7);
    // No room for the secondary header: no timestamp.
    EXPECT_EQ(p.rawTimestamp(), 0u);
    EXPECT_EQ(p.rawTimestampMs(), 0.0);
}

TEST(CcsdsPacket, SettersTouchOnlyTheirOwnBits) {
    struct Case {
        const char* name;
        void (*set)(CcsdsPrimaryHeader&);
        ByteVector expected;
    };
    // Start from all-ones so any setter that clears a neighbour's bit is caught.
    const Case cases[] = {
        {"version", [](CcsdsPrimaryHeader& h) { h.setVersionNumber(2); },
         testutil::bytesOf({0x5F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"type", [](CcsdsPrimaryHeader& h) { h.setPacketType(CcsdsPrimaryHeader::Telemetry); },
         testutil::bytesOf({0xEF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"sechdr", [](CcsdsPrimaryHeader& h) { h.setHasSecHeader(false); },
         testutil::bytesOf({0xF7, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"apid", [](CcsdsPrimaryHeader& h) { h.setApid(0x2E7); },
         testutil::bytesOf({0xFA, 0xE7, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"flags", [](CcsdsPrimaryHeader& h) { h.setSegmentFlags(Flags::First); },
         testutil::bytesOf({0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF})},
        {"seq", [](CcsdsPrimaryHeader& h) { h.setSequenceCount(0x1234); },
         testutil::bytesOf({0xFF, 0xFF, 0xD2, 0x34, 0xFF, 0xFF})},
        {"length", [](CcsdsPrimaryHeader& h) { h.setDataLength(0x100); },
         testutil::bytesOf({0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xFF})},
    };
    for (const Case& c : cases) {
        auto bytes = std::make_shared<ByteVector>(6, 0xFF);
        CcsdsPrimaryHeader h(bytes);
        c.set(h);
        EXPECT_EQ(*bytes, c.expected) << c.name;
    }
}

TEST(CcsdsPacket, HeaderViewSharesPacketBytes) {
    CcsdsPacket p(16, 0x10, false, Flags::Unsegmented, 0);
    p.header().setApid(0x2E7);
    EXPECT_EQ(p.apid(), 0x2E7);
    EXPECT_EQ(p.header().bytes().get(), p.bytes().get());
}

TEST(CcsdsPacket, SequenceIncrementWrapsAndKeepsFlags) {
    CcsdsPacket p(8, 1, true, Flags::Unsegmented, 0);
    p.header().setSequenceCount(16383);
    p.incrementSequence();
    EXPECT_EQ(p.sequence(), 0);
    EXPECT_EQ(p.segmentFlags(), 3);
    p.incrementSequence();
    EXPECT_EQ(p.sequence(), 1);
}

TEST(CcsdsPacket, BuildingHeaderConstructorsAgree) {
    CcsdsPrimaryHeader a(0x345, 1, CcsdsPrimaryHeader::Telecommand, true, Flags::Last, 0x2ABC, 300);
    CcsdsPrimaryHeader b(0x345, 300, 0x2ABC, true, Flags::Last, CcsdsPrimaryHeader::Telecommand, 1);
    EXPECT_EQ(a.toByteArray(), b.toByteArray());
    EXPECT_EQ(a.toByteArray(), testutil::bytesOf({0x3B, 0x45, 0xAA, 0xBC, 0x01, 0x2B}));
    EXPECT_EQ(a.dataLength(), 300);
}

TEST(CcsdsPacket, TelemetryHeaderValidity) {
    struct Case {
        ByteVector bytes;
        bool valid;
    };
    const Case cases[] = {
        {testutil::bytesOf({0x08, 0x01, 0xC0, 0, 0, 1}), true},
        {testutil::bytesOf({0x0F, 0xFF, 0xC0, 0, 0, 1}), true},   // byte 0 at the limit
        {testutil::bytesOf({0x10, 0x01, 0xC0, 0, 0, 1}), false},  // telecommand
        {testutil::bytesOf({0x20, 0x01, 0xC0, 0, 0, 1}), false},  // version 1
        {testutil::bytesOf({0x08, 0x00, 0xC0, 0, 0, 1}), false},  // APID 0 (idle)
        {testutil::bytesOf({0x08, 0x01, 0xC0, 0, 0}), false},     // short
    };
    for (const Case& c : cases) {
        CcsdsPrimaryHeader h(std::make_shared<ByteVector>(c.bytes));
        EXPECT_EQ(h.isValidTelemetryHeader(), c.valid);
    }
    EXPECT_FALSE(CcsdsPrimaryHeader().isValid());
    EXPECT_FALSE(CcsdsPrimaryHeader().isValidTelemetryHeader());
}

TEST(CcsdsPacket, ResizeRewritesLengthField) {
    CcsdsPacket p(12, 0x22, true, Flags::Unsegmented, 0);
    (*p.bytes())[11] = 0x77;
    p.resize(40);
    EXPECT_EQ(p.totalLength(), 40);
    EXPECT_EQ(p.dataLength(), 34);
    EXPECT_EQ((*p.bytes())[11], 0x77);
    EXPECT_EQ((*p.bytes())[39], 0x00);
    p.resize(9);
    EXPECT_EQ(p.dataLength(), 3);
}

TEST(CcsdsPacket, CopyingConstructorCopiesSharingConstructorShares) {
    auto raw = std::make_shared<ByteVector>(
        testutil::bytesOf({0x08, 0x05, 0xC0, 0, 0, 5, 0, 0, 0, 0, 0, 0}));
    CcsdsPacket copied(raw->data(), int(raw->size()), 0, nullptr);
    CcsdsPacket shared(raw, 1, nullptr);
    (*raw)[1] = 0x06;
    EXPECT_EQ(copied.apid(), 5);
    EXPECT_EQ(shared.apid(), 6);
}

TEST(CcsdsPacket, RejectsImpossibleSizes) {
    EXPECT_THROW(CcsdsPacket(static_cast<unsigned long>(-1), 1, true, Flags::Unsegmented, 0),
                 std::length_error);
    EXPECT_THROW(CcsdsPacket(5, 1, true, Flags::Unsegmented, 0), std::length_error);
    const uint8_t byte = 0;
    EXPECT_THROW(CcsdsPacket(&byte, -1, 0, nullptr), std::length_error);
}

TEST(CcsdsPacket, DefaultPacketHasNoBytes) {
    CcsdsPacket p;
    EXPECT_EQ(p.index(), -1);
    EXPECT_EQ(p.totalLength(), 0);
    EXPECT_EQ(p.bytes(), nullptr);
    EXPECT_FALSE(p.header().isValid());
    EXPECT_THROW(p.apid(), std::out_of_range);
}

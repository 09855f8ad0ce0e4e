// The wire codec on byte buffers; every message kind also travels in the socket
// tests, and the fuzz targets round trip whatever parses.
#include "gtrans/Wire.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

namespace {

using namespace gvwire;
using Words = std::vector<uint32_t>;

// At the protocol's largest WRITEREG count, which READREG takes too.
TEST(Wire, RegisterMessagesRoundTripAtTheLargestCount) {
    const size_t count = kMaxWriteRegPairs;
    Words addresses, values;
    for (uint32_t i = 0; i < count; ++i) {
        addresses.push_back(0xF0F00000u + 4 * i);
        values.push_back(0x80000000u | i);
    }
    uint8_t buffer[kMaxMessage];
    CommandHeader command{};
    AckHeader ack{};
    const uint8_t* payload = nullptr;
    uint32_t gotA[kMaxReadRegAddresses], gotV[kMaxReadRegAddresses];
    size_t n = 0, got = 0;
    uint16_t index = 0;

    n = EncodeReadRegCmd(buffer, sizeof buffer, 7, addresses.data(), count);
    ASSERT_EQ(n, kHeaderSize + 4 * count);
    ASSERT_TRUE(ParseCommand(buffer, n, command, payload));
    ASSERT_TRUE(ParseReadRegCmd(payload, command.length, gotA, 135, got));
    EXPECT_EQ(
        std::make_tuple(kReadRegCmd, 7, kFlagAckRequired, addresses),
        std::make_tuple(command.command, command.reqId, command.flags, Words(gotA, gotA + got)));

    n = EncodeReadRegAck(buffer, sizeof buffer, 7, kSuccess, values.data(), count);
    ASSERT_TRUE(ParseAck(buffer, n, ack, payload));
    ASSERT_TRUE(ParseReadRegAck(payload, ack.length, gotV, 135, got));
    EXPECT_EQ(std::make_tuple(kReadRegAck, 7, values),
              std::make_tuple(ack.ack, ack.ackId, Words(gotV, gotV + got)));

    n = EncodeWriteRegCmd(buffer, sizeof buffer, 0xFFFF, addresses.data(), values.data(), count);
    ASSERT_TRUE(ParseCommand(buffer, n, command, payload));
    ASSERT_TRUE(ParseWriteRegCmd(payload, command.length, gotA, gotV, 67, got));
    EXPECT_EQ(std::make_tuple(kWriteRegCmd, addresses, values),
              std::make_tuple(command.command, Words(gotA, gotA + got), Words(gotV, gotV + got)));

    n = EncodeWriteRegAck(buffer, sizeof buffer, 0xFFFF, kWriteProtect, uint16_t(count - 1));
    ASSERT_TRUE(ParseAck(buffer, n, ack, payload));
    ASSERT_TRUE(ParseWriteRegAck(payload, ack.length, index));
    EXPECT_EQ(std::make_tuple(kWriteProtect, count - 1),
              std::make_tuple(ack.status, size_t(index)));
}

TEST(Wire, MalformedInputRefused) {
    const std::vector<uint8_t> good = {0x42, 0x01, 0x00, 0x80, 0x00, 0x04,
                                       0x00, 0x01, 0x00, 0x00, 0x0A, 0x00};
    // A READREG of one address, damaged: byte changed, its new value, datagram size.
    const std::tuple<const char*, size_t, uint8_t, size_t> rows[] = {
        {"untouched", 0, 0x42, 12},
        {"no key", 0, 0x43, 12},
        {"zero req_id", 7, 0x00, 12},
        {"odd length", 5, 0x03, 12},
        {"length beyond datagram", 5, 0x08, 12},
        {"trailing bytes", 0, 0x42, 16},
        {"truncated header", 0, 0x42, 7},
    };
    for (const auto& [name, at, value, size] : rows) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> data = good;
        data.resize(16, 0);
        data[at] = value;
        CommandHeader header{};
        const uint8_t* payload = nullptr;
        const bool intact = at == 0 && value == 0x42 && size == 12;
        EXPECT_EQ(ParseCommand(data.data(), size, header, payload), intact);
    }

    uint8_t buffer[kMaxMessage];
    uint32_t words[136] = {};
    size_t count = 0;
    uint16_t index = 0;
    AckHeader ack{};
    const uint8_t* payload = nullptr;
    const uint8_t ackBytes[12] = {0, 0, 0, 0x83, 0, 8, 0, 1, 0, 0, 0, 0};
    EXPECT_FALSE(ParseAck(ackBytes, sizeof ackBytes, ack, payload)) << "length beyond datagram";
    EXPECT_FALSE(ParseReadRegCmd(buffer, 0, words, 135, count)) << "no address";
    EXPECT_FALSE(ParseReadRegCmd(buffer, 8, words, 1, count)) << "more than the caller holds";
    EXPECT_FALSE(ParseWriteRegCmd(buffer, 12, words, words, 67, count)) << "half a pair";
    EXPECT_FALSE(ParseWriteRegCmd(buffer, 68 * 8, words, words, 135, count)) << "68 pairs";
    EXPECT_FALSE(ParseWriteRegAck(ackBytes, 2, index)) << "short index";
    DeviceIdentity identity;
    EXPECT_FALSE(ParseDiscoveryAck(buffer, kDiscoveryAckSize - 4, identity)) << "truncated";
    ResendRequest request;
    const uint8_t reversed[12] = {0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 2};
    const uint8_t reserved[12] = {0, 0, 0, 1, 1, 0, 0, 3, 1, 0, 0, 3};
    EXPECT_FALSE(ParsePacketResendCmd(reversed, 12, request)) << "first after last";
    EXPECT_FALSE(ParsePacketResendCmd(reserved, 12, request)) << "reserved byte set";
    EXPECT_FALSE(ParsePacketResendCmd(reversed, 8, request)) << "short";
    EXPECT_EQ(PixelFormatBytes(0x010C0004), 0u) << "12-bit packed";

    // Encoders refuse what the protocol does not allow, and small buffers.
    const ResendRequest backwards{0, 1, 3, 2}, beyond{0, 1, 0, 0x1000000};
    const size_t encoded[] = {
        EncodeReadRegCmd(buffer, sizeof buffer, 1, words, 0),
        EncodeReadRegCmd(buffer, sizeof buffer, 1, words, 136),
        EncodeReadRegCmd(buffer, sizeof buffer, 0, words, 1), // req_id 0
        EncodeReadRegCmd(buffer, 11, 1, words, 1),            // capacity
        EncodeWriteRegCmd(buffer, sizeof buffer, 1, words, words, 68),
        EncodeDiscoveryAck(buffer, 255, 1, DeviceIdentity{}),
        EncodePacketResendCmd(buffer, sizeof buffer, 1, backwards),
        EncodePacketResendCmd(buffer, sizeof buffer, 1, beyond),
        EncodeLeader(buffer, 43, 1, ImageLeader{}),
        EncodeLeader(buffer, sizeof buffer, 0, ImageLeader{}), // block 0
        EncodePayload(buffer, sizeof buffer, 1, 0, buffer, 4), // packet 0
        EncodePayload(buffer, 11, 1, 1, buffer + 100, 4),
        EncodeTrailer(buffer, sizeof buffer, 1, 0x1000000, ImageTrailer{}),
    };
    EXPECT_EQ(std::vector<size_t>(13, 0), std::vector<size_t>(encoded, encoded + 13));

    GvspHeader header;
    const uint8_t* body = nullptr;
    size_t bodyLength = 0;
    const uint8_t extended[8] = {0, 0, 0, 1, 0x83, 0, 0, 1};
    const uint8_t block0[8] = {0, 0, 0, 0, 0x03, 0, 0, 1};
    EXPECT_FALSE(ParseGvsp(extended, 8, header, body, bodyLength));
    EXPECT_FALSE(ParseGvsp(block0, 8, header, body, bodyLength));
    EXPECT_FALSE(ParseGvsp(block0, 7, header, body, bodyLength));
    ImageLeader leader;
    ImageTrailer trailer;
    const size_t n = EncodeLeader(buffer, sizeof buffer, 1, leader);
    EXPECT_FALSE(ParseLeader(buffer + 8, n - 9, leader));
    buffer[8 + 3] = 2; // payload type raw data
    EXPECT_FALSE(ParseLeader(buffer + 8, n - 8, leader));
    EXPECT_FALSE(ParseTrailer(buffer + 8, 7, trailer));
}

} // namespace

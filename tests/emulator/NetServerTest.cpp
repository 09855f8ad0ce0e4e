// The emulator's network side over real loopback sockets, driven by a small
// raw client built on the wire codec: discovery, register access and its
// statuses, control privilege and heartbeat, the image stream, resends and
// faults. Every test uses its own loopback addresses and an ephemeral port.
#include "EmulatorTestSupport.h"

#include "emulator/TestImage.h"
#include "emulator/net/NetServer.h"
#include "emulator/net/UdpSocket.h"
#include "gtrans/Wire.h"

#include <poll.h>

#include <map>
#include <thread>

namespace EmulatorTest {
namespace {

using namespace gvwire;
using Clock = std::chrono::steady_clock;

constexpr uint32_t Ip(unsigned b, unsigned c, unsigned d) {
    return 0x7F000000u | b << 16 | c << 8 | d;
}
// IIDC registers as the wire reaches them.
constexpr uint32_t kWireIsoEnable = 0xF0F00614;
constexpr uint32_t kWireOneShot = 0xF0F0061C;
constexpr uint32_t kWireF7 = 0xF0F08000; // Format_7 mode 0 CSRs

// One datagram, or empty after `ms` milliseconds.
std::vector<uint8_t> Receive(const UdpSocket& socket, int ms) {
    pollfd fd{socket.Fd(), POLLIN, 0};
    if (poll(&fd, 1, ms) <= 0) {
        return {};
    }
    std::vector<uint8_t> data(10000);
    sockaddr_in peer{};
    const long n = socket.Receive(data.data(), data.size(), peer);
    data.resize(n > 0 ? size_t(n) : 0);
    return data;
}

// Waits (at most a second) for a counter the camera's threads update just
// after the packets left.
template <typename Pred>
bool Eventually(Pred pred) {
    const auto end = Clock::now() + std::chrono::seconds(1);
    while (!pred() && Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pred();
}

// A host's control channel: one socket, fresh req_ids, waits for the
// matching acknowledge.
class RawClient {
public:
    RawClient(uint32_t camera, uint16_t port, uint32_t own = Ip(0, 0, 1))
        : camera_(camera), port_(port) {
        std::string error;
        EXPECT_TRUE(socket_.Bind(own, 0, error)) << error;
    }
    // Sends `n` bytes and answers the acknowledge for `reqId`, or an empty
    // payload with status 0xFFFF after a second.
    uint16_t Transact(const uint8_t* command, size_t n, uint16_t reqId,
                      std::vector<uint8_t>& payload) {
        socket_.SendTo(command, n, camera_, port_);
        const auto end = Clock::now() + std::chrono::seconds(1);
        while (Clock::now() < end) {
            const std::vector<uint8_t> d = Receive(socket_, 50);
            AckHeader ack{};
            const uint8_t* p = nullptr;
            if (ParseAck(d.data(), d.size(), ack, p) && ack.ackId == reqId) {
                payload.assign(p, p + ack.length);
                return ack.status;
            }
        }
        payload.clear();
        return 0xFFFF;
    }
    uint16_t Read(const std::vector<uint32_t>& addresses, std::vector<uint32_t>& values) {
        uint8_t out[kMaxMessage];
        const uint16_t id = Next();
        const size_t n = EncodeReadRegCmd(out, sizeof out, id, addresses.data(), addresses.size());
        std::vector<uint8_t> payload;
        const uint16_t status = Transact(out, n, id, payload);
        values.assign(kMaxReadRegAddresses, 0);
        size_t count = 0;
        EXPECT_TRUE(
            ParseReadRegAck(payload.data(), payload.size(), values.data(), values.size(), count));
        values.resize(count);
        return status;
    }
    uint32_t Read(uint32_t address) {
        std::vector<uint32_t> v;
        EXPECT_EQ(Read({address}, v), kSuccess) << std::hex << address;
        return v.empty() ? 0 : v[0];
    }
    uint16_t Write(const std::vector<uint32_t>& addresses, const std::vector<uint32_t>& values,
                   uint16_t& index, uint16_t reqId = 0) {
        uint8_t out[kMaxMessage];
        const uint16_t id = reqId != 0 ? reqId : Next();
        const size_t n = EncodeWriteRegCmd(out, sizeof out, id, addresses.data(), values.data(),
                                           addresses.size());
        std::vector<uint8_t> payload;
        const uint16_t status = Transact(out, n, id, payload);
        index = 0xFFFF;
        EXPECT_TRUE(status == 0xFFFF || ParseWriteRegAck(payload.data(), payload.size(), index));
        return status;
    }
    uint16_t Write(uint32_t address, uint32_t value, uint16_t reqId = 0) {
        uint16_t index = 0;
        return Write({address}, {value}, index, reqId);
    }
    void Resend(uint16_t block, uint32_t first, uint32_t last) {
        uint8_t out[kMaxMessage];
        const size_t n = EncodePacketResendCmd(out, sizeof out, Next(), {0, block, first, last});
        socket_.SendTo(out, n, camera_, port_);
    }
    uint16_t Next() { return id_ = id_ == 0xFFFF ? 1 : uint16_t(id_ + 1); }

private:
    uint32_t camera_;
    uint16_t port_;
    UdpSocket socket_;
    uint16_t id_ = 0;
};

// The packets of one block as they arrived, by packet id.
struct Received {
    ImageLeader leader;
    bool hasLeader = false, hasTrailer = false;
    uint32_t trailerId = 0;
    std::map<uint32_t, std::vector<uint8_t>> payload;
    std::map<uint32_t, uint16_t> errors; // packet id -> status
    size_t datagrams = 0;
};

// Collects packets until the trailer arrived and no gap is left, or `ms`
// milliseconds pass without a packet.
Received Collect(const UdpSocket& socket, uint16_t block, int ms, Received got = {}) {
    for (;;) {
        if (got.hasTrailer && got.hasLeader && got.payload.size() + 1 == got.trailerId) {
            return got;
        }
        const std::vector<uint8_t> d = Receive(socket, ms);
        if (d.empty()) {
            return got;
        }
        GvspHeader h;
        const uint8_t* body = nullptr;
        size_t length = 0;
        if (!ParseGvsp(d.data(), d.size(), h, body, length) || h.blockId != block) {
            continue;
        }
        ++got.datagrams;
        if (h.status != kSuccess) {
            got.errors[h.packetId] = h.status;
        } else if (h.format == kFormatLeader) {
            got.hasLeader = ParseLeader(body, length, got.leader);
        } else if (h.format == kFormatTrailer) {
            got.hasTrailer = true;
            got.trailerId = h.packetId;
        } else {
            got.payload[h.packetId].assign(body, body + length);
        }
    }
}

std::vector<uint8_t> Image(const Received& got) {
    std::vector<uint8_t> image;
    for (const auto& p : got.payload) {
        image.insert(image.end(), p.second.begin(), p.second.end());
    }
    return image;
}

// Starts `server`; its port, 0 with the failure reported.
uint16_t Start(NetServer& server) {
    const uint16_t port = server.Start();
    EXPECT_NE(port, 0) << server.Error();
    return port;
}

// A host's stream socket on 127.0.0.1, ephemeral port.
void Bind(UdpSocket& stream) {
    std::string error;
    ASSERT_TRUE(stream.Bind(Ip(0, 0, 1), 0, error)) << error;
}

// A controlling host with its stream channel open on `stream`.
void OpenStream(RawClient& host, const UdpSocket& stream, uint32_t packetSize = 1500) {
    uint16_t index = 0;
    ASSERT_EQ(host.Write(kRegCcp, kCcpControl), kSuccess);
    ASSERT_EQ(host.Write({kRegScps0, kRegScda0, kRegScp0}, {packetSize, Ip(0, 0, 1), stream.Port()},
                         index),
              kSuccess);
}

NetOptions Options(uint32_t first, unsigned cameras = 1, const char* model = "vga-mono") {
    NetOptions o;
    o.cameras = cameras;
    o.model = model;
    o.firstAddress = first;
    o.port = 0;
    return o;
}

TEST(NetServer, RegisterAccessAnswersValuesAndStatuses) {
    NetServer server(Options(Ip(11, 0, 1)));
    RawClient host(Ip(11, 0, 1), Start(server));

    // Values and 32-register transfers are the transport tests' part; here
    // each refusal's status and how far the command got.
    std::vector<uint32_t> values;
    uint16_t index = 0;
    struct Row {
        const char* name;
        bool write;
        std::vector<uint32_t> addresses;
        uint16_t status;
        size_t done; // values read, or the ack index
    } rows[] = {
        {"unknown bootstrap address", false, {kRegVersion, 0x0B00}, kInvalidAddress, 1},
        {"unmapped IIDC address", false, {0xFFFFFFF0}, kInvalidAddress, 0},
        {"misaligned read", false, {0x0006}, kBadAlignment, 0},
        {"read-only register", true, {kRegScpd0, kRegVersion, kRegScpd0}, kWriteProtect, 1},
        {"misaligned write", true, {0x0D0A}, kBadAlignment, 0},
        {"unknown address written", true, {0x0B00}, kInvalidAddress, 0},
        {"non-loopback destination", true, {kRegScda0}, kInvalidParameter, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.write) {
            const std::vector<uint32_t> v(row.addresses.size(), 0x0A000001);
            EXPECT_EQ(host.Write(row.addresses, v, index), row.status);
            EXPECT_EQ(index, row.done);
        } else {
            EXPECT_EQ(host.Read(row.addresses, values), row.status);
            EXPECT_EQ(values.size(), row.done);
        }
    }
    // The failed write stopped before its third pair.
    EXPECT_EQ(host.Read(kRegScpd0), 0x0A000001u);
    EXPECT_EQ(host.Read(kRegScda0), 0u);

    // A resend of a block never sent: each packet asked for is unavailable.
    UdpSocket stream;
    Bind(stream);
    OpenStream(host, stream);
    host.Resend(999, 5, 6);
    EXPECT_EQ(Collect(stream, 999, 200).errors,
              (std::map<uint32_t, uint16_t>{{5, kPacketUnavailable}, {6, kPacketUnavailable}}));
}

TEST(NetServer, ControlIsExclusiveAndLostWhenHeartbeatsStop) {
    NetServer server(Options(Ip(12, 0, 1)));
    const uint16_t port = Start(server);
    RawClient first(Ip(12, 0, 1), port), second(Ip(12, 0, 1), port);

    ASSERT_EQ(first.Write(kRegCcp, kCcpControl), kSuccess);
    EXPECT_EQ(first.Write(kRegCcp, kCcpControl), kSuccess) << "taking it again";
    EXPECT_EQ(second.Write(kRegCcp, kCcpControl), kAccessDenied);
    EXPECT_EQ(second.Write(kRegScpd0, 5), kAccessDenied);
    EXPECT_EQ(second.Write(kRegCcp, 0), kAccessDenied) << "releasing another's control";
    EXPECT_EQ(second.Read(kRegCcp), kCcpControl) << "reads stay open";

    // A retried release (same req_id) is answered again, not executed again:
    // the second host's control in between survives it.
    ASSERT_EQ(first.Write(kRegCcp, 0, 4000), kSuccess);
    ASSERT_EQ(second.Write(kRegCcp, kCcpControl), kSuccess);
    EXPECT_EQ(first.Write(kRegCcp, 0, 4000), kSuccess);
    EXPECT_EQ(first.Write(kRegCcp, kCcpControl), kAccessDenied);

    // The controller shortens its heartbeat, then falls silent.
    EXPECT_EQ(second.Write(kRegHeartbeatTimeout, 100), kSuccess);
    EXPECT_EQ(second.Read(kRegHeartbeatTimeout), 500u) << "raised to the minimum";
    const auto silent = Clock::now();
    uint16_t status = kAccessDenied;
    while (status == kAccessDenied && Clock::now() - silent < std::chrono::seconds(5)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        status = first.Write(kRegCcp, kCcpControl);
    }
    EXPECT_EQ(status, kSuccess);
    EXPECT_GE(Clock::now() - silent, std::chrono::milliseconds(500));
    EXPECT_EQ(server.Counters(0).heartbeatExpiries, 1u);

    FaultOptions deny;
    deny.denyControl = true;
    server.SetFaults(deny);
    EXPECT_EQ(first.Write(kRegCcp, 0), kSuccess);
    EXPECT_EQ(first.Write(kRegCcp, kCcpControl), kAccessDenied) << "control denied by fault";
}

TEST(NetServer, OneShotFramesArriveByteExactAndResendsAreServed) {
    struct Row {
        const char* name;
        const char* model;
        uint8_t coding;
        uint32_t size;     // IMAGE_SIZE: width << 16 | height
        uint32_t position; // IMAGE_POSITION
        uint32_t pixelFormat;
        FaultOptions faults;
    };
    FaultOptions lossy;
    lossy.dropPacket = 0.1;
    lossy.duplicatePacket = 0.1;
    lossy.reorderPacket = 0.1;
    const Row rows[] = {
        {"vga AOI",
         "vga-mono",
         Emulator::kMono16,
         64u << 16 | 30,
         8u << 16 | 4,
         gvwire::kMono16,
         {}},
        {"bayer Raw8 lossy", "2mp-bayer", kRaw8, 800u << 16 | 600, 0, kBayerRG8, lossy},
    };
    unsigned subnet = 13;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        NetOptions options = Options(Ip(subnet++, 0, 1), 1, row.model);
        options.faults = row.faults;
        NetServer server(options);
        RawClient host(Ip(subnet - 1, 0, 1), Start(server));
        UdpSocket stream;
        Bind(stream);
        OpenStream(host, stream);
        uint16_t index = 0;
        ASSERT_EQ(host.Write({kWireF7 + F7::kColorCodingId, kWireF7 + F7::kImageSize,
                              kWireF7 + F7::kImagePosition, kWireOneShot},
                             {uint32_t(row.coding) << 24, row.size, row.position, kOneShotBit},
                             index),
                  kSuccess);

        Received got = Collect(stream, 1, 300);
        FrameInfo layout = server.Registers(0).CurrentLayout();
        const std::vector<uint8_t> expected = StreamImage(layout); // number 1: the first frame
        const uint32_t perPacket = 1500 - 36;
        const uint32_t payloadPackets = uint32_t((expected.size() + perPacket - 1) / perPacket);
        ASSERT_TRUE(got.hasTrailer);
        EXPECT_EQ(got.trailerId, payloadPackets + 1);
        // Whatever the faults took is asked for again, one range per gap.
        for (int round = 0; round < 3 && got.payload.size() < payloadPackets; ++round) {
            if (!got.hasLeader) {
                host.Resend(1, 0, 0);
            }
            for (uint32_t id = 1; id <= payloadPackets; ++id) {
                if (!got.payload.count(id)) {
                    uint32_t last = id;
                    while (last < payloadPackets && !got.payload.count(last + 1)) {
                        ++last;
                    }
                    host.Resend(1, id, last);
                    id = last;
                }
            }
            got = Collect(stream, 1, 300, got);
        }
        ASSERT_TRUE(got.hasLeader);
        const ImageLeader& l = got.leader;
        EXPECT_EQ(
            (Q{row.pixelFormat, row.size >> 16, row.size & 0xFFFF, row.position >> 16,
               row.position & 0xFFFF, 1}),
            (Q{l.pixelFormat, l.sizeX, l.sizeY, l.offsetX, l.offsetY, uint32_t(layout.number)}));
        EXPECT_TRUE(Image(got) == expected) << "image bytes differ";
        EXPECT_TRUE(Eventually([&] { return server.Counters(0).framesSent == 1; }));
        const NetCounters counters = server.Counters(0);
        EXPECT_EQ(counters.packetsDropped > 0, row.faults.dropPacket > 0);
        EXPECT_EQ(counters.resendsServed > 0, row.faults.dropPacket > 0);

        // Asked again for two packets.
        host.Resend(1, 2, 3);
        Received again = Collect(stream, 1, 200);
        EXPECT_EQ(again.payload.size(), 2u);
        EXPECT_EQ(again.payload[2], got.payload[2]);
    }
}

TEST(NetServer, FaultsCutTheStreamAndEndTheServing) {
    NetOptions options = Options(Ip(20, 0, 1));
    options.maxRate = true;
    options.faults.stopFrame = 2;
    options.faults.stopAfterPackets = 5;
    NetServer server(options);
    RawClient host(Ip(20, 0, 1), Start(server));
    UdpSocket stream;
    Bind(stream);
    OpenStream(host, stream);
    ASSERT_EQ(host.Write(kWireIsoEnable, 0x80000000), kSuccess);

    // Frame 1 whole; frame 2 its leader and four payload packets, then nothing.
    const Received one = Collect(stream, 1, 300);
    EXPECT_TRUE(one.hasTrailer && one.payload.size() == 210u);
    Received two = Collect(stream, 2, 300);
    EXPECT_TRUE(two.hasLeader && !two.hasTrailer && two.payload.size() == 4u)
        << two.hasLeader << two.hasTrailer << two.payload.size();
    host.Resend(2, 5, 211);
    EXPECT_EQ(Collect(stream, 2, 200).datagrams, 0u) << "a dead stream answers no resend";
    EXPECT_EQ(Collect(stream, 3, 100).datagrams, 0u);

    // Another server that stops serving after three frames.
    NetOptions exiting = Options(Ip(20, 1, 1));
    exiting.maxRate = true;
    exiting.faults.exitAfterFrames = 3;
    NetServer ending(exiting);
    RawClient other(Ip(20, 1, 1), Start(ending));
    OpenStream(other, stream);
    ASSERT_EQ(other.Write(kWireIsoEnable, 0x80000000), kSuccess);
    EXPECT_TRUE(ending.WaitUntilFinished(std::chrono::seconds(5)));
    EXPECT_EQ(ending.Counters(0).framesSent, 3u);
    std::vector<uint32_t> values;
    EXPECT_EQ(other.Read({kRegVersion}, values), 0xFFFF) << "no answer any more";
}

TEST(NetServer, StartRefusesWhatItCannotServe) {
    struct Row {
        const char* name;
        NetOptions options;
        const char* error;
    };
    NetOptions model = Options(Ip(21, 0, 1));
    model.model = "nosuch";
    NetOptions none = Options(Ip(21, 0, 1), 0);
    NetOptions outside = Options(0x0A000001);
    const Row rows[] = {{"unknown model", model, "unknown model 'nosuch'"},
                        {"no camera", none, "no camera to serve"},
                        {"not loopback", outside, "the cameras' addresses must lie in"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        NetServer server(row.options);
        EXPECT_EQ(server.Start(), 0);
        EXPECT_NE(server.Error().find(row.error), std::string::npos) << server.Error();
    }
    // A fixed port already taken on the address.
    NetServer holder(Options(Ip(21, 1, 1)));
    NetOptions same = Options(Ip(21, 1, 1));
    same.port = Start(holder);
    ASSERT_NE(same.port, 0);
    NetServer clash(same);
    EXPECT_EQ(clash.Start(), 0);
    EXPECT_NE(clash.Error().find("Address already in use"), std::string::npos) << clash.Error();
}

} // namespace
} // namespace EmulatorTest

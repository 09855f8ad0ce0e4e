// The emulator's network side over real loopback sockets, driven by a raw client
// built on the wire codec; each test on loopback addresses of its own, ephemeral ports.
#include "EmulatorTestSupport.h"

#include "emulator/TestImage.h"
#include "emulator/net/NetServer.h"
#include "emulator/net/UdpSocket.h"
#include "gtrans/Wire.h"

#include <poll.h>

#include <map>
#include <thread>
#include <tuple>

namespace EmulatorTest {
namespace {

using namespace gvwire;
using Clock = std::chrono::steady_clock;

constexpr uint32_t Ip(unsigned b, unsigned c, unsigned d) {
    return 0x7F000000u | b << 16 | c << 8 | d;
}
constexpr uint32_t kWireCmd = 0xF0F00000;
constexpr uint32_t kWireF7 = 0xF0F08000; // Format_7 mode 0 CSRs
constexpr uint16_t kNoAnswer = 0xFFFF;

std::vector<uint8_t> Receive(const UdpSocket& socket, int ms) {
    pollfd fd{socket.Fd(), POLLIN, 0};
    std::vector<uint8_t> data(poll(&fd, 1, ms) > 0 ? 10000 : 0);
    sockaddr_in peer{};
    const long n = data.empty() ? 0 : socket.Receive(data.data(), data.size(), peer);
    data.resize(n > 0 ? size_t(n) : 0);
    return data;
}

// A host's control channel: fresh req_ids, a second at most for the matching ack.
class RawClient {
public:
    RawClient(uint32_t camera, uint16_t port) : camera_(camera), port_(port) {
        std::string error;
        EXPECT_TRUE(socket_.Bind(Ip(0, 0, 1), 0, error)) << error;
    }
    // READREG without values, else WRITEREG: the status, then the values or the index.
    std::pair<uint16_t, Q> Send(const Q& addresses, const Q& values = {}, uint16_t reqId = 0) {
        const uint16_t id = reqId != 0 ? reqId : Next();
        const size_t count = addresses.size();
        socket_.SendTo(
            out_,
            values.empty()
                ? EncodeReadRegCmd(out_, sizeof out_, id, addresses.data(), count)
                : EncodeWriteRegCmd(out_, sizeof out_, id, addresses.data(), values.data(), count),
            camera_, port_);
        for (const auto end = Clock::now() + std::chrono::seconds(1); Clock::now() < end;) {
            const std::vector<uint8_t> d = Receive(socket_, 50);
            AckHeader ack{};
            const uint8_t* p = nullptr;
            if (!ParseAck(d.data(), d.size(), ack, p) || ack.ackId != id)
                continue;
            Q got(kMaxReadRegAddresses);
            size_t n = 0;
            uint16_t index = 0;
            if (values.empty()) {
                EXPECT_TRUE(ParseReadRegAck(p, ack.length, got.data(), got.size(), n));
            } else if (ParseWriteRegAck(p, ack.length, index)) {
                got[n++] = index;
            }
            got.resize(n);
            return {ack.status, got};
        }
        return {kNoAnswer, {}};
    }
    uint32_t Read(uint32_t address) {
        const auto answer = Send({address});
        EXPECT_EQ(answer.first, kSuccess) << std::hex << address;
        return answer.second.empty() ? 0 : answer.second[0];
    }
    uint16_t Write(uint32_t address, uint32_t value, uint16_t reqId = 0) {
        return Send({address}, {value}, reqId).first;
    }
    void Resend(uint16_t block, uint32_t first, uint32_t last) {
        const size_t n = EncodePacketResendCmd(out_, sizeof out_, Next(), {0, block, first, last});
        socket_.SendTo(out_, n, camera_, port_);
    }
    uint16_t Next() { return id_ = id_ == 0xFFFF ? 1 : uint16_t(id_ + 1); }

private:
    uint32_t camera_;
    uint16_t port_;
    UdpSocket socket_;
    uint16_t id_ = 0;
    uint8_t out_[kMaxMessage];
};

struct Received {
    ImageLeader leader;
    bool hasLeader = false, hasTrailer = false;
    uint32_t trailerId = 0;
    std::map<uint32_t, std::vector<uint8_t>> payload;
    std::map<uint32_t, uint16_t> errors; // packet id -> status
    std::vector<uint8_t> Image() const {
        std::vector<uint8_t> image;
        for (const auto& p : payload)
            image.insert(image.end(), p.second.begin(), p.second.end());
        return image;
    }
};

// Until the block is whole, or `ms` milliseconds without a packet.
Received Collect(const UdpSocket& socket, uint16_t block, int ms) {
    Received got;
    while (!(got.hasTrailer && got.hasLeader && got.payload.size() + 1 == got.trailerId)) {
        const std::vector<uint8_t> d = Receive(socket, ms);
        if (d.empty())
            break;
        GvspHeader h;
        const uint8_t* body = nullptr;
        size_t length = 0;
        if (!ParseGvsp(d.data(), d.size(), h, body, length) || h.blockId != block)
            continue;
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
    return got;
}

NetOptions Options(uint32_t first, unsigned cameras = 1, const char* model = "vga-mono") {
    return NetOptions{cameras, model, first, 0, false, 1, 4, {}}; // port 0: ephemeral
}

// A served camera; Open takes control and opens the stream channel to `stream`.
struct Rig {
    explicit Rig(const NetOptions& options) : server(options), port(server.Start()) {
        EXPECT_NE(port, 0) << server.Error();
        std::string error;
        EXPECT_TRUE(stream.Bind(Ip(0, 0, 1), 0, error)) << error;
    }
    void Open(RawClient& host) {
        ASSERT_EQ(host.Write(kRegCcp, kCcpControl), kSuccess);
        ASSERT_EQ(
            host.Send({kRegScps0, kRegScda0, kRegScp0}, {1500, Ip(0, 0, 1), stream.Port()}).first,
            kSuccess);
    }
    NetServer server;
    uint16_t port;
    UdpSocket stream;
};

TEST(NetServer, RegisterAccessAnswersStatusesAndHowFarItGot) {
    Rig rig(Options(Ip(11, 0, 1)));
    RawClient host(Ip(11, 0, 1), rig.port);
    // Done: the number of values read, or the ack's index.
    const std::tuple<const char*, bool, Q, uint16_t, size_t> rows[] = {
        {"unknown bootstrap address", false, {kRegVersion, 0x0B00}, kInvalidAddress, 1},
        {"unmapped IIDC address", false, {0xFFFFFFF0}, kInvalidAddress, 0},
        {"misaligned read", false, {0x0006}, kBadAlignment, 0},
        {"read-only register", true, {kRegScpd0, kRegVersion, kRegScpd0}, kWriteProtect, 1},
        {"misaligned write", true, {0x0D0A}, kBadAlignment, 0},
        {"unknown address written", true, {0x0B00}, kInvalidAddress, 0},
        {"non-loopback destination", true, {kRegScda0}, kInvalidParameter, 0},
    };
    for (const auto& [name, write, addresses, status, done] : rows) {
        SCOPED_TRACE(name);
        const auto r = host.Send(addresses, write ? Q(addresses.size(), 0x0A000001) : Q{});
        const size_t got = write ? (r.second.empty() ? 0xFFFF : r.second[0]) : r.second.size();
        EXPECT_EQ((std::vector<size_t>{status, done}), (std::vector<size_t>{r.first, got}));
    }
    // The failed write stopped before its third pair.
    EXPECT_EQ((Q{0x0A000001u, 0}), (Q{host.Read(kRegScpd0), host.Read(kRegScda0)}));

    // A resend of a block never sent: each packet asked for is unavailable.
    rig.Open(host);
    host.Resend(999, 5, 6);
    EXPECT_EQ(Collect(rig.stream, 999, 200).errors,
              (std::map<uint32_t, uint16_t>{{5, kPacketUnavailable}, {6, kPacketUnavailable}}));
}

TEST(NetServer, ControlIsExclusiveAndLostWhenHeartbeatsStop) {
    Rig rig(Options(Ip(12, 0, 1)));
    RawClient first(Ip(12, 0, 1), rig.port), second(Ip(12, 0, 1), rig.port);

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
    EXPECT_EQ(rig.server.Counters(0).heartbeatExpiries, 1u);

    FaultOptions deny;
    deny.denyControl = true;
    rig.server.SetFaults(deny);
    EXPECT_EQ(first.Write(kRegCcp, 0), kSuccess);
    EXPECT_EQ(first.Write(kRegCcp, kCcpControl), kAccessDenied) << "control denied by fault";
}

TEST(NetServer, OneShotFramesArriveByteExactWithTheirLeader) {
    // Size and position as x << 16 | y.
    const std::tuple<const char*, const char*, uint8_t, uint32_t, uint32_t, uint32_t> rows[] = {
        {"vga AOI", "vga-mono", Emulator::kMono16, 64u << 16 | 30, 8u << 16 | 4, gvwire::kMono16},
        {"bayer Raw8", "2mp-bayer", kRaw8, 800u << 16 | 600, 0, kBayerRG8},
    };
    unsigned subnet = 13;
    for (const auto& [name, model, coding, size, position, pixelFormat] : rows) {
        SCOPED_TRACE(name);
        Rig rig(Options(Ip(subnet, 0, 1), 1, model));
        RawClient host(Ip(subnet++, 0, 1), rig.port);
        rig.Open(host);
        ASSERT_EQ(host.Send({kWireF7 + F7::kColorCodingId, kWireF7 + F7::kImageSize,
                             kWireF7 + F7::kImagePosition, kWireCmd + Cmd::kOneShot},
                            {uint32_t(coding) << 24, size, position, kOneShotBit})
                      .first,
                  kSuccess);

        const Received got = Collect(rig.stream, 1, 300);
        const FrameInfo layout = rig.server.Registers(0).CurrentLayout();
        const std::vector<uint8_t> expected = StreamImage(layout); // number 1: the first frame
        const uint32_t packets = uint32_t((expected.size() + 1500 - 36 - 1) / (1500 - 36));
        ASSERT_TRUE(got.hasLeader && got.hasTrailer);
        const ImageLeader& l = got.leader;
        EXPECT_EQ((Q{pixelFormat, size >> 16, size & 0xFFFF, position >> 16, position & 0xFFFF, 1,
                     packets + 1}),
                  (Q{l.pixelFormat, l.sizeX, l.sizeY, l.offsetX, l.offsetY, uint32_t(layout.number),
                     got.trailerId}));
        EXPECT_TRUE(got.Image() == expected) << "image bytes differ";
    }
}

TEST(NetServer, FaultsCutTheStreamAndEndTheServing) {
    NetOptions options = Options(Ip(20, 0, 1));
    options.maxRate = true;
    options.faults.stopFrame = 2;
    options.faults.stopAfterPackets = 5;
    Rig rig(options);
    RawClient host(Ip(20, 0, 1), rig.port);
    rig.Open(host);
    ASSERT_EQ(host.Write(kWireCmd + Cmd::kIsoEnable, 0x80000000), kSuccess);

    // Frame 1 whole; of frame 2 the leader and four payload packets.
    const Received one = Collect(rig.stream, 1, 300), two = Collect(rig.stream, 2, 300);
    EXPECT_EQ((std::vector<size_t>{1, 210, 1, 0, 4}),
              (std::vector<size_t>{one.hasTrailer, one.payload.size(), two.hasLeader,
                                   two.hasTrailer, two.payload.size()}));

    NetOptions exiting = Options(Ip(20, 1, 1));
    exiting.maxRate = true;
    exiting.faults.exitAfterFrames = 3;
    Rig ending(exiting);
    RawClient other(Ip(20, 1, 1), ending.port);
    ending.Open(other);
    ASSERT_EQ(other.Write(kWireCmd + Cmd::kIsoEnable, 0x80000000), kSuccess);
    EXPECT_TRUE(ending.server.WaitUntilFinished(std::chrono::seconds(5)));
    EXPECT_EQ(ending.server.Counters(0).framesSent, 3u);
    EXPECT_EQ(other.Send({kRegVersion}).first, kNoAnswer) << "no answer any more";
}

TEST(NetServer, StartRefusesWhatItCannotServe) {
    NetOptions model = Options(Ip(21, 0, 1)), clash = Options(Ip(21, 1, 1));
    model.model = "nosuch";
    NetServer holder(clash);
    clash.port = holder.Start(); // a fixed port already taken on the address
    ASSERT_NE(clash.port, 0) << holder.Error();
    const std::tuple<const char*, NetOptions, std::string> rows[] = {
        {"unknown model", model, "unknown model 'nosuch'"},
        {"no camera", Options(Ip(21, 0, 1), 0), "no camera to serve"},
        {"not loopback", Options(0x0A000001), "the cameras' addresses must lie in"},
        {"port taken", clash, "Address already in use"}};
    for (const auto& [name, options, error] : rows) {
        SCOPED_TRACE(name);
        NetServer server(options);
        EXPECT_EQ(server.Start(), 0);
        EXPECT_NE(server.Error().find(error), std::string::npos) << server.Error();
    }
}

} // namespace
} // namespace EmulatorTest

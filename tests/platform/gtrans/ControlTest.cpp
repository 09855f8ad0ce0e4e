// Transport against the in-process emulator: enumeration, register access,
// control privilege and heartbeat, and the status texts callers see.
#include <stdlib.h>

#include <chrono>
#include <functional>
#include <thread>

#include "TransportFixture.h"
#include "emulator/Model.h"

namespace GTransTest {
namespace {

using Clock = std::chrono::steady_clock;

struct Found {
    std::vector<std::pair<std::string, std::string>> devices;
};

int32_t Collect(const char* first, const char* second, void* context) {
    static_cast<Found*>(context)->devices.emplace_back(first, second);
    return 0;
}

TEST(GTransEnumeration, FindsEveryCameraInAddressOrderAndReturnsEarly) {
    struct Case {
        const char* name;
        uint32_t first;
        unsigned cameras;
        const char* list;
    } cases[] = {
        {"one camera among refused addresses", Ip(127, 0, 21, 3), 1, "127.0.21.1-127.0.21.8"},
        {"eight cameras, list given backwards", Ip(127, 0, 22, 1), 8,
         "127.0.22.8,127.0.22.7-8,127.0.22.1-6,127.0.22.40,8.8.8.8"},
        {"subnet broadcast swept", Ip(127, 0, 23, 200), 2, "127.0.23.255"},
    };
    const Emulator::ModelSpec& model = *Emulator::FindModel("vga-mono");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Emulated emu(c.first, c.cameras);
        ASSERT_NE(0, emu.port) << emu.server->Error();
        setenv("GTRANS_DISCOVERY", c.list, 1);
        Initialised init;
        Found found;
        const auto start = Clock::now();
        EXPECT_EQ(GX_OK, GxEnumServer(std::to_string(emu.port).c_str(), 5000, Collect, &found));
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500))
            << "every address answered or refused: no need to wait for the time-out";
        ASSERT_EQ(c.cameras, found.devices.size());
        for (unsigned i = 0; i < c.cameras; ++i) {
            EXPECT_EQ(Dotted(c.first + i) + ":" + emu.server->Serial(i), found.devices[i].first);
            EXPECT_EQ(std::string(model.vendorName) + " " + model.modelName,
                      found.devices[i].second);
        }
        // The first text is what GxOpen takes; the port is the enumerated one.
        GxHandle device = 0;
        ASSERT_EQ(GX_OK, GxOpen(found.devices.back().first.c_str(), 2, &device))
            << StatusText(GxOpen(found.devices.back().first.c_str(), 2, &device));
        EXPECT_EQ(GX_OK, GxClose(device));
        unsetenv("GTRANS_DISCOVERY");
    }
}

TEST(GTransEnumeration, BadArgumentsAreStatuses) {
    Initialised init;
    Found found;
    for (const char* port : {"", "0", "65536", "12a", "-1", " 80"})
        EXPECT_EQ(0xC1020002u, GxEnumServer(port, 100, Collect, &found)) << port;
    EXPECT_EQ(0xC1020002u, GxEnumServer(nullptr, 100, Collect, &found));
    EXPECT_EQ("invalid argument: port text '65536' is not a number 1..65535",
              StatusText(GxEnumServer("65536", 100, Collect, &found)));
    EXPECT_TRUE(found.devices.empty());
    GxExit();
    GxExit(); // more exits than inits are harmless
    EXPECT_EQ(0xC1020001u, GxEnumServer("61696", 100, Collect, &found));
    GxInit();
}

class GTransRegisters : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(0, emu.port) << emu.server->Error();
        ASSERT_EQ(GX_OK, GxOpen(emu.Name().c_str(), 2, &device));
    }
    void TearDown() override {
        if (device) {
            EXPECT_EQ(GX_OK, GxClose(device));
        }
    }
    Initialised init;
    Emulated emu{Ip(127, 0, 24, 1), 1};
    GxHandle device = 0;
};

TEST_F(GTransRegisters, ReadsOneAndThirtyTwoRegistersInHostOrder) {
    std::vector<uint32_t> addresses(32), values(32, 0xDEADBEEF);
    for (uint32_t i = 0; i < 32; ++i)
        addresses[i] = 0xF0000400u + 4 * i; // configuration ROM
    for (uint32_t count : {1u, 32u}) {
        SCOPED_TRACE(count);
        ASSERT_EQ(GX_OK, GxReadReg(device, addresses.data(), values.data(), count));
        for (uint32_t i = 0; i < count; ++i)
            EXPECT_EQ(emu.server->Registers(0).ReadQuadlet(0xFFFFF0000400ull + 4 * i), values[i]);
    }
}

TEST_F(GTransRegisters, WritesOneAndThirtyTwoRegisters) {
    const uint32_t brightness = 0xF0F00800u;
    const uint32_t one = 0x82000020u;
    ASSERT_EQ(GX_OK, GxWriteReg(device, &brightness, &one, 1));
    EXPECT_EQ(0x20u, emu.server->Registers(0).ReadQuadlet(0xFFFFF0F00800ull) & 0xFFF);
    std::vector<uint32_t> addresses(32, brightness), values(32);
    for (uint32_t i = 0; i < 32; ++i)
        values[i] = 0x82000000u | (i + 1);
    ASSERT_EQ(GX_OK, GxWriteReg(device, addresses.data(), values.data(), 32));
    uint32_t back = 0;
    ASSERT_EQ(GX_OK, GxReadReg(device, &brightness, &back, 1));
    EXPECT_EQ(32u, back & 0xFFF) << "pairs are written in order";
}

TEST_F(GTransRegisters, FailuresAreStatusesNamingFailureAddressAndCamera) {
    const std::string camera =
        "camera 127.0.24.1:" + std::to_string(emu.port) + " (" + emu.server->Serial(0) + ")";
    const uint32_t readOnly = gvwire::kRegGvcpCapability, bad = 0xF1000000u, value = 1;
    uint32_t got = 0x12345678;
    const GxStatus badRead = GxReadReg(device, &bad, &got, 1);
    EXPECT_EQ(0xC1038003u, badRead);
    EXPECT_EQ("camera answered INVALID_ADDRESS (0x8003): reading register 0xF1000000 of " + camera,
              StatusText(badRead));
    EXPECT_EQ(0x12345678u, got) << "no value on failure";
    const GxStatus protectedWrite = GxWriteReg(device, &readOnly, &value, 1);
    EXPECT_EQ(0xC1038004u, protectedWrite);
    EXPECT_EQ("camera answered WRITE_PROTECT (0x8004): writing register 0x00000934 of " + camera,
              StatusText(protectedWrite));
    const uint32_t pair[2] = {0xF0F00800u, readOnly}, values[2] = {0x82000001u, 1};
    EXPECT_EQ("camera answered WRITE_PROTECT (0x8004): writing register 0x00000934 (1 of 2 "
              "written before) of " +
                  camera,
              StatusText(GxWriteReg(device, pair, values, 2)));

    // Each text is read right after its call: the details are those of the
    // latest failure with that status.
    struct Case {
        const char* name;
        std::function<GxStatus()> call;
        std::string text;
    } cases[] = {
        {"count 0", [&] { return GxReadReg(device, &bad, &got, 0); },
         "invalid argument: register count 0 outside 1..32"},
        {"count 33", [&] { return GxWriteReg(device, &bad, &value, 33); },
         "invalid argument: register count 33 outside 1..32"},
        {"null values", [&] { return GxReadReg(device, &bad, nullptr, 1); },
         "invalid argument: null address or value array"},
        {"unknown handle", [&] { return GxReadReg(device + 1000, &bad, &got, 1); },
         "unknown handle: no open device with handle " + std::to_string(device + 1000)},
        {"not loopback", [&] { return GxOpen("10.0.0.1", 2, &got); },
         "device name is not a loopback IPv4 address: '10.0.0.1'"},
        {"bad port", [&] { return GxOpen("127.0.24.1:SN@0", 2, &got); },
         "device name is not a loopback IPv4 address: '127.0.24.1:SN@0'"},
        {"port out of range", [&] { return GxOpen("127.0.24.1@70000", 2, &got); },
         "device name is not a loopback IPv4 address: '127.0.24.1@70000'"},
        {"network address", [&] { return GxOpen("127.0.24.0", 2, &got); },
         "device name is not a loopback IPv4 address: '127.0.24.0'"},
        {"unknown status", [] { return 0x12345678u; }, "unknown status 0x12345678"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.text, StatusText(c.call())) << c.name;
}

TEST_F(GTransRegisters, VanishedCameraGivesATimeoutWithinTheRetries) {
    emu.server->Stop();
    const uint32_t address = 0xF0F00800u;
    uint32_t value = 0;
    const auto start = Clock::now();
    const GxStatus status = GxReadReg(device, &address, &value, 1);
    EXPECT_TRUE(status == 0xC1020004u || status == 0xC1020005u) << std::hex << status;
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
    GxClose(device); // releases nothing, but frees the handle
    device = 0;
}

TEST(GTransControl, SecondOpenerDeniedUntilTheHeartbeatsStop) {
    Initialised init;
    Emulated emu(Ip(127, 0, 25, 1), 1);
    ASSERT_NE(0, emu.port);
    const uint32_t camera = emu.server->Address(0);
    GxHandle first = 0, second = 0;
    ASSERT_EQ(GX_OK, GxOpen(emu.Name().c_str(), 2, &first));
    // A short heartbeat time-out: the library's heartbeat must keep control.
    const uint32_t heartbeat = gvwire::kRegHeartbeatTimeout, shortTimeout = 500;
    ASSERT_EQ(GX_OK, GxWriteReg(first, &heartbeat, &shortTimeout, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    const GxStatus denied = GxOpen(emu.Name().c_str(), 2, &second);
    EXPECT_EQ(0xC1038006u, denied);
    EXPECT_NE(std::string::npos, StatusText(denied).find("ACCESS_DENIED"));
    EXPECT_EQ(0u, second);
    RawHost other(camera, emu.port);
    EXPECT_EQ(gvwire::kAccessDenied, other.Write(gvwire::kRegCcp, gvwire::kCcpControl));
    EXPECT_EQ(GX_OK, GxClose(first));
    EXPECT_EQ(0xC1020003u, GxClose(first)) << "a closed handle is unknown";

    // A host that takes control and then falls silent loses it after the time-out.
    ASSERT_EQ(gvwire::kSuccess, other.Write(gvwire::kRegCcp, gvwire::kCcpControl));
    ASSERT_EQ(gvwire::kSuccess, other.Write(heartbeat, shortTimeout));
    EXPECT_EQ(0xC1038006u, GxOpen(emu.Name().c_str(), 2, &second));
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    ASSERT_EQ(GX_OK, GxOpen(emu.Name().c_str(), 2, &second));
    EXPECT_NE(first, second) << "handles are not reused";
    EXPECT_EQ(GX_OK, GxClose(second));
}

} // namespace
} // namespace GTransTest

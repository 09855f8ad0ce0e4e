// The transport against the in-process emulator: enumeration, registers, control, texts.
#include <stdlib.h>

#include <chrono>
#include <functional>
#include <thread>
#include <tuple>

#include "TransportFixture.h"
#include "emulator/Model.h"

namespace GTransTest {
namespace {

using Clock = std::chrono::steady_clock;
using Texts = std::vector<std::pair<std::string, std::string>>;

int32_t Collect(const char* first, const char* second, void* context) {
    static_cast<Texts*>(context)->emplace_back(first, second);
    return 0;
}

TEST(GTransEnumeration, FindsEveryCameraInAddressOrderAndReturnsEarly) {
    // Name, first camera, cameras, GTRANS_DISCOVERY list.
    const std::tuple<const char*, uint32_t, unsigned, const char*> rows[] = {
        {"one camera among refused addresses", Ip(127, 0, 21, 3), 1, "127.0.21.1-127.0.21.8"},
        {"eight cameras, list given backwards", Ip(127, 0, 22, 1), 8,
         "127.0.22.8,127.0.22.7-8,127.0.22.1-6,127.0.22.40,8.8.8.8"},
        {"subnet broadcast swept", Ip(127, 0, 23, 200), 2, "127.0.23.255"},
    };
    const Emulator::ModelSpec& model = *Emulator::FindModel("vga-mono");
    for (const auto& [name, first, cameras, list] : rows) {
        SCOPED_TRACE(name);
        Emulated emu(first, cameras);
        setenv("GTRANS_DISCOVERY", list, 1);
        Initialised init;
        Texts found, expected;
        for (unsigned i = 0; i < cameras; ++i)
            expected.emplace_back(Dotted(first + i) + ":" + emu.server->Serial(i),
                                  std::string(model.vendorName) + " " + model.modelName);
        const auto start = Clock::now();
        EXPECT_EQ(GX_OK, GxEnumServer(std::to_string(emu.port).c_str(), 5000, Collect, &found));
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500))
            << "every address answered or refused: no need to wait for the time-out";
        ASSERT_EQ(expected, found);
        // The first text is what GxOpen takes; the port is the enumerated one.
        GxHandle device = 0;
        ASSERT_EQ(GX_OK, GxOpen(found.back().first.c_str(), 2, &device));
        EXPECT_EQ(GX_OK, GxClose(device));
        unsetenv("GTRANS_DISCOVERY");
    }
}

TEST(GTransEnumeration, BadArgumentsAreStatuses) {
    Initialised init;
    Texts found;
    for (const char* port : {"", "0", "65536", "12a", "-1", " 80"})
        EXPECT_EQ(0xC1020002u, GxEnumServer(port, 100, Collect, &found)) << port;
    EXPECT_EQ(0xC1020002u, GxEnumServer(nullptr, 100, Collect, &found));
    EXPECT_EQ("invalid argument: port text '65536' is not a number 1..65535",
              StatusText(GxEnumServer("65536", 100, Collect, &found)));
    EXPECT_TRUE(found.empty());
    GxExit();
    GxExit(); // more exits than inits are harmless
    EXPECT_EQ(0xC1020001u, GxEnumServer("61696", 100, Collect, &found));
    GxInit();
}

class GTransRegisters : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(GX_OK, GxOpen(emu.Name().c_str(), 2, &device)); }
    void TearDown() override {
        if (device != 0) {
            EXPECT_EQ(GX_OK, GxClose(device));
        }
    }
    uint32_t Camera(uint32_t wire) {
        return emu.server->Registers(0).ReadQuadlet(0xFFFF00000000ull | wire);
    }
    Initialised init;
    Emulated emu{Ip(127, 0, 24, 1), 1};
    GxHandle device = 0;
};

TEST_F(GTransRegisters, ReadsAndWritesUpToThirtyTwoRegistersInOrder) {
    std::vector<uint32_t> rom, values(32, 0xDEADBEEF), expected;
    for (uint32_t i = 0; i < 32; ++i) {
        rom.push_back(0xF0000400u + 4 * i); // configuration ROM
        expected.push_back(Camera(rom[i]));
    }
    ASSERT_EQ(GX_OK, GxReadReg(device, rom.data(), values.data(), 32));
    EXPECT_EQ(expected, values);
    const uint32_t brightness = 0xF0F00800u;
    std::vector<uint32_t> addresses(32, brightness);
    for (uint32_t i = 0; i < 32; ++i)
        values[i] = 0x82000000u | (i + 1);
    ASSERT_EQ(GX_OK, GxWriteReg(device, addresses.data(), values.data(), 32));
    EXPECT_EQ(32u, Camera(brightness) & 0xFFF) << "pairs are written in order";
}

TEST_F(GTransRegisters, FailuresAreStatusesNamingFailureAddressAndCamera) {
    const std::string camera = " of " + emu.Camera();
    const uint32_t readOnly = gvwire::kRegGvcpCapability, bad = 0xF1000000u, value = 1;
    const uint32_t pair[2] = {0xF0F00800u, readOnly}, values[2] = {0x82000001u, 1};
    uint32_t got = 0x12345678;
    GxHandle opened = 99;
    // Each text is read right after its call: the details are those of the
    // latest failure with that status.
    const std::tuple<const char*, std::function<GxStatus()>, GxStatus, std::string> rows[] = {
        {"unmapped read", [&] { return GxReadReg(device, &bad, &got, 1); }, 0xC1038003u,
         "camera answered INVALID_ADDRESS (0x8003): reading register 0xF1000000" + camera},
        {"read-only write", [&] { return GxWriteReg(device, &readOnly, &value, 1); }, 0xC1038004u,
         "camera answered WRITE_PROTECT (0x8004): writing register 0x00000934" + camera},
        {"second of two", [&] { return GxWriteReg(device, pair, values, 2); }, 0xC1038004u,
         "camera answered WRITE_PROTECT (0x8004): writing register 0x00000934 (1 of 2 written "
         "before)" +
             camera},
        {"count 0", [&] { return GxReadReg(device, &bad, &got, 0); }, 0xC1020002u,
         "invalid argument: register count 0 outside 1..32"},
        {"count 33", [&] { return GxWriteReg(device, &bad, &value, 33); }, 0xC1020002u,
         "invalid argument: register count 33 outside 1..32"},
        {"null values", [&] { return GxReadReg(device, &bad, nullptr, 1); }, 0xC1020002u,
         "invalid argument: null address or value array"},
        {"unknown handle", [&] { return GxReadReg(device + 1000, &bad, &got, 1); }, 0xC1020003u,
         "unknown handle: no open device with handle " + std::to_string(device + 1000)},
        {"not loopback", [&] { return GxOpen("10.0.0.1", 2, &opened); }, 0xC1020007u,
         "device name is not a loopback IPv4 address: '10.0.0.1'"},
        {"bad port", [&] { return GxOpen("127.0.24.1:SN@0", 2, &opened); }, 0xC1020007u,
         "device name is not a loopback IPv4 address: '127.0.24.1:SN@0'"},
        {"port out of range", [&] { return GxOpen("127.0.24.1@70000", 2, &opened); }, 0xC1020007u,
         "device name is not a loopback IPv4 address: '127.0.24.1@70000'"},
        {"network address", [&] { return GxOpen("127.0.24.0", 2, &opened); }, 0xC1020007u,
         "device name is not a loopback IPv4 address: '127.0.24.0'"},
        {"unknown status", [] { return 0x12345678u; }, 0x12345678u, "unknown status 0x12345678"},
    };
    for (const auto& [name, call, status, text] : rows) {
        SCOPED_TRACE(name);
        const GxStatus got = call();
        EXPECT_EQ(std::make_pair(status, text), std::make_pair(got, StatusText(got)));
    }
    EXPECT_EQ((std::vector<uint32_t>{0x12345678u, 0}), (std::vector<uint32_t>{got, opened}))
        << "no value and no handle on failure";
}

// A camera that is gone answers "unreachable" (or, if the refusal is lost,
// the time-out) within the tries, never later.
TEST_F(GTransRegisters, VanishedCameraGivesUnreachableOrATimeoutWithinTheRetries) {
    emu.server->Stop();
    const uint32_t address = 0xF0F00800u;
    uint32_t value = 0;
    const auto start = Clock::now();
    const GxStatus status = GxReadReg(device, &address, &value, 1);
    EXPECT_TRUE(status == 0xC1020004u || status == 0xC1020005u) << std::hex << status;
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
    // Closing cannot release control, but it frees the handle all the same.
    EXPECT_EQ(0xC1020005u, GxClose(device));
    EXPECT_EQ(0xC1020003u, GxClose(device));
    device = 0;
}

TEST_F(GTransRegisters, LostOrLateAcksAreRetriedOrTimedOut) {
    // Name, probabilities of a lost, a doubled and a stray ack, delay of all.
    const std::tuple<const char*, double, double, double, uint32_t> rows[] = {
        {"a third of the acks lost", 0.3, 0, 0, 0},    {"every ack twice", 0, 1, 0, 0},
        {"stray acks for other requests", 0, 0, 1, 0}, {"acks later than one try", 0, 0, 0, 300},
        {"acks later than every try", 0, 0, 0, 800},
    };
    const uint32_t brightness = 0xF0F00800u, expected = Camera(brightness);
    const std::string timeout = "camera did not answer: reading register 0xF0F00800 on " +
                                emu.Camera() + ": no answer after 3 tries of 200 ms";
    for (const auto& [name, lost, twice, stray, delayMs] : rows) {
        SCOPED_TRACE(name);
        Emulator::FaultOptions faults;
        faults.dropAck = lost;
        faults.duplicateAck = twice;
        faults.strayAck = stray;
        faults.ackDelayMs = delayMs;
        emu.server->SetFaults(faults);
        const bool answered = delayMs < 600;
        for (int i = 0; i < 3; ++i) {
            uint32_t value = 0xDEADBEEF;
            const auto start = Clock::now();
            const GxStatus status = GxReadReg(device, &brightness, &value, 1);
            EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
            // Late answers to earlier reads are not taken.
            EXPECT_EQ(answered ? std::make_tuple(GxStatus(GX_OK), std::string(), expected)
                               : std::make_tuple(GxStatus(0xC1020004u), timeout, 0xDEADBEEFu),
                      std::make_tuple(status, status ? StatusText(status) : std::string(), value));
        }
        emu.server->SetFaults(Emulator::FaultOptions{});
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    }
}

TEST(GTransControl, TheLibraryHeartbeatKeepsControlUntilClosed) {
    Initialised init;
    Emulated emu(Ip(127, 0, 25, 1), 1);
    GxHandle first = 0, second = 0;
    ASSERT_EQ(GX_OK, GxOpen(emu.Name().c_str(), 2, &first));
    // The library's heartbeat must keep control through a short time-out.
    const uint32_t heartbeat = gvwire::kRegHeartbeatTimeout, shortTimeout = 500;
    ASSERT_EQ(GX_OK, GxWriteReg(first, &heartbeat, &shortTimeout, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    const GxStatus denied = GxOpen(emu.Name().c_str(), 2, &second);
    EXPECT_EQ(0xC1038006u, denied);
    EXPECT_NE(std::string::npos, StatusText(denied).find("ACCESS_DENIED"));
    EXPECT_EQ(0u, second);
    EXPECT_EQ(GX_OK, GxClose(first));
    EXPECT_EQ(0xC1020003u, GxClose(first)) << "a closed handle is unknown";
    ASSERT_EQ(GX_OK, GxOpen(emu.Name().c_str(), 2, &second));
    EXPECT_NE(first, second) << "handles are not reused";
    EXPECT_EQ(GX_OK, GxClose(second));
}

} // namespace
} // namespace GTransTest

// The transport delegate over the recording transport (CameraRig).
#include <climits>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "gxdevice/DeviceIoException.h"
#include "gxdevice/Gx.h"
#include "support/transport/CameraRig.h"

using namespace KacqTest;
using Args = std::vector<uint64_t>;
using Names = std::vector<std::string>;
using Cam = XCamera::CGxCamera;

namespace {

constexpr int64_t kInqAddress = 0xFFFFF0F00800;

using GxDelegateTest = CameraTest;

void Access(Cam& camera, bool write, int64_t address, int64_t length, uint8_t* buffer) {
    NodeApi::IPort& port = *camera.GetDelegate().GetCameraPort();
    write ? port.Write(buffer, address, length) : port.Read(buffer, address, length);
}

TEST_F(GxDelegateTest, RegistersMoveInChunksOfAtMost32Quadlets) {
    // Write?, bytes, quadlets of each call.
    const std::tuple<const char*, bool, int64_t, Args> cases[] = {
        {"read 8", false, 8, {2}},         {"read 132", false, 132, {32, 1}},
        {"write 132", true, 132, {32, 1}}, {"read 0", false, 0, {}},
        {"write 0", true, 0, {}},
    };
    for (const auto& [name, write, length, counts] : cases) {
        auto camera = NewCamera();
        std::vector<uint8_t> buffer(static_cast<size_t>(length) + 1);
        Access(*camera, write, kInqAddress, length, buffer.data());
        std::vector<Args> expected, got;
        uint32_t next = 0xF0F00800u;
        for (uint64_t count : counts) {
            expected.push_back({0x11, count});
            for (uint64_t q = 0; q < count; ++q, next += 4)
                expected.back().push_back(next);
            expected.back().resize(write ? 2 + 2 * count : 2 + count, 0);
        }
        for (const auto& call : Tr().Calls)
            got.push_back(call.Args);
        EXPECT_EQ(expected, got) << name;
        EXPECT_EQ(Names(counts.size(), write ? "GxWriteReg" : "GxReadReg"), Tr().Names()) << name;
    }
}

TEST_F(GxDelegateTest, RegisterBytesAreMostSignificantFirst) {
    auto camera = NewCamera();
    Tr().Overrides = {{0xF0F00800u, 1}, {0xF0F00804u, 0x11223344}};
    std::vector<uint8_t> read(8);
    Access(*camera, false, kInqAddress, 8, read.data());
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 1, 0x11, 0x22, 0x33, 0x44}), read);
    // The upper 32 bits of an address are dropped; the caller's bytes stay.
    uint8_t source[4] = {0x12, 0x34, 0x56, 0x78};
    Access(*camera, true, 0x7FFFF0F00614, 4, source);
    EXPECT_EQ((Args{0x11, 1, 0xF0F00614u, 0x12345678u}), Tr().CallsOf("GxWriteReg").at(0).Args);
    EXPECT_EQ(0x12, source[0]);
}

TEST_F(GxDelegateTest, RegisterAccessErrors) {
    const std::string multiple = " length must be integral numbered multiple of 4";
    const std::string range = "Length out of range 0..INT_MAX * 4";
    const auto arg = [](const std::string& text, uint32_t line) {
        return Where("InvalidArgument", text, kDelegateSource, line);
    };
    const std::string closed = Where("LogicalError", "Device not open", kBaseSource, 287);
    const int64_t tooLong = (int64_t{INT_MAX} + 1) * 4;
    const std::tuple<const char*, bool, bool, int64_t, uint32_t, std::string> cases[] = {
        {"read 6", true, false, 6, 0, arg("ReadReg" + multiple, 106)},
        {"read -4", true, false, -4, 0, arg(range, 108)},
        {"read past INT_MAX quadlets", true, false, tooLong, 0, arg(range, 108)},
        {"write 6", true, true, 6, 0, arg("WriteReg" + multiple, 147)},
        {"write -4", true, true, -4, 0, arg(range, 149)},
        {"read closed, before the length check", false, false, 6, 0, closed},
        {"write closed", false, true, 4, 0, closed},
        {"read fails", true, false, 4, kLinkDown, Io(124)},
        {"write fails", true, true, 4, kLinkDown, Io(182)},
    };
    for (const auto& [name, open, write, length, status, raised] : cases) {
        auto camera = NewCamera(open);
        Tr().Script(write ? "GxWriteReg" : "GxReadReg", {status});
        uint8_t buffer[8] = {};
        EXPECT_EQ(raised, RaisedWhere([&, w = write, n = length] {
                      Access(*camera, w, kInqAddress, n, buffer);
                  }));
        EXPECT_EQ(status != 0, !Tr().Calls.empty()) << name << ": a transport call";
    }
}

TEST_F(GxDelegateTest, DataDepthChoosesTheSixteenBitFlag) {
    // Depth (top byte of mode 0's data depth register), sixteen-bit flag.
    const uint32_t cases[][2] = {{12, 1}, {8, 0}, {2, 1}, {16, 1}, {24, 0}, {1, 0}};
    for (const auto& c : cases) {
        auto camera = NewCamera();
        Tr().Overrides[0xF0F08054u] = c[0] << 24;
        camera->PrepareGrab();
        const auto alloc = Tr().CallsOf("GxStreamGrabberAllocResourcesEx");
        ASSERT_EQ(1u, alloc.size());
        const uint64_t bytes = static_cast<uint64_t>(camera->TotalBytes->GetValue());
        EXPECT_EQ((std::vector<Args>{{0x22, 50, bytes, 1, 1500, c[1]}, {0x11, 0, 0x5A, 1500}}),
                  (std::vector<Args>{alloc[0].Args, Tr().CallsOf("GxOpenStream").at(0).Args}))
            << "depth " << c[0];
    }
}

// Held flags, then grabbers destroyed / streams closed / transport starts less stops.
std::string State(Cam& camera) {
    const auto count = [](const char* function) {
        return static_cast<int>(RecordingTransport::Instance().CallsOf(function).size());
    };
    return std::string(camera.IsOpen() ? "open " : "closed ") +
           (camera.IsPrepared() ? "prepared " : "") +
           (camera.GetDelegate().GetGrabberHandle() != 0 ? "grabber " : "") +
           std::to_string(count("GxStreamGrabberDestroy")) + "/" +
           std::to_string(count("GxCloseStream")) + "/" +
           std::to_string(count("GxInit") - count("GxExit"));
}

TEST_F(GxDelegateTest, TransportFailuresRaiseTheirLineAndLeaveAConsistentState) {
    const auto prepare = [](Cam& c) { c.PrepareGrab(); };
    const auto closeStream = [](Cam& c) { c.GetDelegate().CloseStream(); };
    uint8_t frame[16];
    const std::tuple<const char*, const char*, std::function<void(Cam&)>, uint32_t, const char*>
        cases[] = {
            {"open", "GxStreamGrabberCreate", prepare, 199, "open 0/0/0"},
            {"open", "GxStreamGrabberAllocResourcesEx", prepare, 231, "open 1/0/0"},
            {"open", "GxStreamGrabberGetAddress", prepare, 236, "open 1/0/0"},
            {"open", "GxOpenStream", prepare, 240, "open 1/0/0"},
            {"open", "GxReadReg", prepare, 124, "open 1/0/0"}, // TotalBytes
            {"stream", "GxStreamGrabberDestroy", closeStream, 334, "open 1/1/0"},
            {"stream", "GxCloseStream", closeStream, 339, "open 1/1/0"},
            {"prepared", "GxStreamGrabberWaitForBuffer",
             [](Cam& c) { c.RetrieveBuffer(nullptr, nullptr, 0); }, 313,
             "open prepared grabber 0/0/0"},
            {"prepared", "GxStreamGrabberReceiveAsync",
             [&](Cam& c) { c.QueueBuffer(16, frame, 8); }, 263, "open prepared grabber 0/0/0"},
            {"prepared", "GxStreamGrabberFlush", [](Cam& c) { c.CancelGrab(); }, 272,
             "open prepared grabber 0/0/0"},
            {"open", "GxClose", [](Cam& c) { c.Close(); }, 95, "closed 0/0/-1"},
            {"closed", "GxOpen", [](Cam& c) { c.Open(); }, 74, "closed 0/0/0"},
        };
    for (const auto& [before, function, action, line, after] : cases) {
        auto camera = NewCamera(std::string(before) != "closed");
        if (std::string(before) == "stream")
            camera->GetDelegate().OpenStream();
        if (std::string(before) == "prepared")
            camera->PrepareGrab();
        Tr().Calls.clear();
        Tr().Script(function, std::vector<uint32_t>(8, kLinkDown));
        EXPECT_EQ(Io(line), RaisedWhere([&camera, &act = action] { act(*camera); })) << function;
        EXPECT_EQ(after, State(*camera)) << function;
    }
}

TEST_F(GxDelegateTest, StreamCallsCarryTheirArguments) {
    auto camera = NewCamera();
    camera->GetDelegate().CloseStream();
    EXPECT_TRUE(Tr().Calls.empty()) << "closing without a grabber calls nothing";
    camera->PrepareGrab();
    uint8_t frame[16];
    camera->QueueBuffer(sizeof frame, frame, 7);
    camera->RetrieveBuffer(nullptr, nullptr, 5);
    EXPECT_EQ((std::vector<Args>{{0x22, reinterpret_cast<uintptr_t>(frame), 16, 0}, {0x22, 5}}),
              (std::vector<Args>{Tr().CallsOf("GxStreamGrabberReceiveAsync").at(0).Args,
                                 Tr().CallsOf("GxStreamGrabberWaitForBuffer").at(0).Args}));
}

TEST_F(GxDelegateTest, OpenAndCloseDevice) {
    auto camera = NewCamera(false);
    EXPECT_EQ(NodeApi::NP, camera->GetDelegate().GetAccessMode());
    camera->Open();
    camera->Open();
    EXPECT_EQ((Names{"GxInit", "GxOpen"}), Tr().Names()) << "opened once";
    EXPECT_EQ("127.0.0.2:eXcite 2",
              Tr().Calls[1].Text + " " + std::to_string(Tr().Calls[1].Args[0]));
    EXPECT_EQ(NodeApi::RW, camera->GetDelegate().GetAccessMode());
    camera->Close();
    Tr().Calls.clear();
    camera->Close();
    EXPECT_TRUE(Tr().Calls.empty()) << "closing a closed device does nothing";
    Tr().Script("GxInit", {kLinkDown});
    EXPECT_EQ(Where("DeviceIo", TextOf(kLinkDown), "gxdevice/Gx", 23),
              RaisedWhere([&] { camera->Open(); }));
}

TEST_F(GxDelegateTest, StatusTexts) {
    const std::string longText(300, 'x');
    const std::string fatal = "<Fatal error while retrieving GX status message (0x";
    // Text, NeedStep, AlwaysTooSmall, Unterminated, message call's failure, text, calls.
    using Row =
        std::tuple<const char*, std::string, uint32_t, bool, bool, uint32_t, std::string, size_t>;
    const Row cases[] = {
        {"short", "link down", 0, false, false, 0, "link down", 2},
        {"longer than every guess", longText, 64, false, false, 0, longText, 6},
        {"never fits", "link down", 0, true, false, 0, fatal + "8101000b)>", 9},
        {"call fails", "link down", 0, false, false, 0xC0000007u, fatal + "c0000007)>", 1},
        {"no text", "", 0, false, false, 0, "<NULL>", 1},
        {"not terminated", "abc", 0, false, true, 0, "abc", 2},
    };
    for (const auto& [name, text, step, tooSmall, unterminated, failure, expected, calls] : cases) {
        Tr().Reset();
        Tr().StatusTexts[kLinkDown] = text;
        Tr().NeedStep = step;
        Tr().AlwaysTooSmall = tooSmall;
        Tr().Unterminated = unterminated;
        Tr().Script("GxGetStatusMessage", {failure});
        const std::string got = XCamera::GetStatusText(kLinkDown);
        EXPECT_EQ(expected + " in " + std::to_string(calls),
                  got + " in " + std::to_string(Tr().Calls.size()))
            << name;
    }
    Tr().Reset();
    Tr().StatusTexts[kLinkDown] = longText;
    EXPECT_EQ(std::string(255, 'x'),
              XCamera::DeviceIoException(kLinkDown, kDelegateSource, 1).GetDescription());
}

} // namespace

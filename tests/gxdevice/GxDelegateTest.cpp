// Transport delegate over the recording transport: register chunking and byte
// order, length checks, stream set-up and tear-down, status texts.
#include <climits>
#include <cstring>
#include <vector>

#include "gxdevice/DeviceIoException.h"
#include "gxdevice/Gx.h"
#include "support/transport/CameraRig.h"

using namespace KacqTest;
using NodeApi::InvalidArgumentException;
using NodeApi::LogicalErrorException;
using XCamera::DeviceIoException;

namespace {

constexpr uint32_t kLinkDown = 0xC0000042u;
constexpr int64_t kInqAddress = 0xFFFFF0F00800;

using GxDelegateTest = CameraTest;

TEST_F(GxDelegateTest, RegistersMoveInChunksOfAtMost32Quadlets) {
    struct Case {
        const char* name;
        bool write;
        int64_t length;
        std::vector<uint64_t> counts;
    } cases[] = {
        {"read 8 bytes", false, 8, {2}},         {"read 132 bytes", false, 132, {32, 1}},
        {"write 132 bytes", true, 132, {32, 1}}, {"read 0 bytes", false, 0, {}},
        {"write 0 bytes", true, 0, {}},
    };
    for (const auto& c : cases) {
        auto camera = NewCamera();
        auto& port = *camera->GetDelegate().GetCameraPort();
        std::vector<uint8_t> buffer(static_cast<size_t>(c.length) + 1);
        if (c.write)
            port.Write(buffer.data(), kInqAddress, c.length);
        else
            port.Read(buffer.data(), kInqAddress, c.length);
        const auto calls = Tr().CallsOf(c.write ? "GxWriteReg" : "GxReadReg");
        ASSERT_EQ(c.counts.size(), calls.size()) << c.name;
        uint32_t next = 0xF0F00800u;
        for (size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(0x11u, calls[i].Args[0]) << c.name << ": device handle";
            ASSERT_EQ(c.counts[i], calls[i].Args[1]) << c.name;
            for (uint64_t q = 0; q < c.counts[i]; ++q, next += 4)
                EXPECT_EQ(next, calls[i].Args[2 + q]) << c.name << " chunk " << i;
        }
        EXPECT_EQ(Tr().Calls.size(), calls.size()) << c.name << ": nothing else called";
    }
}

TEST_F(GxDelegateTest, RegisterBytesAreMostSignificantFirst) {
    auto camera = NewCamera();
    auto& port = *camera->GetDelegate().GetCameraPort();
    Tr().Overrides[0xF0F00800u] = 1;
    Tr().Overrides[0xF0F00804u] = 0x11223344;
    uint8_t read[8] = {};
    port.Read(read, kInqAddress, 8);
    const uint8_t expected[8] = {0, 0, 0, 1, 0x11, 0x22, 0x33, 0x44};
    EXPECT_EQ(0, std::memcmp(expected, read, 8));

    // The upper 32 bits of an address are dropped; the caller's bytes stay.
    const uint8_t source[4] = {0x12, 0x34, 0x56, 0x78};
    port.Write(source, 0x7FFFF0F00614, 4);
    const auto write = Tr().CallsOf("GxWriteReg").at(0);
    EXPECT_EQ((std::vector<uint64_t>{0x11, 1, 0xF0F00614u, 0x12345678u}), write.Args);
    EXPECT_EQ(0x12, source[0]);
}

TEST_F(GxDelegateTest, RegisterAccessErrors) {
    const char* kMultiple = " length must be integral numbered multiple of 4";
    const char* kRange = "Length out of range 0..INT_MAX * 4";
    const auto arg = [](std::string text, uint32_t line) {
        return Where("InvalidArgument", text, kDelegateSource, line);
    };
    const std::string closed = Where("LogicalError", "Device not open", kBaseSource, 287);
    const auto io = [](uint32_t line) {
        return Where("DeviceIo", "link down", kDelegateSource, line);
    };
    struct Case {
        const char* name;
        bool open, write;
        int64_t length;
        uint32_t transportStatus;
        std::string raised;
    } cases[] = {
        {"read length 6", true, false, 6, 0, arg(std::string("ReadReg") + kMultiple, 106)},
        {"read length -4", true, false, -4, 0, arg(kRange, 108)},
        {"read past INT_MAX quadlets", true, false, (int64_t{INT_MAX} + 1) * 4, 0,
         arg(kRange, 108)},
        {"write length 6", true, true, 6, 0, arg(std::string("WriteReg") + kMultiple, 147)},
        {"write length -4", true, true, -4, 0, arg(kRange, 149)},
        {"read closed, before the length check", false, false, 6, 0, closed},
        {"write closed", false, true, 4, 0, closed},
        {"read fails", true, false, 4, kLinkDown, io(124)},
        {"write fails", true, true, 4, kLinkDown, io(182)},
    };
    for (const auto& c : cases) {
        auto camera = NewCamera(c.open);
        Tr().StatusTexts[kLinkDown] = "link down";
        if (c.transportStatus != 0)
            Tr().Script(c.write ? "GxWriteReg" : "GxReadReg", {c.transportStatus});
        auto& port = *camera->GetDelegate().GetCameraPort();
        uint8_t buffer[8] = {};
        EXPECT_EQ(c.raised, RaisedWhere([&] {
                      if (c.write)
                          port.Write(buffer, kInqAddress, c.length);
                      else
                          port.Read(buffer, kInqAddress, c.length);
                  }))
            << c.name;
        if (c.transportStatus == 0) {
            EXPECT_TRUE(Tr().Calls.empty()) << c.name << ": no transport call";
        }
    }
}

TEST_F(GxDelegateTest, DataDepthChoosesTheSixteenBitFlag) {
    // Format 7 mode 0's data depth register, as the transport addresses it.
    constexpr uint32_t kDataDepthAddress = 0xF0F08054u;
    struct Case {
        uint32_t depth;
        uint64_t flag;
    } cases[] = {{12, 1}, {8, 0}, {2, 1}, {16, 1}, {24, 0}, {1, 0}};
    for (const auto& c : cases) {
        auto camera = NewCamera();
        Tr().Overrides[kDataDepthAddress] = c.depth << 24; // the field is the top byte
        camera->PrepareGrab();
        const auto alloc = Tr().CallsOf("GxStreamGrabberAllocResourcesEx");
        ASSERT_EQ(1u, alloc.size());
        const uint64_t totalBytes = static_cast<uint64_t>(camera->TotalBytes->GetValue());
        EXPECT_EQ((std::vector<uint64_t>{0x22, 50, totalBytes, 1, 1500, c.flag}), alloc[0].Args)
            << "depth " << c.depth;
        EXPECT_EQ((std::vector<uint64_t>{0x11, 0, 0x5A, 1500}),
                  Tr().CallsOf("GxOpenStream").at(0).Args);
        EXPECT_TRUE(camera->IsPrepared());
    }
}

TEST_F(GxDelegateTest, FailingStreamSetUpDestroysTheGrabber) {
    struct Case {
        const char* function;
        uint32_t line;
        bool destroyed;
    } cases[] = {
        {"GxStreamGrabberCreate", 199, false},
        {"GxStreamGrabberAllocResourcesEx", 231, true},
        {"GxStreamGrabberGetAddress", 236, true},
        {"GxOpenStream", 240, true},
        {"GxReadReg", 124, true}, // reading TotalBytes fails
    };
    for (const auto& c : cases) {
        auto camera = NewCamera();
        Tr().Script(c.function, std::vector<uint32_t>(8, kLinkDown));
        EXPECT_EQ(Where("DeviceIo", TextOf(kLinkDown), kDelegateSource, c.line),
                  RaisedWhere([&] { camera->PrepareGrab(); }))
            << c.function;
        EXPECT_EQ(c.destroyed ? 1u : 0u, Tr().CallsOf("GxStreamGrabberDestroy").size())
            << c.function;
        EXPECT_EQ(0u, camera->GetDelegate().GetGrabberHandle()) << c.function;
        EXPECT_FALSE(camera->IsPrepared()) << c.function;
    }
}

TEST_F(GxDelegateTest, CloseStream) {
    auto camera = NewCamera();
    auto& delegate = camera->GetDelegate();
    delegate.CloseStream();
    EXPECT_TRUE(Tr().Calls.empty()) << "without a grabber nothing is called";

    struct Case {
        const char* function;
        uint32_t line;
    } cases[] = {{"GxStreamGrabberDestroy", 334}, {"GxCloseStream", 339}};
    for (const auto& c : cases) {
        delegate.OpenStream();
        Tr().Calls.clear();
        Tr().Script(c.function, {kLinkDown});
        EXPECT_EQ(Where("DeviceIo", TextOf(kLinkDown), kDelegateSource, c.line),
                  RaisedWhere([&] { delegate.CloseStream(); }))
            << c.function;
        EXPECT_EQ((std::vector<std::string>{"GxStreamGrabberDestroy", "GxCloseStream",
                                            "GxGetStatusMessage", "GxGetStatusMessage"}),
                  Tr().Names())
            << c.function << ": the stream is closed in either case";
        EXPECT_EQ(0u, delegate.GetGrabberHandle());
    }
}

TEST_F(GxDelegateTest, StreamStatusesAndFailures) {
    auto camera = NewCamera();
    camera->PrepareGrab();
    uint8_t frame[16];
    camera->QueueBuffer(sizeof frame, frame, 7);
    EXPECT_EQ((std::vector<uint64_t>{0x22, reinterpret_cast<uintptr_t>(frame), 16, 0}),
              Tr().CallsOf("GxStreamGrabberReceiveAsync").at(0).Args);

    struct Case {
        uint32_t status;
        XCamera::ERetrieveResult result;
    } outcomes[] = {{0xC1010005u, XCamera::RetrieveFlushed},
                    {0xC1010001u, XCamera::RetrieveTimedOut},
                    {0x41010012u, XCamera::RetrieveIncomplete}};
    for (const auto& c : outcomes) {
        Tr().Script("GxStreamGrabberWaitForBuffer", {c.status});
        void* buffer = frame;
        uint32_t context = 99;
        EXPECT_EQ(c.result, camera->RetrieveBuffer(&buffer, &context, 5));
        EXPECT_EQ(nullptr, buffer) << "nothing handed back";
        EXPECT_EQ(0u, context);
    }
    void* buffer = nullptr;
    uint32_t context = 0;
    EXPECT_EQ(XCamera::RetrieveFilled, camera->RetrieveBuffer(&buffer, &context, 5));
    EXPECT_EQ(frame, buffer);
    EXPECT_EQ(7u, context);
    EXPECT_EQ(5u, Tr().CallsOf("GxStreamGrabberWaitForBuffer").back().Args[1]) << "time-out";

    Tr().Script("GxStreamGrabberWaitForBuffer", {kLinkDown});
    EXPECT_EQ(Where("DeviceIo", TextOf(kLinkDown), kDelegateSource, 313),
              RaisedWhere([&] { camera->RetrieveBuffer(nullptr, nullptr, 0); }))
        << "wait";
    Tr().Script("GxStreamGrabberReceiveAsync", {kLinkDown});
    EXPECT_EQ(Where("DeviceIo", TextOf(kLinkDown), kDelegateSource, 263),
              RaisedWhere([&] { camera->QueueBuffer(sizeof frame, frame, 8); }))
        << "queue";
    Tr().Script("GxStreamGrabberFlush", {kLinkDown});
    EXPECT_EQ(Where("DeviceIo", TextOf(kLinkDown), kDelegateSource, 272),
              RaisedWhere([&] { camera->CancelGrab(); }))
        << "flush";
}

TEST_F(GxDelegateTest, OpenAndCloseDevice) {
    auto camera = NewCamera(false);
    EXPECT_EQ(NodeApi::NP, camera->GetDelegate().GetAccessMode());
    camera->Open();
    camera->Open();
    EXPECT_EQ((std::vector<std::string>{"GxInit", "GxOpen"}), Tr().Names()) << "opened once";
    EXPECT_EQ("127.0.0.2:eXcite", Tr().Calls[1].Text);
    EXPECT_EQ(2u, Tr().Calls[1].Args[0]);
    EXPECT_EQ(NodeApi::RW, camera->GetDelegate().GetAccessMode());

    Tr().Calls.clear();
    Tr().Script("GxClose", {kLinkDown});
    EXPECT_EQ(Where("DeviceIo", TextOf(kLinkDown), kDelegateSource, 95),
              RaisedWhere([&] { camera->Close(); }))
        << "close";
    EXPECT_FALSE(camera->IsOpen()) << "closed whatever the status";
    EXPECT_EQ(1u, Tr().CallsOf("GxExit").size());
    Tr().Calls.clear();
    camera->Close();
    EXPECT_TRUE(Tr().Calls.empty()) << "closing a closed device does nothing";

    Tr().Script("GxOpen", {kLinkDown});
    EXPECT_EQ(Where("DeviceIo", TextOf(kLinkDown), kDelegateSource, 74),
              RaisedWhere([&] { camera->Open(); }))
        << "open";
    EXPECT_FALSE(camera->IsOpen());
    EXPECT_EQ(Tr().CallsOf("GxInit").size(), Tr().CallsOf("GxExit").size())
        << "a failed open leaves the transport started no more often than stopped";

    Tr().Script("GxInit", {kLinkDown});
    EXPECT_EQ(Where("DeviceIo", TextOf(kLinkDown), "gxdevice/Gx", 23),
              RaisedWhere([&] { camera->Open(); }))
        << "init";
}

TEST_F(GxDelegateTest, StatusTexts) {
    const std::string longText(300, 'x');
    struct Case {
        const char* name;
        std::string text;
        uint32_t needStep;
        bool alwaysTooSmall;
        bool unterminated;
        uint32_t messageFailure;
        std::string expected;
        size_t calls;
    } cases[] = {
        {"short", "link down", 0, false, false, 0, "link down", 2},
        {"longer than every guess", longText, 64, false, false, 0, longText, 6},
        {"never fits", "link down", 0, true, false, 0,
         "<Fatal error while retrieving GX status message (0x8101000b)>", 9},
        {"transport fails", "link down", 0, false, false, 0xC0000007u,
         "<Fatal error while retrieving GX status message (0xc0000007)>", 1},
        {"no text", "", 0, false, false, 0, "<NULL>", 1},
        {"not terminated", "abc", 0, false, true, 0, "abc", 2},
    };
    for (const auto& c : cases) {
        Tr().Reset();
        Tr().StatusTexts[kLinkDown] = c.text;
        Tr().NeedStep = c.needStep;
        Tr().AlwaysTooSmall = c.alwaysTooSmall;
        Tr().Unterminated = c.unterminated;
        if (c.messageFailure != 0)
            Tr().Script("GxGetStatusMessage", {c.messageFailure});
        EXPECT_EQ(c.expected, XCamera::GetStatusText(kLinkDown)) << c.name;
        EXPECT_EQ(c.calls, Tr().Calls.size()) << c.name;
    }
    // An exception carries at most 255 characters of a long text.
    Tr().Reset();
    Tr().StatusTexts[kLinkDown] = longText;
    EXPECT_EQ(std::string(255, 'x'),
              DeviceIoException(kLinkDown, kDelegateSource, 1).GetDescription());
}

} // namespace

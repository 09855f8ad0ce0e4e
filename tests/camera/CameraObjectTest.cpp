// Camera object over the recording transport: the grab-cycle rules, the
// collected error of FinishGrab and the grabber register.
#include <vector>

#include "gxdevice/DeviceIoException.h"
#include "support/transport/CameraRig.h"

using namespace KacqTest;
using NodeApi::GenericException;
using NodeApi::LogicalErrorException;
using XCamera::DeviceIoException;

namespace {

constexpr uint32_t kLinkDown = 0xC0000042u;
const std::string kNotOpen = Where("LogicalError", "Device not open", kBaseSource, 287);
const std::string kNotReady = Where(
    "LogicalError", "Device is not ready for grabbing. Call PrepareGrab() before start grabbing",
    kBaseSource, 295);

using CameraObjectTest = CameraTest;

TEST_F(CameraObjectTest, StreamOperationsNeedAnOpenPreparedDevice) {
    uint8_t frame[4];
    struct Case {
        const char* name;
        bool open;
        bool prepare;
        bool closeAfter;
        std::function<void(XCamera::CGxCamera&)> call;
        std::string raised;
    } cases[] = {
        {"retrieve before prepare", true, false, false,
         [](XCamera::CGxCamera& c) { c.RetrieveBuffer(nullptr, nullptr, 0); }, kNotReady},
        {"queue before prepare", true, false, false,
         [&](XCamera::CGxCamera& c) { c.QueueBuffer(4, frame, 1); }, kNotReady},
        {"cancel before prepare", true, false, false, [](XCamera::CGxCamera& c) { c.CancelGrab(); },
         kNotReady},
        {"finish before prepare", true, false, false, [](XCamera::CGxCamera& c) { c.FinishGrab(); },
         kNotReady},
        {"retrieve after close", true, true, true,
         [](XCamera::CGxCamera& c) { c.RetrieveBuffer(nullptr, nullptr, 0); }, kNotOpen},
        {"queue on a closed device", false, false, false,
         [&](XCamera::CGxCamera& c) { c.QueueBuffer(4, frame, 1); }, kNotOpen},
        {"second prepare", true, true, false, [](XCamera::CGxCamera& c) { c.PrepareGrab(); },
         Where("LogicalError", "Device is already prepared for grabbing.", kBaseSource, 111)},
    };
    for (const auto& c : cases) {
        auto camera = NewCamera(c.open);
        if (c.prepare)
            camera->PrepareGrab();
        if (c.closeAfter)
            camera->Close();
        Tr().Calls.clear();
        EXPECT_EQ(c.raised, RaisedWhere([&] { c.call(*camera); })) << c.name;
        EXPECT_TRUE(Tr().Calls.empty()) << c.name << ": no transport call";
        EXPECT_EQ(c.prepare && !c.closeAfter, camera->IsPrepared()) << c.name;
    }
}

TEST_F(CameraObjectTest, BuffersComeBackInOrderAndAfterCancel) {
    auto camera = NewCamera();
    camera->PrepareGrab();
    uint8_t frames[3][8];
    for (uint32_t i = 0; i < 3; ++i)
        camera->QueueBuffer(8, frames[i], 100 + i);
    void* buffer = nullptr;
    uint32_t context = 0;
    ASSERT_EQ(XCamera::RetrieveFilled, camera->RetrieveBuffer(&buffer, &context, 500));
    EXPECT_EQ(frames[0], buffer);
    EXPECT_EQ(100u, context);

    camera->CancelGrab();
    std::vector<uint32_t> back;
    for (int i = 0; i < 3; ++i) {
        const auto result = camera->RetrieveBuffer(&buffer, &context, 0);
        if (result == XCamera::RetrieveFlushed)
            break;
        EXPECT_EQ(XCamera::RetrieveIncomplete, result);
        back.push_back(context);
    }
    EXPECT_EQ((std::vector<uint32_t>{101, 102}), back) << "queued buffers come back in order";
    EXPECT_EQ(XCamera::RetrieveFlushed, camera->RetrieveBuffer(&buffer, &context, 0));
    EXPECT_EQ(nullptr, buffer);
}

TEST_F(CameraObjectTest, CloseWhilePreparedFinishesFirst) {
    auto camera = NewCamera();
    camera->PrepareGrab();
    uint8_t frame[8];
    camera->QueueBuffer(8, frame, 1);
    Tr().Calls.clear();
    camera->Close();
    EXPECT_EQ((std::vector<std::string>{"GxStreamGrabberFlush", "GxStreamGrabberWaitForBuffer",
                                        "GxStreamGrabberWaitForBuffer", "GxStreamGrabberDestroy",
                                        "GxCloseStream", "GxClose", "GxExit"}),
              Tr().Names());
    EXPECT_FALSE(camera->IsPrepared() || camera->IsOpen());
}

TEST_F(CameraObjectTest, FinishGrabCollectsTheFirstErrorAndStillCloses) {
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, uint32_t>> failures;
        bool streamClosed;
        std::string raised;
    } cases[] = {
        {"flush fails",
         {{"GxStreamGrabberFlush", kLinkDown}},
         true,
         Where("Generic", "status 0xc0000042", kDelegateSource, 272)},
        {"drain fails, overwriting the flush error",
         {{"GxStreamGrabberFlush", kLinkDown}, {"GxStreamGrabberWaitForBuffer", 0xC0000043u}},
         true,
         Where("Generic", "status 0xc0000043", kDelegateSource, 313)},
        {"closing the stream fails: raised as it is",
         {{"GxStreamGrabberFlush", kLinkDown}, {"GxStreamGrabberDestroy", 0xC0000044u}},
         true,
         Where("DeviceIo", "status 0xc0000044", kDelegateSource, 334)},
        {"drain never ends",
         {{"GxStreamGrabberWaitForBuffer", 0}},
         true,
         Where("Generic", "Stream did not report flushed after 4096 buffers", kBaseSource, 140)},
    };
    for (const auto& c : cases) {
        auto camera = NewCamera();
        camera->PrepareGrab();
        for (const auto& f : c.failures) {
            if (f.second != 0)
                Tr().Script(f.first, {f.second});
            else
                Tr().Script(f.first, std::vector<uint32_t>(5000, 0x41010012u));
        }
        Tr().Calls.clear();
        EXPECT_EQ(c.raised, RaisedWhere([&] { camera->FinishGrab(); })) << c.name;
        EXPECT_EQ(c.streamClosed ? 1u : 0u, Tr().CallsOf("GxStreamGrabberDestroy").size())
            << c.name;
        EXPECT_TRUE(!camera->IsPrepared() && camera->IsOpen()) << c.name;
    }
}

TEST_F(CameraObjectTest, IsNotGrabbingFollowsThePreparedFlag) {
    auto camera = NewCamera();
    auto* isNotGrabbing =
        dynamic_cast<NodeApi::IInteger*>(camera->GetNodeMap().GetNode("IsNotGrabbing"));
    ASSERT_NE(nullptr, isNotGrabbing);
    EXPECT_EQ(1, isNotGrabbing->GetValue());
    camera->PrepareGrab();
    EXPECT_EQ(0, isNotGrabbing->GetValue());
    EXPECT_EQ(NodeApi::NE, camera->GetNodeMap().GetNode("Width")->GetAccessMode())
        << "image size locked while prepared";
    camera->FinishGrab();
    EXPECT_EQ(1, isNotGrabbing->GetValue());
}

TEST_F(CameraObjectTest, OpenNeedsTheTypedInterface) {
    XCamera::CGxDelegate delegate;
    XCamera::DeviceInfo info;
    EXPECT_EQ(Where("LogicalError",
                    "No valid pointer to Camera interface implementation. Use SetApi()!",
                    kBaseSource, 279),
              RaisedWhere([&] { delegate.Open(info); }))
        << "open";
    EXPECT_TRUE(Tr().Calls.empty());
}

TEST_F(CameraObjectTest, DestroyingAnOpenPreparedCameraClosesEverything) {
    auto camera = NewCamera();
    camera->PrepareGrab();
    Tr().Script("GxStreamGrabberFlush", {kLinkDown});
    Tr().Calls.clear();
    camera.reset();
    EXPECT_EQ(1u, Tr().CallsOf("GxStreamGrabberDestroy").size());
    EXPECT_EQ(1u, Tr().CallsOf("GxClose").size());
    EXPECT_EQ("GxExit", Tr().Names().back());
}

} // namespace

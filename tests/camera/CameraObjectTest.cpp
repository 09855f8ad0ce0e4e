// The camera object over the recording transport (CameraRig).
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "emulator/RegisterSpace.h"
#include "support/transport/CameraRig.h"

using namespace KacqTest;
using Names = std::vector<std::string>;

namespace {

using CameraObjectTest = CameraTest;
using Cam = XCamera::CGxCamera;

TEST_F(CameraObjectTest, OperationsNeedTheTypedInterfaceAnOpenAndAPreparedDevice) {
    const auto logic = [](const char* text, uint32_t line) {
        return Where("LogicalError", text, kBaseSource, line);
    };
    const std::string notOpen = logic("Device not open", 287);
    const std::string notReady =
        logic("Device is not ready for grabbing. Call PrepareGrab() before start grabbing", 295);
    uint8_t frame[4];
    const auto retrieve = [](Cam& c) { c.RetrieveBuffer(nullptr, nullptr, 0); };
    const auto queue = [&](Cam& c) { c.QueueBuffer(4, frame, 1); };
    const std::tuple<std::string, std::function<void(Cam&)>, std::string> cases[] = {
        {"open", retrieve, notReady},
        {"open", queue, notReady},
        {"open", [](Cam& c) { c.CancelGrab(); }, notReady},
        {"open", [](Cam& c) { c.FinishGrab(); }, notReady},
        {"closed after prepare", retrieve, notOpen},
        {"closed", queue, notOpen},
        {"prepared", [](Cam& c) { c.PrepareGrab(); },
         logic("Device is already prepared for grabbing.", 111)},
        {"open", [](Cam&) { XCamera::CGxDelegate().Open(XCamera::DeviceInfo()); },
         logic("No valid pointer to Camera interface implementation. Use SetApi()!", 279)},
    };
    for (const auto& [state, operation, raised] : cases) {
        auto camera = NewCamera(state != "closed");
        if (state != "open" && state != "closed")
            camera->PrepareGrab();
        if (state == "closed after prepare")
            camera->Close();
        Tr().Calls.clear();
        EXPECT_EQ(raised, RaisedWhere([&camera, &op = operation] { op(*camera); }))
            << "when " << state;
        EXPECT_TRUE(Tr().Calls.empty()) << "when " << state << ": transport called";
        EXPECT_EQ(state == "prepared", camera->IsPrepared()) << "when " << state;
    }
}

TEST_F(CameraObjectTest, BuffersComeBackInOrderAndAfterCancel) {
    auto camera = NewCamera();
    camera->PrepareGrab();
    uint8_t frames[3][8];
    for (uint32_t i = 0; i < 3; ++i)
        camera->QueueBuffer(8, frames[i], 100 + i);
    using R = std::tuple<int, uint32_t, long>; // result, context, index in frames
    auto retrieve = [&] {
        void* buffer = frames; // overwritten with nothing when nothing comes back
        uint32_t context = 99;
        const int result = camera->RetrieveBuffer(&buffer, &context, 0);
        return R(result, context, buffer ? static_cast<uint8_t(*)[8]>(buffer) - frames : -1);
    };
    const R first = retrieve();
    camera->CancelGrab();
    EXPECT_EQ((std::vector<R>{{XCamera::RetrieveFilled, 100, 0},
                              {XCamera::RetrieveIncomplete, 101, 1},
                              {XCamera::RetrieveIncomplete, 102, 2},
                              {XCamera::RetrieveFlushed, 0, -1}}),
              (std::vector<R>{first, retrieve(), retrieve(), retrieve()}));
}

TEST_F(CameraObjectTest, FinishGrabCollectsTheFirstErrorAndStillCloses) {
    const char *flush = "GxStreamGrabberFlush", *wait = "GxStreamGrabberWaitForBuffer";
    // The drain that never ends answers "incomplete" to every wait.
    const std::tuple<const char*, std::vector<std::pair<const char*, uint32_t>>, std::string>
        cases[] = {
            {"flush fails",
             {{flush, kLinkDown}},
             Where("Generic", "status 0xc0000042", kDelegateSource, 272)},
            {"drain fails, overwriting the flush error",
             {{flush, kLinkDown}, {wait, 0xC0000043u}},
             Where("Generic", "status 0xc0000043", kDelegateSource, 313)},
            {"closing the stream fails: raised as it is",
             {{flush, kLinkDown}, {"GxStreamGrabberDestroy", 0xC0000044u}},
             Where("DeviceIo", "status 0xc0000044", kDelegateSource, 334)},
            {"drain never ends",
             {{wait, 0x41010012u}},
             Where("Generic", "Stream did not report flushed after 4096 buffers", kBaseSource,
                   140)},
        };
    for (const auto& [name, failures, raised] : cases) {
        auto camera = NewCamera();
        camera->PrepareGrab();
        for (const auto& [function, status] : failures)
            Tr().Script(function, std::vector<uint32_t>(status == 0x41010012u ? 5000 : 1, status));
        Tr().Calls.clear();
        EXPECT_EQ(raised, RaisedWhere([&] { camera->FinishGrab(); })) << name;
        EXPECT_EQ(1u, Tr().CallsOf("GxStreamGrabberDestroy").size()) << name;
        EXPECT_TRUE(!camera->IsPrepared() && camera->IsOpen()) << name;
    }
}

TEST_F(CameraObjectTest, PreparingLocksTheImageSize) {
    auto camera = NewCamera();
    auto& map = camera->GetNodeMap();
    auto& width = map.Member<NodeApi::IInteger>("Width");
    auto state = [&] {
        return std::to_string(map.Member<NodeApi::IInteger>("IsNotGrabbing").GetValue()) + " " +
               NodeApi::AccessModeText(map.GetNode("Width")->GetAccessMode()) + " " +
               NodeApi::AccessModeText(map.GetNode("Height")->GetAccessMode()) + " " +
               std::to_string(Tr().Space().ReadQuadlet(0xFFFFF0F0800C) >> 16);
    };
    EXPECT_EQ("1 RW RW 640", state());
    camera->PrepareGrab();
    Tr().Calls.clear();
    EXPECT_EQ("Runtime: Can't write to Register 0000fffff0f0800c. Access mode is NE",
              Raised([&] { width.SetValue(320); }));
    EXPECT_EQ("0 NE NE 640", state());
    EXPECT_TRUE(Tr().CallsOf("GxWriteReg").empty()) << "nothing reaches the camera";
    camera->FinishGrab();
    width.SetValue(320);
    EXPECT_EQ("1 RW RW 320", state());
}

TEST_F(CameraObjectTest, DestroyingAnOpenPreparedCameraClosesEverything) {
    auto camera = NewCamera();
    camera->PrepareGrab();
    Tr().Script("GxStreamGrabberFlush", {kLinkDown});
    Tr().Calls.clear();
    camera.reset();
    EXPECT_EQ((Names{"GxStreamGrabberFlush", "GxGetStatusMessage", "GxGetStatusMessage",
                     "GxStreamGrabberWaitForBuffer", "GxStreamGrabberDestroy", "GxCloseStream",
                     "GxClose", "GxExit"}),
              Tr().Names());
}

} // namespace

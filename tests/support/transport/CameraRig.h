// CameraRig: a "GxCam" camera object over the recording transport.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "device/GxCam.h"
#include "support/Raised.h"
#include "support/transport/RecordingTransport.h"

namespace KacqTest {

constexpr const char* kDelegateSource = "gxdevice/GxDelegateImpl";
constexpr const char* kBaseSource = "camera/TliDelegateBase";

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override { Tr().Reset(); }

    static RecordingTransport& Tr() { return RecordingTransport::Instance(); }

    // Over a freshly reset transport; the calls of building and opening are forgotten.
    static std::unique_ptr<XCamera::CGxCamera> NewCamera(bool open = true) {
        Tr().Reset();
        XCamera::DeviceInfo info;
        info.Name = "127.0.0.2:eXcite";
        info.DeviceClass = XCamera::kGxCamClassName;
        auto camera =
            std::make_unique<XCamera::CGxCamera>(info, std::make_unique<XCamera::CGxDelegate>());
        if (open)
            camera->Open();
        Tr().Calls.clear();
        return camera;
    }

    static std::string TextOf(uint32_t status) {
        char text[32];
        std::snprintf(text, sizeof text, "status 0x%08x", status);
        return text;
    }

    static constexpr uint32_t kLinkDown = 0xC0000042u;
    static std::string Io(uint32_t line) {
        return Where("DeviceIo", TextOf(kLinkDown), kDelegateSource, line);
    }
};

} // namespace KacqTest

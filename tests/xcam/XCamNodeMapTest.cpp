// The feature tree over an emulated camera (XCamTest::Rig), some registers answered by its
// TamperPort.
#include "xcam/XCamNodeMap.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "XCamTestSupport.h"
#include "support/Raised.h"
#include "xcam/FeatureTree.h"

using namespace NodeApi;
using namespace XCamInterface;
using KacqTest::Raised;
using namespace XCamTest;

namespace {

TEST(XCamNodeMap, BuildsEveryRowQuietlyWithoutReadingTheClosedCamera) {
    testing::internal::CaptureStdout();
    Rig rig("vga-mono");
    EXPECT_EQ("", testing::internal::GetCapturedStdout()) << "no property may be refused";
    ASSERT_EQ(kFeatureNodeCount, rig.Map().NodeCount());
    EXPECT_EQ((std::vector<uint64_t>{0, 1, 1, 0, 0}),
              (std::vector<uint64_t>{rig.As<CNodeImpl>("CameraPort").IsInitialized(),
                                     rig.As<CNodeImpl>("GrabberPort").IsInitialized(),
                                     rig.As<CNodeImpl>("Root").IsInitialized(), rig.Reads(),
                                     rig.Writes()}));

    NodeList_t children;
    rig.Node("Root")->GetChildren(children);
    std::vector<std::string> names;
    for (INode* child : children)
        names.push_back(child->GetName());
    EXPECT_EQ((std::vector<std::string>{"Control", "Video", "AOI", "DCAM", "ExternalTrigger",
                                        "SmartFeatures", "DigitalIO", "Strobe", "StrobeBase",
                                        "Info", "MemoryChannel", "AdvFeature"}),
              names);
    EXPECT_EQ("eXite camera", rig.Node("Root")->GetToolTip());
    EXPECT_EQ(" Port giving access to the camera. ", rig.Node("CameraPort")->GetToolTip());

    Emulator::EmulatedCamera c(*Emulator::FindModel("vga-mono"));
    const char* refused =
        "InvalidArgument: CXCamNodeMap: the camera port and the grabber port are required";
    EXPECT_EQ(refused, Raised([&] { CXCamInterface x(nullptr, &c.grabberPort); }));
    EXPECT_EQ(refused, Raised([&] { CXCamInterface x(&c.cameraPort, nullptr); }));
}

TEST(XCamNodeMap, AddressFormulasReadOnlyWhatTheyNeed) {
    Rig rig("vga-mono");
    auto counted = [&](const char* name) {
        rig.ResetCounts();
        const int64_t value = rig.As<IInteger>(name).GetValue();
        return std::make_pair(value, rig.Reads());
    };
    using P = std::pair<int64_t, uint64_t>;
    const int64_t mode0 = rig.camera.space.ModeBase(0);
    EXPECT_EQ(P(0xFFFFF0F00000, 0), counted("aCommandRegBase")) << "a constant";
    EXPECT_EQ(P(mode0, 2), counted("VFormat7ModeCsrBase")) << "video mode, then its offset";
    // Warm: the video mode is read again because its enabling flag is never cached.
    EXPECT_EQ(P(mode0, 1), counted("VFormat7ModeCsrBase"));
    EXPECT_EQ(0u, rig.Writes());
    rig.As<IInteger>("CurVModeReg").SetValue(1);
    EXPECT_EQ(int64_t(rig.camera.space.ModeBase(1)), counted("VFormat7ModeCsrBase").first);
}

TEST(XCamNodeMap, TriggerPolarityPresenceNeedsAllMaskBitsAndThePresenceBit) {
    const uint32_t cases[][3] = {
        {0x8E000000, 0x80000000, 1}, {0xFF000000, 0x80000000, 1}, {0x8C000000, 0x80000000, 0},
        {0x0E000000, 0x80000000, 0}, {0x8E000000, 0x00000000, 0}, {0x8E000000, 0x7FFFFFFF, 0},
    };
    for (const auto& c : cases) {
        Rig rig("vga-mono", {{kCmd + 0x530, c[0]}, {kCmd + 0x830, c[1]}}); // inquiry, trigger
        EXPECT_EQ(c[2], rig.As<IInteger>("TriggerPolarityPresenceInqFao").GetValue())
            << std::hex << c[0] << " " << c[1];
    }
}

TEST(XCamNodeMap, TotalBytesExprReadsOnlyTheLowQuadlet) {
    Rig rig("vga-mono", {{kF7 + 0x38, 0x00000001}, {kF7 + 0x3C, 0x00012345}});
    const auto value = [&](const char* name) { return rig.As<IInteger>(name).GetValue(); };
    // The high quadlet is bound, so fetched once, but the value is the low quadlet alone.
    EXPECT_EQ((std::vector<int64_t>{0x12345, 0x12345, 1, 1, 0x100012345}),
              (std::vector<int64_t>{value("TotalBytesExpr"), value("TotalBytes"),
                                    rig.tampered.hits[kF7 + 0x3C], rig.tampered.hits[kF7 + 0x38],
                                    value("TotalBytesReg")}));
}

TEST(XCamNodeMap, StrobeSecondsScaleByTheTimeBase) {
    Rig rig("vga-mono");
    rig.As<IInteger>("StrobeDurationTimeBase").SetValue(5);
    rig.As<IInteger>("Strobe0Duration").SetValue(301);
    rig.As<IInteger>("StrobeDelayTimeBase").SetValue(3);
    rig.As<IInteger>("Strobe0Delay").SetValue(7);
    EXPECT_EQ((std::vector<double>{5 * 301 / 1024.0, 3 * 7 / 1024.0, 0.0}),
              (std::vector<double>{rig.As<IFloat>("Strobe0Duration_s").GetValue(),
                                   rig.As<IFloat>("Strobe0Delay_s").GetValue(),
                                   rig.As<IFloat>("Strobe1Duration_s").GetValue()}));
}

} // namespace

// The feature tree built over an emulated camera and over an in-memory
// register space: construction, address formulas, availability, formulas.
#include "xcam/XCamNodeMap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "XCamTestSupport.h"
#include "nodeapi/Exceptions.h"
#include "nodeapi/Node.h"
#include "support/MemoryPort.h"
#include "xcam/FeatureTree.h"

using namespace NodeApi;
using namespace XCamInterface;
using KacqTest::MemoryPort;
using XCamTest::Rig;

namespace {

constexpr int64_t kCmd = 0xFFFFF0F00000;
constexpr int64_t kF7 = 0xFFFFF0F08000; // Format 7 mode 0 CSRs of the memory camera

// A camera made of memory: the command block, one Format 7 block, and the
// grabber's flag byte (1: not grabbing).
struct MemoryRig {
    MemoryRig() {
        camera.AddRegion(kCmd, 0x1000);
        camera.AddRegion(kF7, 0x80);
        camera.Poke32(kCmd + 0x2E0, static_cast<uint32_t>((kF7 - 0xFFFFF0000000) / 4));
        grabber.AddRegion(0, 4);
        grabber.Poke(1, {1});
        camera.SetOpen(false);
        grabber.SetOpen(false);
        xcam = std::make_unique<CXCamInterface>(&camera, &grabber);
        camera.SetOpen(true);
        grabber.SetOpen(true);
        camera.ResetCounts();
    }
    IInteger& Int(const char* name) { return xcam->GetNodeMap().Member<IInteger>(name); }

    MemoryPort camera;
    MemoryPort grabber;
    std::unique_ptr<CXCamInterface> xcam;
};

TEST(XCamNodeMap, BuildsEveryRowQuietlyInListOrder) {
    testing::internal::CaptureStdout();
    Rig rig("vga-mono");
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ("", output) << "no property may be refused";

    ASSERT_EQ(kFeatureNodeCount, rig.Map().NodeCount());
    EXPECT_FALSE(rig.As<CNodeImpl>("CameraPort").IsInitialized()) << "never finally constructed";
    EXPECT_TRUE(rig.As<CNodeImpl>("GrabberPort").IsInitialized());
    EXPECT_TRUE(rig.As<CNodeImpl>("Root").IsInitialized());
    EXPECT_EQ(0u, rig.Reads()) << "a closed camera is not read while the tree is built";
    EXPECT_EQ(0u, rig.Writes());
}

TEST(XCamNodeMap, BothPortsAreRequired) {
    Emulator::EmulatedCamera camera(XCamTest::Model("vga-mono"));
    for (int missing = 0; missing < 2; ++missing) {
        try {
            CXCamInterface x(missing == 0 ? nullptr : &camera.cameraPort,
                             missing == 1 ? nullptr : &camera.grabberPort);
            ADD_FAILURE() << "built without a port";
        } catch (const InvalidArgumentException& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find(
                                             "the camera port and the grabber port are required"))
                << e.what();
        }
    }
}

TEST(XCamNodeMap, RootListsTheTopFeaturesInOrder) {
    Rig rig("vga-mono");
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
}

TEST(XCamNodeMap, AddressFormulasReadOnlyWhatTheyNeed) {
    Rig rig("vga-mono");
    rig.ResetCounts();
    EXPECT_EQ(0xFFFFF0F00000, rig.As<IInteger>("aCommandRegBase").GetValue());
    EXPECT_EQ(0u, rig.Reads()) << "the command block base is a constant";

    EXPECT_EQ(static_cast<int64_t>(rig.camera.space.ModeBase(0)),
              rig.As<IInteger>("VFormat7ModeCsrBase").GetValue());
    EXPECT_EQ(2u, rig.Reads()) << "current video mode, then the mode's quadlet offset";
    EXPECT_EQ(0u, rig.Writes());

    rig.ResetCounts();
    EXPECT_EQ(static_cast<int64_t>(rig.camera.space.ModeBase(0)),
              rig.As<IInteger>("VFormat7ModeCsrBase").GetValue());
    // Warm: the quadlet offset comes from the cache; the current video mode is
    // read again because its enabling flag (IsNotGrabbing) is never cached.
    EXPECT_EQ(1u, rig.Reads());

    // Another video mode moves the Format 7 block.
    rig.As<IInteger>("CurVModeReg").SetValue(1);
    EXPECT_EQ(static_cast<int64_t>(rig.camera.space.ModeBase(1)),
              rig.As<IInteger>("VFormat7ModeCsrBase").GetValue());
}

TEST(XCamNodeMap, GeometryIsWritableOnlyWhileNotGrabbing) {
    Rig rig("vga-mono");
    INode* width = rig.Node("Width");
    IInteger& value = rig.As<IInteger>("Width");
    EXPECT_EQ(RW, width->GetAccessMode());
    value.SetValue(320);
    EXPECT_EQ(320, value.GetValue());

    rig.camera.grabber.prepared = true; // IsNotGrabbing reads 0
    EXPECT_EQ(0, rig.As<IInteger>("IsNotGrabbing").GetValue());
    EXPECT_EQ(NE, width->GetAccessMode());
    EXPECT_EQ(NE, rig.Node("Height")->GetAccessMode());
    const uint64_t writes = rig.Writes();
    EXPECT_THROW(value.SetValue(640), GenericException);
    EXPECT_EQ(writes, rig.Writes()) << "nothing reaches the camera";
    EXPECT_EQ(320u, rig.F7(Emulator::F7::kImageSize) >> 16);

    rig.camera.grabber.prepared = false;
    EXPECT_EQ(RW, width->GetAccessMode());
    value.SetValue(640);
    EXPECT_EQ(640u, rig.F7(Emulator::F7::kImageSize) >> 16);
}

TEST(XCamNodeMap, TriggerPolarityPresenceNeedsAllMaskBitsAndThePresenceBit) {
    struct Case {
        uint32_t triggerInq; // command block + 0x530
        uint32_t trigger;    // command block + 0x830
        int64_t expected;
    };
    const Case cases[] = {
        {0x8E000000, 0x80000000, 1}, {0xFF000000, 0x80000000, 1}, {0x8C000000, 0x80000000, 0},
        {0x0E000000, 0x80000000, 0}, {0x8E000000, 0x00000000, 0}, {0x8E000000, 0x7FFFFFFF, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.triggerInq << " " << c.trigger);
        MemoryRig rig;
        rig.camera.Poke32(kCmd + 0x530, c.triggerInq);
        rig.camera.Poke32(kCmd + 0x830, c.trigger);
        EXPECT_EQ(c.expected, rig.Int("TriggerPolarityPresenceInqFao").GetValue());
    }
}

TEST(XCamNodeMap, TotalBytesExprReadsOnlyTheLowQuadlet) {
    MemoryRig rig;
    rig.camera.Poke32(kF7 + 0x38, 0x00000001);
    rig.camera.Poke32(kF7 + 0x3C, 0x00012345);
    EXPECT_EQ(0x12345, rig.Int("TotalBytesExpr").GetValue());
    EXPECT_EQ(0x12345, rig.Int("TotalBytes").GetValue());
    EXPECT_EQ(1, rig.camera.ReadCount(kF7 + 0x3C));
    // The high quadlet is bound, so it is fetched with the other variable,
    // but the value is the low quadlet alone.
    EXPECT_EQ(1, rig.camera.ReadCount(kF7 + 0x38));
    EXPECT_EQ(0x100012345, rig.Int("TotalBytesReg").GetValue()) << "the 8-byte register";
}

TEST(XCamNodeMap, StrobeSecondsScaleByTheTimeBase) {
    Rig rig("vga-mono");
    rig.As<IInteger>("StrobeDurationTimeBase").SetValue(5);
    rig.As<IInteger>("Strobe0Duration").SetValue(301);
    rig.As<IInteger>("StrobeDelayTimeBase").SetValue(3);
    rig.As<IInteger>("Strobe0Delay").SetValue(7);
    EXPECT_DOUBLE_EQ(5 * 301 / 1024.0, rig.As<IFloat>("Strobe0Duration_s").GetValue());
    EXPECT_DOUBLE_EQ(3 * 7 / 1024.0, rig.As<IFloat>("Strobe0Delay_s").GetValue());
    EXPECT_DOUBLE_EQ(0.0, rig.As<IFloat>("Strobe1Duration_s").GetValue());
}

TEST(XCamNodeMap, AdvancedFeaturesUnlockThroughTheAccessControlRegister) {
    Rig rig("2mp-bayer");
    EXPECT_EQ(1, rig.As<IInteger>("AdvFeature").GetValue());
    EXPECT_EQ(0x00A5C19Eu, rig.camera.space.ReadQuadlet(Emulator::kAcrBase))
        << "the feature ID went out as ordinary quadlets";
    EXPECT_EQ(RW, rig.Node("TestImage")->GetAccessMode());
}

} // namespace

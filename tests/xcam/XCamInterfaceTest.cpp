// The typed camera interface: handle binding and the typed enumerations, on
// the emulated cameras.
#include "xcam/XCamInterface.h"

#include <gtest/gtest.h>

#include <string>

#include "XCamTestSupport.h"
#include "nodeapi/EnumEntry.h"
#include "nodeapi/Exceptions.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using namespace XCamInterface;
using XCamTest::Rig;

namespace {

TEST(XCamInterface, BindsEveryHandleToTheNodeOfItsName) {
    Rig rig("vga-mono");
    CXCamInterface& x = *rig.xcam;
    int bound = 0;
#define XCAM_CHECK_HANDLE(name, type)                                                              \
    EXPECT_EQ(static_cast<INode*>(rig.Node(#name)), dynamic_cast<INode*>(x.name)) << #name;        \
    ++bound;
    XCAM_FEATURE_LIST(XCAM_CHECK_HANDLE)
#undef XCAM_CHECK_HANDLE
    EXPECT_EQ(kTypedFeatureCount, bound);
    // Read right after opening, as the stream set-up does.
    EXPECT_EQ(8, x.DataDepth->GetValue());
    EXPECT_EQ(640 * 480, x.TotalBytes->GetValue());
}

TEST(XCamInterface, ColorCodingFromSymbolicWritesTheCodingId) {
    Rig rig("2mp-bayer");
    CXCamInterface& x = *rig.xcam;
    x.ColorCoding->FromString("Raw8");
    EXPECT_EQ(9u, rig.F7(Emulator::F7::kColorCodingId) >> 24);
    EXPECT_EQ("Raw8", x.ColorCoding->ToString());
    EXPECT_EQ(9, x.ColorCoding->GetIntValue());
    EXPECT_EQ(10, *x.ColorCoding = 10);
    EXPECT_EQ("Raw16", x.ColorCoding->ToString());
    EXPECT_EQ(10, (*x.ColorCoding)());
}

TEST(XCamInterface, TriggerSourceSevenIsTheSoftwareTrigger) {
    Rig rig("vga-mono");
    CXCamInterface& x = *rig.xcam;
    x.TriggerSource->SetIntValue(7);
    EXPECT_EQ("SoftTrig", x.TriggerSource->ToString());
    EXPECT_EQ(7u, (rig.camera.space.ReadQuadlet(Emulator::kCommandBase + 0x830) >> 21) & 7);
    x.TriggerSource->FromString("ExTrigPort0");
    EXPECT_EQ(0, x.TriggerSource->GetIntValue());
}

TEST(XCamInterface, UnknownSymbolicIsRefusedWithItsClassLine) {
    Rig rig("2mp-bayer");
    CXCamInterface& x = *rig.xcam;
    struct Case {
        CTypedEnumeration* node;
        const char* name;
        uint32_t line;
    };
    const Case cases[] = {
        {x.ColorCoding, "ColorCoding", 73}, {x.TriggerSource, "TriggerSource", 303},
        {x.PioOut0Src, "PioOut0Src", 462},  {x.Strobe3Polarity, "Strobe3Polarity", 1596},
        {x.VideoMode, "VideoMode", 1677},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint64_t writes = rig.Writes();
        try {
            c.node->FromString("raw8");
            ADD_FAILURE() << "accepted";
        } catch (const PropertyException& e) {
            EXPECT_EQ(std::string(c.name) +
                          " : property 'raw8' : cannot convert value '' "
                          "(xcam/XCamInterface:" +
                          std::to_string(c.line) + ")",
                      e.what());
            EXPECT_EQ("xcam/XCamInterface", e.GetSourceFileName());
            EXPECT_EQ(c.line, e.GetSourceLine());
        }
        EXPECT_EQ(writes, rig.Writes()) << "nothing written";
    }
    EXPECT_EQ(10u, rig.F7(Emulator::F7::kColorCodingId) >> 24) << "Raw16 kept";
}

TEST(XCamInterface, UnavailableEntryIsRefusedBeforeTheCamera) {
    Rig rig("vga-mono"); // Mono8 and Mono16 only
    CXCamInterface& x = *rig.xcam;
    const uint64_t writes = rig.Writes();
    try {
        x.ColorCoding->FromString("Raw8");
        ADD_FAILURE() << "accepted";
    } catch (const InvalidArgumentException& e) {
        EXPECT_NE(std::string::npos,
                  std::string(e.what()).find("ColorCoding : value 'Raw8' is not available"))
            << e.what();
    }
    EXPECT_EQ(writes, rig.Writes());
    EXPECT_EQ("Mono8", x.ColorCoding->ToString());
}

TEST(XCamInterface, EnumerationWithoutValueNodeKeepsItsOwnValue) {
    KacqTest::TestNodeMap map;
    map.Add<CEnumEntry>("EnumEntry_E_A", {{"Symbolic", "A"}, {"Value", "1"}});
    map.Add<CEnumEntry>("EnumEntry_E_B", {{"Symbolic", "B"}, {"Value", "-2"}});
    auto& e = map.Add<CEnumeration_TestImageEnums>(
        "E", {{"pEnumEntry", "EnumEntry_E_A"}, {"pEnumEntry", "EnumEntry_E_B"}});
    map.Build();
    e.SetChanged(false);
    e.FromString("B");
    EXPECT_EQ(-2, e.GetIntValue());
    EXPECT_TRUE(e.IsChanged()) << "a set marks the node changed";
    EXPECT_EQ("B", e.ToString());
    e.SetChanged(false);
    e.SetIntValue(1);
    EXPECT_TRUE(e.IsChanged());
    EXPECT_EQ("A", e.ToString());
    EXPECT_THROW(e.FromString("C"), PropertyException);
    EXPECT_EQ(1, e.GetIntValue());
}

} // namespace

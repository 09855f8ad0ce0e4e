// The typed enumerations, on the emulated cameras (Rig) and a TestNodeMap.
#include "xcam/XCamInterface.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "XCamTestSupport.h"
#include "nodeapi/EnumEntry.h"
#include "support/Raised.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using namespace XCamInterface;
using KacqTest::Raised;
using KacqTest::RaisedWhere;
using XCamTest::Rig;

namespace {

TEST(XCamInterface, TypedEnumerationsWriteTheirIdsAndNameThem) {
    Rig rig("2mp-bayer");
    CXCamInterface& x = *rig.xcam;
    auto state = [&](CTypedEnumeration* e) {
        const uint32_t field = e == x.ColorCoding
                                   ? rig.F7(Emulator::F7::kColorCodingId) >> 24
                                   : (rig.Quadlet(Emulator::kCommandBase + 0x830) >> 21) & 7;
        return e->ToString() + "=" + std::to_string(e->GetIntValue()) + " " + std::to_string(field);
    };
    x.ColorCoding->FromString("Raw8");
    EXPECT_EQ("Raw8=9 9", state(x.ColorCoding));
    EXPECT_EQ(10, *x.ColorCoding = 10);
    EXPECT_EQ(10, (*x.ColorCoding)());
    EXPECT_EQ("Raw16=10 10", state(x.ColorCoding));
    x.TriggerSource->SetIntValue(7);
    EXPECT_EQ("SoftTrig=7 7", state(x.TriggerSource)) << "source seven is the software trigger";
    x.TriggerSource->FromString("ExTrigPort0");
    EXPECT_EQ("ExTrigPort0=0 0", state(x.TriggerSource));
}

TEST(XCamInterface, RefusedSymbolicsWriteNothing) {
    Rig rig("vga-mono"); // Mono8 and Mono16 only
    CXCamInterface& x = *rig.xcam;
    const auto unknown = [](const std::string& name, uint32_t line) {
        return KacqTest::Where("Property", name + " : property 'raw8' : cannot convert value ''",
                               "xcam/XCamInterface", line);
    };
    const std::tuple<CTypedEnumeration*, const char*, std::string> cases[] = {
        {x.ColorCoding, "raw8", unknown("ColorCoding", 73)},
        {x.TriggerSource, "raw8", unknown("TriggerSource", 303)},
        {x.PioOut0Src, "raw8", unknown("PioOut0Src", 462)},
        {x.Strobe3Polarity, "raw8", unknown("Strobe3Polarity", 1596)},
        {x.VideoMode, "raw8", unknown("VideoMode", 1677)},
        {x.ColorCoding, "Raw8",
         "InvalidArgument: ColorCoding : value 'Raw8' is not available (NE)"},
    };
    for (const auto& [e, text, raised] : cases) {
        const uint64_t writes = rig.Writes();
        const auto set = [node = e, t = text] { node->FromString(t); };
        const bool fixedLine = raised.find(" (xcam/XCamInterface:") != std::string::npos;
        EXPECT_EQ(raised, fixedLine ? RaisedWhere(set) : Raised(set, "xcam/XCamInterface"));
        EXPECT_EQ(writes, rig.Writes()) << raised;
    }
    EXPECT_EQ("Mono8", x.ColorCoding->ToString());
}

TEST(XCamInterface, EnumerationWithoutValueNodeKeepsItsOwnValue) {
    KacqTest::TestNodeMap map;
    map.Add<CEnumEntry>("EnumEntry_E_A", {{"Symbolic", "A"}, {"Value", "1"}});
    map.Add<CEnumEntry>("EnumEntry_E_B", {{"Symbolic", "B"}, {"Value", "-2"}});
    auto& e = map.Add<CEnumeration_TestImageEnums>(
        "E", {{"pEnumEntry", "EnumEntry_E_A"}, {"pEnumEntry", "EnumEntry_E_B"}});
    map.Build();
    auto state = [&] {
        const bool changed = e.IsChanged();
        e.SetChanged(false);
        return e.ToString() + "=" + std::to_string(e.GetIntValue()) + (changed ? " changed" : "");
    };
    e.SetChanged(false);
    e.FromString("B");
    EXPECT_EQ("B=-2 changed", state());
    e.SetIntValue(1);
    EXPECT_EQ("A=1 changed", state());
    EXPECT_EQ("Property: E : property 'C' : cannot convert value ''",
              Raised([&] { e.FromString("C"); }));
    EXPECT_EQ("A=1", state());
}

} // namespace

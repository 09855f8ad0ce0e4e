// The feature tree table's rows read directly; well-formedness is proven by building the tree.
#include "xcam/FeatureTree.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// "value|value" of one property in row order, or with none "name=value|name=value".
std::string Of(const std::string& node, const std::string& only = "") {
    std::size_t count = 0;
    const XCamInterface::FeaturePropertyRow* rows = XCamInterface::FeatureProperties(&count);
    std::string out;
    for (std::size_t i = 0; i < count; ++i) {
        if (node != rows[i].node || (!only.empty() && only != rows[i].name))
            continue;
        out += (out.empty() ? "" : "|") + (only.empty() ? rows[i].name + std::string("=") : "");
        out += rows[i].value;
    }
    return out;
}

TEST(FeatureTreeTableTest, EnumerationEntriesAndValues) {
    std::vector<std::vector<std::string>> enums = {
        {"ColorCoding", "VFormat7ColorCodingReg",
         "Mono8=0 YUV8_4_1_1=1 YUV8_4_2_2=2 YUV8_4_4_4=3 RGB8=4 Mono16=5 RGB16=6 SMono16=7 "
         "SRGB16=8 Raw8=9 Raw16=10 VendorSpecific0=128 VendorSpecific1=129 VendorSpecific2=130 "
         "VendorSpecific3=131 VendorSpecific4=132 VendorSpecific5=133 VendorSpecific6=134"},
        {"TriggerMode", "TriggerModeReg",
         "TriggerMode0=0 TriggerMode1=1 TriggerMode2=2 TriggerMode3=3"},
        {"TriggerPolarity", "TriggerPolarityReg", "LowActive=0 HighActive=1"},
        {"TriggerSource", "TriggerSrcReg",
         "ExTrigPort0=0 ExTrigPort1=1 ExTrigPort2=2 ExTrigPort3=3 SoftTrig=7"},
        {"TestImage", "TestImageFao",
         "Disabled=0 TestImage1=1 TestImage2=2 TestImage3=3 TestImage4=4 TestImage5=5 "
         "TestImage6=6 TestImage7=7"},
        {"VideoMode", "CurVModeReg",
         "VideoMode0=0 VideoMode1=1 VideoMode2=2 VideoMode3=3 VideoMode4=4 VideoMode5=5 "
         "VideoMode6=6 VideoMode7=7"},
    };
    for (int i = 0; i < 4; ++i) {
        const std::string pio = "PioOut" + std::to_string(i), s = "Strobe" + std::to_string(i);
        enums.push_back({pio + "Src", pio + "SrcFao",
                         "IntegrationEnable=0 ReadyforTrigger=1 SerialTx=2 UserSet=3 " + s + "=4"});
        enums.push_back({pio + "Monitor", pio + "MonitorFao", "Low=0 High=1"});
        enums.push_back({pio + "Setting", pio + "UserSetFao", "Low=0 High=1"});
        enums.push_back(
            {s + "Polarity", s + "PolarityFao", "LowActiveOutput=0 HighActiveOutput=1"});
    }
    for (const auto& e : enums) {
        std::string expected = e[1], actual = Of(e[0], "pValue");
        std::istringstream words(e[2]), linked(Of(e[0], "pEnumEntry"));
        for (std::string w; words >> w;)
            expected += " EnumEntry_" + e[0] + "_" + w.substr(0, w.find('=')) + ":" + w;
        for (std::string entry; std::getline(linked, entry, '|');)
            actual += " " + entry + ":" + Of(entry, "Symbolic") + "=" + Of(entry, "Value");
        EXPECT_EQ(expected, actual) << e[0];
    }
}

TEST(FeatureTreeTableTest, RowsCallersReadBack) {
    const struct {
        const char *node, *property, *values;
    } rows[] = {
        {"XPosition", "",
         "ToolTip=X Position|pValue=AoiPosXRegFao|Min=0|pMax=AoiPosXMaxFao|pInc=AoiPosIncCxFao|"
         "Representation=Linear|pIsEnabled=IsNotGrabbing|DisplayName= X Position"},
        {"AoiPosXMaxFao", "Formula", "MaxWidth-CurWidth"},
        {"TriggerMode", "pIsPresent", "TriggerModeEnumPresenceInqFao"},
        {"TriggerMode", "DisplayName", "Trigger Mode"},
        {"Height", "DisplayName", "Height "},
        {"Width", "pMin", "AoiSizeIncCxFao"},
        {"BoardTemperature", "DisplayName", "Boart Temperature"},
        {"WhiteBalanceUB", "DisplayName", "White Balance (U/B)"},
        {"DigitalIO", "DisplayName", "Digital I/O"},
        {"DigitalIO", "pIsPresent", "PioFeatureInq"},
        {"SmartFeatures", "DisplayName", "Smart Features"},
        {"Bandwidth", "ToolTip",
         "Sets the data rate (in bytes per packet) for transferring captured images from the "
         "camera section to the processor section"},
        {"GrabberPort", "ToolTip", " Port giving access to the grabber. "},
        {"AdvFeature", "ToolTip", "Locks the advanced features"},
        {"AdvFeatureLock", "ToolTip", "Lock of the Advanced Featrue"},
        {"BrightnessValueFao", "",
         "ToolTip=Bits 0..11 of the register at 0xFFFFF0F00800|Address=0xFFFFF0F00800|LSB=0|MSB=11|"
         "AccessMode=RW|Length=4|Endianess=BigEndian|Sign=Unsigned|pPort=CameraPort"},
        {"ShutterValueFao", "MSB", "11"},
        {"BytesPerPacketValueReg", "pInvalidator", "VFormat7ColorCodingReg|BytesPerPacketValueReg"},
        {"PioOut0MonitorFao", "Address", "0xfffff2f00190|0x8"},
        {"PioOut0MonitorFao", "pInvalidator",
         "PioOut0UserSetFao|PioOut0InvFao|PioOutput|PioOut0SrcFao|Strobe0OnOffFao|"
         "Strobe0PolarityFao|ContinuousShotReg|SingleShotReg"},
        {"TriggerCounterReg", "Cachable", "false"},
        {"StrobeDurationBase", "MSB", "16"},
        {"VFormat7Inq", "Sign", "Signed"},
        {"EnumEntry_ColorCoding_Raw8", "pIsEnabled", "VFormat7Color9InqReg"},
        {"EnumEntry_ColorCoding_VendorSpecific6", "pIsEnabled", "VFormat7Color134InqReg"},
        {"EnumEntry_TriggerSource_SoftTrig", "pIsPresent", "TriggerSrc7InqFao"},
        {"ExtVerInfo", "",
         "ToolTip=Register at aExtVerInfo + 0x4|pAddress=aExtVerInfo|Address=0x4|AccessMode=RO|"
         "Length=4|pPort=CameraPort|pLength=ExtVerInfoLength|pIsEnabled=ExtVerInfoPresenceInqFao"},
        {"aTestImage", "FeatureID", "2A411342 - C0CA - 4368 - B46E - EE5DEEBF0548"},
        {"aShutterBase", "ToolTip",
         "Address of the smart feature 648BE1DA - A416 - 11D8 - 9B47 - 00105A5BAE55"},
        {"ConfRom", "",
         "ToolTip=Configuration ROM|Unit=0x00A02D|Address=0x400|pAddress=InitialNodeSpace|"
         "Length=0x400|pPort=CameraPort"},
        {"ModelName", "",
         "ToolTip=Text of configuration ROM key 0x82|p1212Parser=ConfRom|Key=0x82"},
        {"aVModeInqSel", "Formula", "INDEX*4+BASE+0x180"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.values, Of(r.node, r.property)) << r.node << " " << r.property;
}

} // namespace

// The feature tree table as callers see it: which nodes exist, the values
// behind every enumeration entry, what Root reaches, and the rows whose
// texts, addresses and bit fields a caller reads back. Well-formedness
// (vocabulary, links, value texts) is proven by building the whole tree in
// XCamNodeMapTest, which also checks Root's members in order.
#include "xcam/FeatureTree.h"

#include <gtest/gtest.h>

#include <map>

#include <sstream>
#include <string>
#include <vector>

using namespace XCamInterface;

namespace {

struct Table {
    std::map<std::string, std::string> classOf;
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> props;
    std::vector<std::string> order;

    Table() {
        std::size_t n = 0, m = 0;
        const FeatureNodeRow* nr = FeatureNodes(&n);
        const FeaturePropertyRow* pr = FeatureProperties(&m);
        for (std::size_t i = 0; i < n; ++i) {
            classOf[nr[i].name] = nr[i].className;
            order.push_back(nr[i].name);
        }
        for (std::size_t i = 0; i < m; ++i)
            props[pr[i].node].emplace_back(pr[i].name, pr[i].value);
    }

    // "name=value|name=value" of a node's properties, or of one property.
    std::string Of(const std::string& node, const std::string& only = "") const {
        std::string out;
        auto it = props.find(node);
        if (it == props.end())
            return "<no node>";
        for (const auto& p : it->second)
            if (only.empty() || p.first == only)
                out += (out.empty() ? "" : "|") + (only.empty() ? p.first + "=" : "") + p.second;
        return out;
    }
};

const Table& T() {
    static const Table table;
    return table;
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

} // namespace

// Every enumeration with its value node and entries (Symbolic=Value), in order.
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
    const Table& t = T();
    std::size_t entries = 0;
    for (const auto& e : enums) {
        SCOPED_TRACE(e[0]);
        EXPECT_EQ(t.Of(e[0], "pValue"), e[1]);
        std::string linked, expected;
        for (const auto& w : Words(e[2])) {
            const std::string sym = w.substr(0, w.find('='));
            const std::string entry = "EnumEntry_" + e[0] + "_" + sym;
            expected += entry + "|";
            EXPECT_EQ(sym + "=" + t.Of(entry, "Value"), w);
            EXPECT_EQ(t.Of(entry, "Symbolic"), sym);
            ++entries;
        }
        EXPECT_EQ(t.Of(e[0], "pEnumEntry") + "|", expected);
    }
    EXPECT_EQ(enums.size(), 22u);
    EXPECT_EQ(entries, 89u);
}

// Rows whose texts, addresses, bit fields and links callers read back.
TEST(FeatureTreeTableTest, RowsCallersReadBack) {
    const struct {
        const char *node, *property, *values;
    } rows[] = {
        {"XPosition", "",
         "ToolTip=X Position|pValue=AoiPosXRegFao|Min=0|pMax=AoiPosXMaxFao|pInc=AoiPosIncCxFao|"
         "Representation=Linear|pIsEnabled=IsNotGrabbing|DisplayName= X Position"},
        {"TriggerMode", "",
         "ToolTip=Trigger Mode|pValue=TriggerModeReg|pEnumEntry=EnumEntry_TriggerMode_TriggerMode0|"
         "pEnumEntry=EnumEntry_TriggerMode_TriggerMode1|pEnumEntry=EnumEntry_TriggerMode_"
         "TriggerMode2|"
         "pEnumEntry=EnumEntry_TriggerMode_TriggerMode3|pIsPresent=TriggerModeEnumPresenceInqFao|"
         "pIsEnabled=TriggerModeEnabledInqFao|DisplayName=Trigger Mode"},
        {"TriggerPolarity", "pIsEnabled", "TriggerModeEnabledInqFao"},
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
        {"BytesPerPacketValueReg", "",
         "ToolTip=Bits 16..31 of the register at VFormat7ModeCsrBase + 0x44|"
         "pAddress=VFormat7ModeCsrBase|Address=0x44|LSB=16|MSB=31|AccessMode=RW|Length=4|"
         "Endianess=BigEndian|Sign=Unsigned|pPort=CameraPort|pInvalidator=VFormat7ColorCodingReg|"
         "pInvalidator=BytesPerPacketValueReg|pIsEnabled=IsNotGrabbing"},
        {"IsNotGrabbing", "",
         "ToolTip=Bit 0 of the register at 0x1|Address=0x1|LSB=0|MSB=0|AccessMode=RO|"
         "Endianess=BigEndian|Sign=Unsigned|Length=1|pPort=GrabberPort|Cachable=false"},
        {"PioOut0MonitorFao", "Address", "0xfffff2f00190|0x8"},
        {"PioOut0MonitorFao", "pInvalidator",
         "PioOut0UserSetFao|PioOut0InvFao|PioOutput|PioOut0SrcFao|Strobe0OnOffFao|"
         "Strobe0PolarityFao|ContinuousShotReg|SingleShotReg"},
        {"TriggerCounterReg", "Cachable", "false"},
        {"StrobeDurationBase", "LSB", "8"},
        {"StrobeDurationBase", "MSB", "16"},
        {"CPUTemperatureReg", "Address", "0xfffff2f06000"},
        {"TotalBytesReg", "Length", "8"},
        {"VFormat7ModeCsrQuadOffset", "Sign", "Signed"},
        {"VFormat7Inq", "Sign", "Signed"},
        {"EnumEntry_ColorCoding_Raw8", "pIsEnabled", "VFormat7Color9InqReg"},
        {"EnumEntry_ColorCoding_VendorSpecific6", "pIsEnabled", "VFormat7Color134InqReg"},
        {"EnumEntry_TriggerSource_SoftTrig", "pIsPresent", "TriggerSrc7InqFao"},
        {"ExtVerInfo", "",
         "ToolTip=Register at aExtVerInfo + 0x4|pAddress=aExtVerInfo|Address=0x4|AccessMode=RO|"
         "Length=4|pPort=CameraPort|pLength=ExtVerInfoLength|pIsEnabled=ExtVerInfoPresenceInqFao"},
        {"AdvFeatureLock", "FeatureID", "0x00A5C19E2D47"},
        {"AdvFeatureLock", "Length", "8"},
        {"aTestImage", "FeatureID", "2A411342 - C0CA - 4368 - B46E - EE5DEEBF0548"},
        {"aShutterBase", "",
         "ToolTip=Address of the smart feature 648BE1DA - A416 - 11D8 - 9B47 - "
         "00105A5BAE55|FeatureID=648BE1DA - A416 - 11D8 - 9B47 - 00105A5BAE55|"
         "pAddress=aAdvancedFeatureCSR|Address=0x10|pPort=CameraPort"},
        {"ConfRom", "",
         "ToolTip=Configuration ROM|Unit=0x00A02D|Address=0x400|pAddress=InitialNodeSpace|"
         "Length=0x400|pPort=CameraPort"},
        {"ModelName", "",
         "ToolTip=Text of configuration ROM key 0x82|p1212Parser=ConfRom|Key=0x82"},
        {"TriggerPolarityPresenceInqFao", "",
         "ToolTip=((MASKEDREG & 0x8E) = 0x8E) && (FREG = 1) with FREG=TriggerPresenceInqReg, "
         "MASKEDREG=TriggerPolarityPresenceInqReg|pVariable=FREG=TriggerPresenceInqReg|"
         "pVariable=MASKEDREG=TriggerPolarityPresenceInqReg|"
         "Formula=((MASKEDREG & 0x8E) = 0x8E) && (FREG = 1) "},
        {"TotalBytesExpr", "pVariable", "HIQUAD=TotalBytesHiReg|LOQUAD=TotalBytesLoReg"},
        {"TotalBytesExpr", "Formula", "LOQUAD"},
        {"AoiPosXMaxFao", "Formula", "MaxWidth-CurWidth"},
        {"Strobe0Duration_s", "pVariable", "BASE=StrobeDurationTimeBase|VALUE=Strobe0Duration"},
        {"Strobe0Duration_s", "Formula", "BASE*VALUE/1024.0"},
        {"aVModeInqSel", "pVariable", "INDEX=CurVFormatReg|BASE=aCommandRegBase"},
        {"aVModeInqSel", "Formula", "INDEX*4+BASE+0x180"},
        {"aVFormat7ModeCsrBaseSel", "Formula", "BASE+0x2E0+4*MODE"},
        {"aCommandRegBase", "pVariable", "BASE=InitialNodeSpace|OFFSET=CommandRegBase"},
        {"InitialNodeSpace", "Formula", "0xFFFFF0000000"},
        {"CommandRegBase", "Formula", "0x000003C0000"},
        {"CommandRegBase", "ToolTip",
         "Quadlet offset of command register block (should be read from Confrom)"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(T().Of(r.node, r.property), r.values) << r.node << " " << r.property;
}

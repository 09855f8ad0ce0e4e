// The whole feature tree on each emulated model (XCamTest::Rig over the in-memory register space).
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "XCamTestSupport.h"
#include "emulator/AddressMap.h"
#include "support/Raised.h"

using namespace NodeApi;
using namespace XCamInterface;
using KacqTest::Raised;
using namespace XCamTest;
namespace F7 = Emulator::F7;

namespace {

std::string Read(INode* node) {
    auto* s = dynamic_cast<IString*>(node);
    return s != nullptr ? s->GetValue() : node->ToString();
}

// NP or NE as the model's inquiries say; trigger and time base value are off at power-up.
std::set<std::string> ExpectedUnavailable(const Emulator::ModelSpec& m) {
    std::string names = "TriggerMode TriggerPolarity ShutterTimeBase";
    names += m.whiteBalance.present ? "" : " WhiteBalanceUB WhiteBalanceVR";
    names += m.brightness.present ? "" : " Brightness";
    names += m.gain.present ? "" : " Gain";
    names += m.shutter.present ? "" : " Shutter";
    names += m.memoryChannels > 0 ? "" : " SaveMemory SaveMemoryCh StartupMemoryCh";
    for (unsigned n = m.strobes; n < 4; ++n) {
        for (const char* s : {"Enable", "Polarity", "Delay", "Duration", "Delay_s", "Duration_s"})
            names += " Strobe" + std::to_string(n) + s;
    }
    std::istringstream words(names);
    return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
}

std::vector<std::string> Others(INode* node, const std::string& now) {
    std::vector<std::string> values;
    if (auto* i = dynamic_cast<IInteger*>(node)) {
        const int64_t min = i->GetMin(), max = i->GetMax(), inc = std::max<int64_t>(1, i->GetInc());
        for (int64_t v : {min, min + inc, max, max - inc}) {
            if (v >= min && v <= max && (v - min) % inc == 0)
                values.push_back(std::to_string(v));
        }
    } else if (auto* e = dynamic_cast<IEnumerationBase*>(node)) {
        e->GetSymbolics(values);
        std::reverse(values.begin(), values.end());
    } else {
        EXPECT_NE(nullptr, dynamic_cast<IBoolean*>(node)) << "unexpected writable feature";
        values = {"0", "1"};
    }
    values.erase(std::remove(values.begin(), values.end(), now), values.end());
    return values;
}

TEST(XCamWholeTree, EveryFeatureReadsOrIsUnavailableAndEveryWritableOneRoundTrips) {
    const std::set<std::string> selfClearing = {"OneShot", "SoftwareTrigger", "SaveMemory"};
    for (const char* key : {"vga-mono", "2mp-bayer"}) {
        SCOPED_TRACE(key);
        Rig rig(key);
        const std::vector<INode*> features = XCamTest::Features(rig.Map());
        EXPECT_EQ(89u, features.size()) << "the typed features are exactly those under Root";
        std::set<std::string> unavailable;
        int written = 0;
        for (INode* node : features) {
            SCOPED_TRACE(node->GetName());
            const EAccessMode mode = node->GetAccessMode();
            if (mode == NP || mode == NE) {
                unavailable.insert(node->GetName());
                continue;
            }
            std::string before;
            EXPECT_NO_THROW(before = Read(node));
            if (mode != RW || selfClearing.count(node->GetName()))
                continue;
            const std::vector<std::string> others = Others(node, before);
            if (others.empty())
                continue; // a range of one value
            ASSERT_NO_THROW(node->FromString(others[0]));
            EXPECT_EQ(others[0], Read(node));
            ASSERT_NO_THROW(node->FromString(before)) << "restored";
            ++written;
        }
        EXPECT_EQ(ExpectedUnavailable(rig.camera.space.Model()), unavailable);
        EXPECT_GE(written, 35);
        const std::string vendor = Read(rig.Node("VendorName"));
        EXPECT_EQ(rig.camera.space.Model().vendorName, vendor.substr(0, vendor.find('\0')));
    }
}

TEST(XCamWholeTree, GeometryAndCodingReachTheSizesThroughTheInvalidators) {
    Rig rig("2mp-bayer");
    CXCamInterface& x = *rig.xcam;
    auto sizes = [&] {
        return std::vector<int64_t>{x.TotalBytes->GetValue(), x.PixelNumber->GetValue(),
                                    x.PacketNumber->GetValue()};
    };
    auto camera = [&](int64_t pixels) {
        return std::vector<int64_t>{rig.F7(F7::kTotalBytesLo), pixels, rig.F7(F7::kPacketPerFrame)};
    };
    const std::vector<int64_t> full = sizes();
    EXPECT_EQ(camera(1600 * 1200), full);
    rig.ResetCounts();
    EXPECT_EQ(full, sizes());
    // Warm, only the never-cached video mode behind the block address is read again.
    const uint64_t warmReads = rig.Reads();
    x.Brightness->SetValue(100);
    rig.ResetCounts();
    EXPECT_EQ(full, sizes());
    EXPECT_EQ(warmReads, rig.Reads());

    x.Width->SetValue(800);
    rig.ResetCounts();
    EXPECT_EQ(camera(800 * 1200), sizes());
    EXPECT_GT(rig.Reads(), warmReads) << "fresh reads after the invalidation";
    EXPECT_EQ(full[0] / 2, rig.F7(F7::kTotalBytesLo));
    x.ColorCoding->FromString("Raw8");
    EXPECT_EQ(camera(800 * 1200), sizes());
    EXPECT_EQ((std::vector<int64_t>{800 * 1200, 8}),
              (std::vector<int64_t>{sizes()[0], x.DataDepth->GetValue()}));
}

TEST(XCamWholeTree, FaultyRegisterAnswersRaiseFrameworkExceptions) {
    const int64_t f7Inq = Emulator::kCommandBase + Emulator::Cmd::kVCsrInq7;
    const int64_t pioInq = Emulator::kCommandBase + Emulator::Cmd::kPioCsrInq;
    const std::tuple<int64_t, uint32_t, const char*, const char*> cases[] = {
        {f7Inq, 0x3FFFFFFF, "Width", "00010000f0000008"},      // Format 7 block past the space
        {f7Inq, 0xFFFFFFFF, "Height", "0000fffff0000008"},     // negative Format 7 offset
        {pioInq, 0x3FFFFF00, "PioOutput", "00010000effffc00"}, // PIO block past the space
    };
    for (const auto& [at, value, feature, missed] : cases) {
        Rig rig("vga-mono", {{at, value}});
        EXPECT_EQ("Runtime: Failed to read 4 bytes at register 0x" + std::string(missed) +
                      ": address not mapped",
                  Raised([&rig, f = feature] { Read(rig.Node(f)); }));
    }
}

TEST(XCamWholeTree, ZeroUnitSizeAndNoColourCodingStayUsable) {
    Rig rig("vga-mono", {{kF7 + F7::kUnitSize, 0}, {kF7 + F7::kColorCodingInq, 0}});
    CXCamInterface& x = *rig.xcam;
    ASSERT_EQ(kF7, rig.As<IInteger>("VFormat7ModeCsrBase").GetValue());
    EXPECT_EQ((std::vector<int64_t>{0, 0, 640}),
              (std::vector<int64_t>{x.Width->GetInc(), x.Width->GetMin(), x.Width->GetValue()}));
    // The camera refuses a zero width with its error flag; nothing divides by the unit.
    EXPECT_EQ("<no exception>", Raised([&] { x.Width->SetValue(0); }));
    EXPECT_EQ(640u, rig.F7(F7::kImageSize) >> 16);

    StringList_t symbolics;
    x.ColorCoding->GetSymbolics(symbolics);
    EXPECT_TRUE(symbolics.empty());
    EXPECT_EQ("Mono8", x.ColorCoding->ToString()) << "the current coding still has its name";
    const uint64_t writes = rig.Writes();
    EXPECT_EQ("InvalidArgument: ColorCoding : value 'Mono16' is not available (NE)",
              Raised([&] { x.ColorCoding->FromString("Mono16"); }));
    EXPECT_EQ(writes, rig.Writes());
}

} // namespace

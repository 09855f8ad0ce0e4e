// The whole feature tree on each emulated model: every feature reads or is
// consistently unavailable, every writable feature round-trips, derived
// sizes follow the geometry through the invalidators, and faulty register
// answers surface as framework exceptions.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "XCamTestSupport.h"
#include "emulator/AddressMap.h"
#include "nodeapi/Exceptions.h"

using namespace NodeApi;
using namespace XCamInterface;
using XCamTest::Rig;

namespace {

const char* const kModels[] = {"vga-mono", "2mp-bayer"};

std::string Read(INode* node) {
    if (auto* s = dynamic_cast<IString*>(node))
        return s->GetValue();
    return node->ToString();
}

// The features a model does not offer (NP) or does not allow now (NE), as its
// inquiry registers and the power-up state say.
std::set<std::string> ExpectedUnavailable(const Emulator::ModelSpec& m) {
    std::set<std::string> names;
    if (!m.whiteBalance.present)
        names.insert({"WhiteBalanceUB", "WhiteBalanceVR"});
    if (!m.brightness.present)
        names.insert("Brightness");
    if (!m.gain.present)
        names.insert("Gain");
    if (!m.shutter.present)
        names.insert("Shutter");
    for (unsigned n = m.strobes; n < 4; ++n) {
        const std::string s = "Strobe" + std::to_string(n);
        names.insert({s + "Enable", s + "Polarity", s + "Delay", s + "Duration", s + "Delay_s",
                      s + "Duration_s"});
    }
    // Trigger off at power-up: mode and polarity are not enabled (or absent).
    names.insert({"TriggerMode", "TriggerPolarity"});
    // The time base value is enabled by its own enable bit, off at power-up.
    names.insert("ShutterTimeBase");
    if (m.memoryChannels == 0)
        names.insert({"SaveMemory", "SaveMemoryCh", "StartupMemoryCh"});
    return names;
}

TEST(XCamWholeTree, EveryFeatureReadsOrIsUnavailableAsTheInquiriesSay) {
    for (const char* key : kModels) {
        SCOPED_TRACE(key);
        Rig rig(key);
        const std::vector<INode*> features = XCamTest::Features(rig.Map());
        EXPECT_EQ(89u, features.size()) << "the typed features are exactly those under Root";
        std::set<std::string> unavailable;
        for (INode* node : features) {
            SCOPED_TRACE(node->GetName());
            const EAccessMode mode = node->GetAccessMode();
            if (mode == NP || mode == NE) {
                unavailable.insert(node->GetName());
                continue;
            }
            EXPECT_NO_THROW(Read(node));
        }
        EXPECT_EQ(ExpectedUnavailable(rig.camera.space.Model()), unavailable);
        EXPECT_EQ(rig.camera.space.Model().vendorName,
                  Read(rig.Node("VendorName")).substr(0, Read(rig.Node("VendorName")).find('\0')));
    }
}

// A value inside the feature's range other than the current one.
bool OtherInteger(IInteger& i, int64_t current, int64_t* value) {
    const int64_t min = i.GetMin(), max = i.GetMax(), inc = i.GetInc() > 0 ? i.GetInc() : 1;
    for (int64_t candidate : {min, min + inc, max, max - inc}) {
        if (candidate >= min && candidate <= max && candidate != current &&
            (candidate - min) % inc == 0) {
            *value = candidate;
            return true;
        }
    }
    return false;
}

TEST(XCamWholeTree, EveryWritableFeatureRoundTrips) {
    // Commands the camera clears by itself once done.
    const std::set<std::string> selfClearing = {"OneShot", "SoftwareTrigger", "SaveMemory"};
    for (const char* key : kModels) {
        SCOPED_TRACE(key);
        Rig rig(key);
        int written = 0;
        for (INode* node : XCamTest::Features(rig.Map())) {
            SCOPED_TRACE(node->GetName());
            if (node->GetAccessMode() != RW || selfClearing.count(node->GetName()))
                continue;
            const std::string before = Read(node);
            std::string wanted;
            if (auto* i = dynamic_cast<IInteger*>(node)) {
                int64_t value = 0;
                if (!OtherInteger(*i, i->GetValue(), &value))
                    continue; // a range of one value
                wanted = std::to_string(value);
            } else if (auto* b = dynamic_cast<IBoolean*>(node)) {
                wanted = b->GetValue() ? "0" : "1";
            } else if (auto* e = dynamic_cast<IEnumerationBase*>(node)) {
                StringList_t symbolics;
                e->GetSymbolics(symbolics);
                for (const std::string& s : symbolics) {
                    if (s != before)
                        wanted = s;
                }
                if (wanted.empty())
                    continue;
            } else {
                ADD_FAILURE() << "unexpected writable feature";
                continue;
            }
            ASSERT_NO_THROW(node->FromString(wanted));
            if (dynamic_cast<IBoolean*>(node) != nullptr)
                EXPECT_EQ(wanted == "1", dynamic_cast<IBoolean*>(node)->GetValue());
            else
                EXPECT_EQ(wanted, Read(node));
            ASSERT_NO_THROW(node->FromString(before)) << "restored";
            ++written;
        }
        EXPECT_GE(written, 35);
    }
}

TEST(XCamWholeTree, GeometryAndCodingReachTheSizesThroughTheInvalidators) {
    Rig rig("2mp-bayer");
    CXCamInterface& x = *rig.xcam;
    auto sizes = [&] {
        return std::vector<int64_t>{x.TotalBytes->GetValue(), x.PixelNumber->GetValue(),
                                    x.PacketNumber->GetValue()};
    };
    const std::vector<int64_t> full = sizes();
    EXPECT_EQ(full[0], int64_t(rig.F7(Emulator::F7::kTotalBytesLo)));
    EXPECT_EQ(full[1], 1600 * 1200);

    rig.ResetCounts();
    EXPECT_EQ(full, sizes());
    // Warm, only registers behind never-cached flags are read again (the video
    // mode behind the block address).
    const uint64_t warmReads = rig.Reads();

    // An unrelated write leaves the sizes cached.
    x.Brightness->SetValue(100);
    rig.ResetCounts();
    EXPECT_EQ(full, sizes());
    EXPECT_EQ(warmReads, rig.Reads());

    // The AOI size invalidates all three.
    x.Width->SetValue(800);
    rig.ResetCounts();
    EXPECT_EQ(sizes(), (std::vector<int64_t>{full[0] / 2, 800 * 1200,
                                             int64_t(rig.F7(Emulator::F7::kPacketPerFrame))}));
    EXPECT_GT(rig.Reads(), warmReads) << "fresh reads after the invalidation";

    // So does the colour coding: 8 bits per pixel halves the bytes.
    x.ColorCoding->FromString("Raw8");
    EXPECT_EQ(sizes(), (std::vector<int64_t>{800 * 1200, 800 * 1200,
                                             int64_t(rig.F7(Emulator::F7::kPacketPerFrame))}));
    EXPECT_EQ(8, x.DataDepth->GetValue());
}

TEST(XCamWholeTree, FaultyRegisterAnswersRaiseFrameworkExceptions) {
    const uint64_t csrOffset = Emulator::kCommandBase + Emulator::Cmd::kVCsrInq7;
    struct Case {
        const char* what;
        uint64_t address;
        uint32_t value;
        const char* feature;
        const char* message; // part of the text
    };
    const Case cases[] = {
        {"Format 7 offset outside the register space", csrOffset, 0x3FFFFFFF, "Width",
         "Failed to read 4 bytes at register 0x"},
        {"negative Format 7 offset", csrOffset, 0xFFFFFFFF, "Height",
         "Failed to read 4 bytes at register 0x0000fffff0000008"},
        {"PIO block outside the register space", Emulator::kCommandBase + Emulator::Cmd::kPioCsrInq,
         0x3FFFFF00, "PioOutput", "Failed to read 4 bytes at register 0x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig(XCamTest::Model("vga-mono"),
                [&](XCamTest::TamperPort& port) { port.Override(c.address, c.value); });
        try {
            Read(rig.Node(c.feature));
            ADD_FAILURE() << "read succeeded";
        } catch (const GenericException& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find(c.message)) << e.what();
        }
    }
}

TEST(XCamWholeTree, ZeroUnitSizeAndNoColourCodingStayUsable) {
    Rig rig(XCamTest::Model("vga-mono"), [](XCamTest::TamperPort& port) {
        const uint64_t f7 = 0xFFFFF0F08000;
        port.Override(f7 + Emulator::F7::kUnitSize, 0);
        port.Override(f7 + Emulator::F7::kColorCodingInq, 0);
    });
    CXCamInterface& x = *rig.xcam;
    ASSERT_EQ(static_cast<int64_t>(rig.camera.space.ModeBase(0)),
              rig.As<IInteger>("VFormat7ModeCsrBase").GetValue());
    EXPECT_EQ((std::vector<int64_t>{0, 0, 640}),
              (std::vector<int64_t>{x.Width->GetInc(), x.Width->GetMin(), x.Width->GetValue()}));
    // The camera refuses a zero width with its error flag; the tree does not
    // divide by the unit.
    try {
        x.Width->SetValue(0);
    } catch (const GenericException&) {
    }
    EXPECT_EQ(640u, rig.F7(Emulator::F7::kImageSize) >> 16);

    StringList_t symbolics;
    x.ColorCoding->GetSymbolics(symbolics);
    EXPECT_TRUE(symbolics.empty());
    EXPECT_EQ("Mono8", x.ColorCoding->ToString()) << "the current coding still has its name";
    const uint64_t writes = rig.Writes();
    EXPECT_THROW(x.ColorCoding->FromString("Mono16"), InvalidArgumentException);
    EXPECT_EQ(writes, rig.Writes());
}

} // namespace

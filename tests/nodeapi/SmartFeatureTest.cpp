// CSmartFeature over a MemoryPort holding the advanced feature block at
// 0xFFFFF2F00000; the inquiry register answers what a test pokes into it.
#include "nodeapi/SmartFeature.h"

#include <gtest/gtest.h>

#include "support/MemoryPort.h"
#include "support/Raised.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::Props;
using KacqTest::Raised;
using KacqTest::TestInteger;
using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;

namespace {

constexpr int64_t kAdvancedBase = 0xFFFFF2F00000;
constexpr int64_t kInquiry = kAdvancedBase + 0x10;
const char kTestImageId[] = "2A411342 - C0CA - 4368 - B46E - EE5DEEBF0548";
const char kCanonical[] = "2A411342-C0CA-4368-B46E-EE5DEEBF0548";

struct Fixture {
    KacqTest::MemoryPort port{kAdvancedBase, 0x100};
    KacqTest::TestNodeMap map;
    TestInteger& base = map.Add<TestInteger>("aAdvancedFeatureCSR");
    TestInteger& enabled = map.Add<TestInteger>("Enabled", Props("Value=1"));
    CSmartFeature& feature = map.Add<CSmartFeature>(
        "aTestImage", Props(std::string("FeatureID=") + kTestImageId +
                            ";pAddress=aAdvancedFeatureCSR;Address=0x10;pPort=CameraPort;"
                            "pIsEnabled=Enabled"));

    Fixture() {
        map.AddExternal(port, "CameraPort");
        map.Add<KacqTest::TestCategory>("Root", Props("pFeature=aTestImage"));
        map.Build();
        base.SetValue(kAdvancedBase);
    }
    void Reply(uint32_t quadlet4, uint32_t quadlet5, int64_t offset = 0) {
        port.Poke32(kInquiry + offset + 16, quadlet4);
        port.Poke32(kInquiry + offset + 20, quadlet5);
    }
};

} // namespace

TEST(SmartFeatureTest, GuidTextsAndProperties) {
    Guid known;
    ParseGuid(kTestImageId, known);
    EXPECT_EQ(std::make_tuple(0x2A411342u, 0xC0CAu, 0x4368u,
                              Bytes{0xB4, 0x6E, 0xEE, 0x5D, 0xEE, 0xBF, 0x05, 0x48}),
              std::make_tuple(uint32_t{known.Data1}, unsigned{known.Data2}, unsigned{known.Data3},
                              Bytes(known.Data4, known.Data4 + 8)));
    // Refused texts leave the GUID unchanged; an embedded zero byte is no blank.
    const std::tuple<std::string, bool, const char*> rows[] = {
        {kTestImageId, true, kCanonical},
        {"2a411342-c0ca-4368-b46e-ee5deebf0548", true, kCanonical},
        {" E77E6336\t-  E617 -11D8- 9653 - 00105A5BAE55 ", true,
         "E77E6336-E617-11D8-9653-00105A5BAE55"},
        {"2A41134G - C0CA - 4368 - B46E - EE5DEEBF0548", false, kCanonical},
        {"2A411342 - C0CA - 4368 - B46E - EE5DEEBF05481", false, kCanonical},
        {"2A411342 C0CA 4368 B46E EE5DEEBF0548", false, kCanonical},
        {"", false, kCanonical},
        {"2A411342 - C0CA - 4368 - B46E", false, kCanonical},
        {"2A411342 - C0CA - 4368 - B46E - EE5DEEBF054", false, kCanonical},
        {"2A411342 - C0CA - 4368 - B46E - EE5DEEBF0548 - 1", false, kCanonical},
        {"2A41134 - C0CA - 4368 - B46E - EE5DEEBF0548", false, kCanonical},
        {"{2A411342-C0CA-4368-B46E-EE5DEEBF0548}", false, kCanonical},
        {"2A411342 - C0CA - 4368 - B46E - EE5DEEBF0548 x", false, kCanonical},
        {std::string(kCanonical, 37), false, kCanonical},
    };
    for (const auto& [text, parsed, canonical] : rows) {
        Guid guid = parsed ? Guid{} : known;
        const bool ok = ParseGuid(text, guid);
        EXPECT_EQ(std::make_pair(parsed, std::string(canonical)),
                  std::make_pair(ok, GuidText(guid)))
            << text;
    }

    KacqTest::TestNodeMap map;
    auto& node = map.Add<CSmartFeature>("aTestImage", {}, false);
    // A reply shorter than 24 bytes would leave the address unread.
    auto& shortOne = map.Add<CSmartFeature>("Short", Props("Length=4"), false);
    map.Build();
    node.SetProperty("FeatureID", kTestImageId);
    const std::string raised = Raised([&] { node.SetProperty("FeatureID", "garbage"); });
    EXPECT_EQ("Property: aTestImage : property 'FeatureID' : cannot convert value 'garbage' " +
                  std::string(kCanonical),
              raised + " " + GuidText(node.GetFeatureId()));
    EXPECT_EQ(
        "Property: Short : property 'Length' : the smart feature reply is 24 bytes long, not 4",
        Raised([&] { shortOne.FinalConstruct(); }));
    Fixture f;
    EXPECT_EQ("LogicalError: Node aTestImage: already initialized",
              Raised([&] { f.feature.SetProperty("FeatureID", kTestImageId); }));
}

TEST(SmartFeatureTest, InquiryReplyAndCachedAddress) {
    Fixture f;
    f.Reply(0x0000F2F0, 0x00000001);
    // An address computed (by the dump) while the base read 0 must not stick.
    f.base.SetValue(0);
    f.feature.GetInfo();
    f.base.SetValue(kAdvancedBase);
    EXPECT_EQ("0", f.feature.ToString()); // before the first read, without asking
    EXPECT_EQ(0, f.port.TotalReads() + f.port.TotalWrites());
    EXPECT_EQ(0x10000F2F0, f.feature.GetValue());
    // One 16-byte inquiry (the GUID's bytes as four little-endian words, each
    // a big-endian quadlet), then one 24-byte read, both at the register.
    const auto log = f.port.Log();
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(std::make_tuple('W', kInquiry,
                              Bytes{0x2A, 0x41, 0x13, 0x42, 0x43, 0x68, 0xC0, 0xCA, 0x5D, 0xEE,
                                    0x6E, 0xB4, 0x48, 0x05, 0xBF, 0xEE},
                              'R', kInquiry, int64_t{24}),
              std::make_tuple(log[0].op, log[0].address, log[0].data, log[1].op, log[1].address,
                              log[1].length));
    EXPECT_EQ("1", f.feature.ToString());
    // Cached: no more traffic; writes are accepted and ignored.
    f.Reply(0, 0);
    f.feature.SetValue(5);
    static_cast<IInteger&>(f.feature) = 7;
    f.feature.FromString("0x1234");
    const int64_t cached = f.feature();
    EXPECT_EQ(std::make_pair(int64_t{0x10000F2F0}, size_t{2}),
              std::make_pair(cached, f.port.Log().size()));
    // A new advanced feature base invalidates: the next read asks there.
    f.port.ResetCounts();
    f.base.SetValue(kAdvancedBase + 0x40);
    EXPECT_EQ("0", f.feature.ToString());
    f.Reply(0x200, 0, 0x40);
    EXPECT_EQ(0x200, f.feature.GetValue());
    EXPECT_EQ(std::make_pair(1, 1), std::make_pair(f.port.WriteCount(kInquiry + 0x40),
                                                   f.port.ReadCount(kInquiry + 0x40)));
    f.feature.InvalidateCache();
    f.Reply(0, 0, 0x40);
    EXPECT_EQ(0, f.feature.GetValue());
    EXPECT_EQ(std::make_tuple(std::string("0"), int64_t{0}, INT64_MAX, int64_t{0}),
              std::make_tuple(f.feature.ToString(), f.feature.GetMin(), f.feature.GetMax(),
                              f.feature.GetInc()));
}

TEST(SmartFeatureTest, RawAccessAndAccessModes) {
    Fixture f;
    f.Reply(0x11223344, 0x55667788);
    Bytes small(8, 0xEE), large(32, 0xEE);
    f.feature.Get(small.data(), 8);
    f.feature.Get(large.data(), 32);
    EXPECT_EQ(Bytes(8, 0), small);
    EXPECT_EQ((Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE,
                     0xEE, 0xEE, 0xEE}),
              Bytes(large.begin() + 16, large.end()));
    const uint8_t bytes[4] = {1, 2, 3, 4};
    f.feature.Set(bytes, 4);
    EXPECT_EQ(
        std::make_tuple(0x01020304u, int64_t{24}, RW),
        std::make_tuple(f.port.Peek32(kInquiry), f.feature.GetLength(), f.feature.GetAccessMode()));
    // Not enabled: the reply reads, the inquiry is refused before any write.
    f.enabled.SetValue(0);
    const int writes = f.port.TotalWrites();
    f.feature.Get(large.data(), 24);
    EXPECT_EQ(
        (Texts{"NE", "Runtime: Can't write to Register 281474757558288. Access mode is NE"}),
        (Texts{AccessModeText(f.feature.GetAccessMode()), Raised([&] { f.feature.GetValue(); })}));
    EXPECT_EQ(writes, f.port.TotalWrites());
    f.enabled.SetValue(1);
    EXPECT_EQ(0x5566778811223344, f.feature.GetValue());
    f.feature.InvalidateCache();
    f.port.SetOpen(false);
    EXPECT_EQ(
        (Texts{"NP", "Runtime: Can't read from Register 0xFFFFF2F00010. Access mode is NP",
               "Runtime: Can't write to Register 281474757558288. Access mode is NP",
               "Runtime: Can't write to Register 281474757558288. Access mode is NP",
               "Runtime: Can't read from Register 0xFFFFF2F00010. Access mode is NP",
               "Register : not present"}),
        (Texts{AccessModeText(f.feature.GetAccessMode()),
               Raised([&] { f.feature.Get(small.data(), 8); }),
               Raised([&] { f.feature.Set(bytes, 4); }), Raised([&] { f.feature.GetValue(); }),
               Raised([&] { f.feature.ToString(); }), f.feature.GetInfo()}));
}

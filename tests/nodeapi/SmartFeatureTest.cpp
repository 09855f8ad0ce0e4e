// CSmartFeature: GUID texts, the inquiry and its reply, the cached address,
// raw register access and the text forms.
#include "nodeapi/SmartFeature.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/MemoryPort.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::TestCategory;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;

namespace {

constexpr int64_t kAdvancedBase = 0xFFFFF2F00000;
constexpr int64_t kInquiry = kAdvancedBase + 0x10;
const char kTestImageId[] = "2A411342 - C0CA - 4368 - B46E - EE5DEEBF0548";

// The advanced feature block in memory; the inquiry register answers with
// whatever the test put into its reply quadlets.
struct Fixture {
    MemoryPort port{kAdvancedBase, 0x100};
    TestNodeMap map;
    TestInteger* base = nullptr;
    CSmartFeature* feature = nullptr;

    explicit Fixture(std::vector<std::pair<std::string, std::string>> extra = {}) {
        map.AddExternal(port, "CameraPort");
        base = &map.Add<TestInteger>("aAdvancedFeatureCSR");
        std::vector<std::pair<std::string, std::string>> properties = {
            {"FeatureID", kTestImageId},
            {"pAddress", "aAdvancedFeatureCSR"},
            {"Address", "0x10"},
            {"pPort", "CameraPort"}};
        properties.insert(properties.end(), extra.begin(), extra.end());
        feature = &map.Add<CSmartFeature>("aTestImage", properties);
        map.Add<TestCategory>("Root", {{"pFeature", "aTestImage"}});
        map.Build();
        base->SetValue(kAdvancedBase);
    }

    void Reply(uint32_t quadlet4, uint32_t quadlet5) {
        port.Poke32(kInquiry + 16, quadlet4);
        port.Poke32(kInquiry + 20, quadlet5);
    }
};

template <class E, class F>
std::string ErrorOf(F call) {
    try {
        call();
    } catch (const E& e) {
        return e.GetDescription();
    }
    return "<none>";
}

uint32_t BigEndianAt(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) << 24 | static_cast<uint32_t>(bytes[at + 1]) << 16 |
           static_cast<uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

} // namespace

TEST(SmartFeatureTest, GuidTexts) {
    const struct {
        const char* text;
        const char* canonical;
    } good[] = {
        {"2A411342 - C0CA - 4368 - B46E - EE5DEEBF0548", "2A411342-C0CA-4368-B46E-EE5DEEBF0548"},
        {"2a411342-c0ca-4368-b46e-ee5deebf0548", "2A411342-C0CA-4368-B46E-EE5DEEBF0548"},
        {" E77E6336\t-  E617 -11D8- 9653 - 00105A5BAE55 ", "E77E6336-E617-11D8-9653-00105A5BAE55"},
    };
    for (const auto& c : good) {
        SCOPED_TRACE(c.text);
        Guid guid;
        ASSERT_TRUE(ParseGuid(c.text, guid));
        EXPECT_EQ(c.canonical, GuidText(guid));
    }
    Guid guid;
    ASSERT_TRUE(ParseGuid(kTestImageId, guid));
    EXPECT_EQ(std::make_tuple(0x2A411342u, 0xC0CAu, 0x4368u,
                              std::vector<uint8_t>{0xB4, 0x6E, 0xEE, 0x5D, 0xEE, 0xBF, 0x05, 0x48}),
              std::make_tuple(uint32_t{guid.Data1}, unsigned{guid.Data2}, unsigned{guid.Data3},
                              std::vector<uint8_t>(guid.Data4, guid.Data4 + 8)));

    const char* bad[] = {
        "",
        "2A411342 - C0CA - 4368 - B46E",               // four groups
        "2A411342 - C0CA - 4368 - B46E - EE5DEEBF054", // 11 digits
        "2A411342 - C0CA - 4368 - B46E - EE5DEEBF05481",
        "2A411342 - C0CA - 4368 - B46E - EE5DEEBF0548 - 1",
        "2A41134 - C0CA - 4368 - B46E - EE5DEEBF0548",
        "2A411342 C0CA 4368 B46E EE5DEEBF0548",
        "2A41134G - C0CA - 4368 - B46E - EE5DEEBF0548",
        "{2A411342-C0CA-4368-B46E-EE5DEEBF0548}",
        "2A411342 - C0CA - 4368 - B46E - EE5DEEBF0548 x",
    };
    for (const char* text : bad) {
        Guid unchanged = guid;
        EXPECT_FALSE(ParseGuid(text, unchanged)) << text;
        EXPECT_EQ(GuidText(guid), GuidText(unchanged)) << text;
    }
    // An embedded zero byte is not a blank.
    EXPECT_FALSE(ParseGuid(std::string("2A411342-C0CA-4368-B46E-EE5DEEBF0548\0", 37), guid));

    // Through the property: the convert message, and the earlier ID stays.
    TestNodeMap map;
    auto& node = map.Add<CSmartFeature>("aTestImage", {}, false);
    map.Build();
    node.SetProperty("FeatureID", kTestImageId);
    for (const char* text : {"", "2A411342 - C0CA - 4368 - B46E", "garbage"}) {
        EXPECT_EQ(std::string("aTestImage : property 'FeatureID' : cannot convert value '") + text +
                      "'",
                  ErrorOf<PropertyException>([&] { node.SetProperty("FeatureID", text); }));
        EXPECT_EQ("2A411342-C0CA-4368-B46E-EE5DEEBF0548", GuidText(node.GetFeatureId()));
    }
    Fixture f;
    EXPECT_EQ("Node aTestImage: already initialized", ErrorOf<LogicalErrorException>([&] {
                  f.feature->SetProperty("FeatureID", kTestImageId);
              }));
}

TEST(SmartFeatureTest, InquiryReplyAndCachedAddress) {
    Fixture f;
    f.Reply(0x0000F2F0, 0x00000001);
    EXPECT_EQ("0", f.feature->ToString()); // before the first read, without asking
    EXPECT_EQ(0, f.port.TotalReads() + f.port.TotalWrites());
    EXPECT_EQ(0x10000F2F0, f.feature->GetValue());
    // One 16-byte inquiry, then one 24-byte read, both at the register.
    const auto log = f.port.Log();
    ASSERT_EQ(2u, log.size());
    ASSERT_EQ(16u, log[0].data.size());
    EXPECT_EQ((std::vector<uint32_t>{0x2A411342u, 0x4368C0CAu, 0x5DEE6EB4u, 0x4805BFEEu}),
              (std::vector<uint32_t>{BigEndianAt(log[0].data, 0), BigEndianAt(log[0].data, 4),
                                     BigEndianAt(log[0].data, 8), BigEndianAt(log[0].data, 12)}));
    EXPECT_EQ(std::make_tuple('W', kInquiry, 'R', kInquiry, int64_t{24}),
              std::make_tuple(log[0].op, log[0].address, log[1].op, log[1].address,
                              static_cast<int64_t>(log[1].length)));
    EXPECT_EQ("1", f.feature->ToString());
    // Cached: no more traffic, whatever the register holds now.
    f.Reply(0, 0);
    EXPECT_EQ(0x10000F2F0, (*f.feature)());
    EXPECT_EQ(2u, f.port.Log().size());
    // Writes are accepted and ignored.
    f.feature->SetValue(5);
    static_cast<IInteger&>(*f.feature) = 7;
    f.feature->FromString("0x1234");
    EXPECT_EQ(0x10000F2F0, f.feature->GetValue());
    EXPECT_EQ(2u, f.port.Log().size());
    // A change of the advanced feature base invalidates: the next read asks
    // again, at the new address.
    f.port.ResetCounts();
    f.base->SetValue(kAdvancedBase + 0x40);
    EXPECT_EQ("0", f.feature->ToString());
    f.port.Poke32(kInquiry + 0x40 + 16, 0x00000200);
    f.port.Poke32(kInquiry + 0x40 + 20, 0);
    EXPECT_EQ(0x200, f.feature->GetValue());
    EXPECT_EQ(std::make_pair(1, 1), std::make_pair(f.port.WriteCount(kInquiry + 0x40),
                                                   f.port.ReadCount(kInquiry + 0x40)));
    // A camera without the feature answers 0: no error, text "0".
    f.feature->InvalidateCache();
    f.port.Poke32(kInquiry + 0x40 + 16, 0);
    EXPECT_EQ(0, f.feature->GetValue());
    EXPECT_EQ("0", f.feature->ToString());
    EXPECT_EQ(std::make_tuple(int64_t{0}, INT64_MAX, int64_t{0}),
              std::make_tuple(f.feature->GetMin(), f.feature->GetMax(), f.feature->GetInc()));
}

TEST(SmartFeatureTest, AddressIsComputedOnEveryInquiry) {
    Fixture f;
    f.Reply(0x100, 0);
    // The address was computed once (by the dump) while the base read 0; the
    // inquiry must still go to the base the node sees when it asks.
    f.base->SetValue(0);
    f.feature->GetInfo();
    f.base->SetValue(kAdvancedBase);
    EXPECT_EQ(0x100, f.feature->GetValue());
    EXPECT_EQ(std::make_pair(1, 1),
              std::make_pair(f.port.WriteCount(kInquiry), f.port.ReadCount(kInquiry)));
}

TEST(SmartFeatureTest, RawAccessAndAccessModes) {
    Fixture f;
    f.Reply(0x11223344, 0x55667788);
    // A read copies at most the 24 bytes of the reply.
    std::vector<uint8_t> small(8, 0xEE), large(32, 0xEE);
    f.feature->Get(small.data(), 8);
    f.feature->Get(large.data(), 32);
    EXPECT_EQ(std::vector<uint8_t>(8, 0), small);
    EXPECT_EQ((std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0xEE, 0xEE,
                                    0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}),
              std::vector<uint8_t>(large.begin() + 16, large.end()));
    // A raw write goes straight to the port with the caller's length.
    const uint8_t bytes[4] = {1, 2, 3, 4};
    f.feature->Set(bytes, 4);
    EXPECT_EQ(0x01020304u, f.port.Peek32(kInquiry));
    EXPECT_EQ(std::make_pair(int64_t{24}, RW),
              std::make_pair(f.feature->GetLength(), f.feature->GetAccessMode()));

    // Not present: both directions refused, with their own formats.
    f.port.SetOpen(false);
    EXPECT_EQ(NP, f.feature->GetAccessMode());
    EXPECT_EQ("Can't read from Register 0xFFFFF2F00010. Access mode is NP",
              ErrorOf<RuntimeException>([&] { f.feature->Get(small.data(), 8); }));
    EXPECT_EQ("Can't write to Register " + std::to_string(kInquiry) + ". Access mode is NP",
              ErrorOf<RuntimeException>([&] { f.feature->Set(bytes, 4); }));
    EXPECT_EQ("Can't write to Register 281474757558288. Access mode is NP",
              ErrorOf<RuntimeException>([&] { f.feature->GetValue(); }));
    EXPECT_EQ("Can't read from Register 0xFFFFF2F00010. Access mode is NP",
              ErrorOf<RuntimeException>([&] { f.feature->ToString(); }));
    EXPECT_EQ("Register : not present", f.feature->GetInfo());
}

TEST(SmartFeatureTest, NotEnabledReadsButRefusesTheInquiry) {
    TestNodeMap map;
    MemoryPort port(kAdvancedBase, 0x100);
    map.AddExternal(port, "CameraPort");
    auto& enabled = map.Add<TestInteger>("Enabled");
    auto& feature = map.Add<CSmartFeature>("aTestImage", {{"FeatureID", kTestImageId},
                                                          {"Address", "0xFFFFF2F00010"},
                                                          {"pPort", "CameraPort"},
                                                          {"pIsEnabled", "Enabled"}});
    map.Build();
    EXPECT_EQ(NE, feature.GetAccessMode());
    uint8_t reply[24];
    feature.Get(reply, 24);
    EXPECT_EQ("Can't write to Register 281474757558288. Access mode is NE",
              ErrorOf<RuntimeException>([&] { feature.GetValue(); }));
    EXPECT_EQ(0, port.TotalWrites());
    enabled.SetValue(1);
    EXPECT_EQ(RW, feature.GetAccessMode());
    EXPECT_EQ(0, feature.GetValue());
}

TEST(SmartFeatureTest, ReplyShorterThanTheAddressIsRefused) {
    // A reply shorter than 24 bytes would leave the address unread.
    TestNodeMap map;
    auto& shortOne = map.Add<CSmartFeature>("Short", {{"Length", "4"}}, false);
    map.Build();
    EXPECT_EQ("Short : property 'Length' : the smart feature reply is 24 bytes long, not 4",
              ErrorOf<PropertyException>([&] { shortOne.FinalConstruct(); }));
}

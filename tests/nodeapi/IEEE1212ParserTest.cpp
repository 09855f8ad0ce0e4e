// CIEEE1212Parser: ROM checks, directory walks, text leaves, caches,
// invalidation, hostile ROMs (ranges, self-references, sharing, nesting) and
// the text forms.
#include "nodeapi/IEEE1212Parser.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "nodeapi/TxtKey.h"
#include "support/MemoryPort.h"
#include "support/PortFixture.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::TestCategory;
using KacqTest::TestInteger;
using KacqTest::TestNodeMap;

namespace {

constexpr int64_t kRomAddress = 0xFFFFF0000400;
constexpr int64_t kRomSize = 0x400;
constexpr uint64_t kUniqueId = 0x00A0B10012345678ull;

// One directory entry: an immediate value, or a pointer to a labelled block.
struct Entry {
    uint8_t key;
    uint32_t value;
    std::string target;
    Entry(uint8_t k, uint32_t v) : key(k), value(v) {}
    Entry(uint8_t k, const char* t) : key(k), value(0), target(t) {}
};

// Lays out a ROM block by block (in call order) and resolves the pointers of
// the entries to their targets' quadlet offsets at the end.
class RomBuilder {
public:
    explicit RomBuilder(uint64_t uniqueId = kUniqueId, uint32_t first = 0x04000000,
                        uint32_t bus = 0x31333934) {
        m_Q = {first, bus, 0x20FF9002, static_cast<uint32_t>(uniqueId >> 32),
               static_cast<uint32_t>(uniqueId)};
    }

    // A directory; the first one after the bus information block is the root.
    RomBuilder& Directory(const std::string& label, const std::vector<Entry>& entries,
                          uint32_t claimedLength = 0) {
        m_Labels[label] = m_Q.size();
        m_Q.push_back((claimedLength ? claimedLength : entries.size()) << 16);
        for (const Entry& e : entries) {
            if (!e.target.empty())
                m_Fixups.push_back({m_Q.size(), e.target});
            m_Q.push_back(static_cast<uint32_t>(e.key) << 24 | e.value);
        }
        return *this;
    }

    // A textual descriptor leaf, NUL padded to whole quadlets.
    RomBuilder& TextLeaf(const std::string& label, const std::string& text,
                         uint32_t format = 0 /* width, character set, language */,
                         uint32_t descriptor = 0, uint32_t claimedLength = 0) {
        m_Labels[label] = m_Q.size();
        const size_t textQuadlets = (text.size() + 3) / 4;
        m_Q.push_back(static_cast<uint32_t>(claimedLength ? claimedLength : 2 + textQuadlets)
                      << 16);
        m_Q.push_back(descriptor);
        m_Q.push_back(format);
        const std::string padded = text + std::string(textQuadlets * 4 - text.size(), '\0');
        for (size_t at = 0; at < padded.size(); at += 4)
            m_Q.push_back(uint32_t{uint8_t(padded[at])} << 24 |
                          uint32_t{uint8_t(padded[at + 1])} << 16 |
                          uint32_t{uint8_t(padded[at + 2])} << 8 | uint8_t(padded[at + 3]));
        return *this;
    }

    // Index of a label's first quadlet (after Bytes()).
    size_t At(const std::string& label) const { return m_Labels.at(label); }

    std::vector<uint8_t> Bytes(size_t size = kRomSize) {
        for (const auto& f : m_Fixups)
            m_Q[f.first] |= static_cast<uint32_t>(m_Labels.at(f.second) - f.first);
        m_Fixups.clear();
        std::vector<uint8_t> bytes(size, 0);
        for (size_t i = 0; i < m_Q.size() && i * 4 < size; ++i) {
            for (size_t b = 0; b < 4; ++b)
                bytes[i * 4 + b] = static_cast<uint8_t>(m_Q[i] >> (24 - 8 * b));
        }
        return bytes;
    }

private:
    std::vector<uint32_t> m_Q;
    std::map<std::string, size_t> m_Labels;
    std::vector<std::pair<size_t, std::string>> m_Fixups;
};

// The well-formed ROM of an IIDC camera: vendor and capabilities in the
// root, the unit directory with unit specifier 0x00A02D, and the texts in the
// unit-dependent directory.
RomBuilder WellFormedRom() {
    RomBuilder rom;
    rom.Directory("root", {{0x03, 0x00A0B1}, {0x0C, 0x0083C0}, {0xD1, "unit"}})
        .Directory("unit", {{0x12, 0x00A02D}, {0x13, 0x000102}, {0xD4, "dep"}})
        .Directory("dep", {{0x40, 0x003C00}, {0x81, "vendor"}, {0x82, "model"}, {0x38, 0x10}})
        .TextLeaf("vendor", "Vendor Ltd")
        .TextLeaf("model", "eXcite");
    return rom;
}

// A ROM whose root holds only the unit directory: the unit specifier, then entries.
RomBuilder UnitRom(std::vector<Entry> entries, uint64_t uniqueId = kUniqueId) {
    entries.insert(entries.begin(), Entry(0x12, 0x00A02D));
    RomBuilder rom(uniqueId);
    rom.Directory("root", {{0xD1, "unit"}}).Directory("unit", entries);
    return rom;
}

const std::string kVendorText("Vendor Ltd\0\0", 12);
const std::string kModelText("eXcite\0\0", 8);

// The camera's ROM nodes over an in-memory register space.
struct RomFixture {
    MemoryPort port{kRomAddress, kRomSize};
    TestNodeMap map;
    CIEEE1212Parser* parser = nullptr;
    CTxtKey* vendor = nullptr;
    CTxtKey* model = nullptr;

    explicit RomFixture(const std::vector<uint8_t>& rom,
                        const std::function<void(TestNodeMap&)>& more = nullptr) {
        port.Poke(kRomAddress, rom);
        map.AddExternal(port, "CameraPort");
        map.Add<TestInteger>("InitialNodeSpace", {{"Value", "0xFFFFF0000000"}});
        parser = &map.Add<CIEEE1212Parser>("ConfRom", {{"Unit", "0x00A02D"},
                                                       {"Address", "0x400"},
                                                       {"pAddress", "InitialNodeSpace"},
                                                       {"Length", "0x400"},
                                                       {"pPort", "CameraPort"}});
        vendor = &map.Add<CTxtKey>("VendorName", {{"p1212Parser", "ConfRom"}, {"Key", "0x81"}});
        model = &map.Add<CTxtKey>("ModelName", {{"p1212Parser", "ConfRom"}, {"Key", "0x82"}});
        map.Add<TestCategory>("Root", {{"pFeature", "VendorName"}, {"pFeature", "ModelName"}});
        if (more)
            more(map);
        map.Build();
    }

    // The text of a key, or "<not found>".
    std::string Text(uint8_t key) {
        std::string text;
        return parser->GetTextByKey(key, text) ? text : "<not found>";
    }
    // The immediate value of a key, or -1.
    int64_t Immediate(uint8_t key) {
        uint32_t value = 0;
        return parser->GetImmediateByKey(key, value) ? int64_t{value} : -1;
    }
};

// The description of the RuntimeException a call raises, or "<none>".
template <class F>
std::string RuntimeError(F call) {
    try {
        call();
    } catch (const RuntimeException& e) {
        return e.GetDescription();
    }
    return "<none>";
}

bool Matches(const std::string& text, const std::regex& form) {
    return std::regex_match(text, form);
}

// Checks a "p=%p out of range [%p,%p)" text: the range is the 0x400-byte
// image and p lies `offset` bytes after its start.
void ExpectOutOfRange(const std::string& message, uint64_t offset) {
    std::smatch m;
    const std::regex form("p=0x([0-9a-f]+) out of range \\[0x([0-9a-f]+),0x([0-9a-f]+)\\)");
    ASSERT_TRUE(std::regex_match(message, m, form)) << message;
    const uint64_t p = std::stoull(m[1], nullptr, 16), begin = std::stoull(m[2], nullptr, 16);
    EXPECT_EQ(std::make_pair(uint64_t{kRomSize}, offset),
              std::make_pair(uint64_t{std::stoull(m[3], nullptr, 16) - begin}, p - begin))
        << message;
}

} // namespace

TEST(IEEE1212ParserTest, WellFormedRomGivesTextsWithPaddingAndReadsOnce) {
    RomFixture f(WellFormedRom().Bytes());
    EXPECT_EQ(kVendorText + "|" + kModelText + "|" + kModelText,
              f.vendor->GetValue() + "|" + f.model->GetValue() + "|" + f.model->ToString());
    EXPECT_STREQ("Vendor Ltd", f.vendor->GetValue().c_str()); // as a terminated text
    EXPECT_EQ(kUniqueId, f.parser->GetUniqueId());
    // Immediate entries met on the way (0x03 in the root), and those asked for.
    EXPECT_EQ((std::vector<int64_t>{0x00A02D, 0x003C00, 0x00A0B1, -1}),
              (std::vector<int64_t>{f.Immediate(0x12), f.Immediate(0x40), f.Immediate(0x03),
                                    f.Immediate(0x17)}));
    EXPECT_EQ("<not found>", f.Text(0x83));
    // One read of the whole ROM served every lookup, found or not.
    EXPECT_EQ(std::make_pair(1, 1),
              std::make_pair(f.port.TotalReads(), f.port.ReadCount(kRomAddress)));
    EXPECT_EQ(kVendorText, f.vendor->GetValue());
    EXPECT_EQ("<not found>", f.Text(0x83));
    EXPECT_EQ(std::make_pair(1, 0), std::make_pair(f.port.TotalReads(), f.port.TotalWrites()));
}

TEST(IEEE1212ParserTest, BusInformationBlockChecks) {
    const struct {
        uint32_t first;
        uint32_t bus;
        const char* expected;
    } cases[] = {
        {0x03000000, 0x31333934, "unsupported configuration rom"}, // info_length 3
        {0x00000000, 0x31333934, "unsupported configuration rom"},
        {0x04000000, 0x31333935, "unsupported bus"}, // "1395"
        {0x04000000, 0x34393331, "unsupported bus"}, // "1394" the wrong way round
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        RomBuilder rom(kUniqueId, c.first, c.bus);
        rom.Directory("root", {{0x81, "vendor"}}).TextLeaf("vendor", "Vendor Ltd");
        RomFixture f(rom.Bytes());
        EXPECT_EQ(c.expected, RuntimeError([&] { f.vendor->GetValue(); }));
        EXPECT_EQ(0u, f.parser->GetUniqueId());
        // An unusable ROM is not kept, not even in the value cache: the next
        // lookup asks the camera again, and a good ROM is then accepted.
        f.port.Poke(kRomAddress, WellFormedRom().Bytes());
        EXPECT_EQ(1, f.port.TotalReads());
        EXPECT_EQ(kVendorText, f.vendor->GetValue());
        EXPECT_EQ(2, f.port.TotalReads());
    }
}

TEST(IEEE1212ParserTest, SearchOrderAndEntryHandling) {
    // Later entries win (the walk runs backwards); the root is searched
    // before the unit directory; an immediate entry takes the text of the
    // leaf or textual descriptor directory right after it.
    RomBuilder rom;
    rom.Directory("root", {{0x03, 0x00A0B1},
                           {0x81, "company"},
                           {0x17, 0x000042},
                           {0xC1, "modelTexts"},
                           {0x81, "first"},
                           {0x81, "second"},
                           {0x38, 0x000001},
                           {0xD1, "unit"}})
        .Directory("modelTexts", {{0x81, "modelText"}, {0x81, "german"}})
        .Directory("unit", {{0x12, 0x00A02D}, {0xD4, "dep"}})
        .Directory("dep", {{0x81, "unitVendor"}, {0x82, "model"}, {0x82, "modelInGerman"}})
        .TextLeaf("first", "first")
        .TextLeaf("second", "second")
        .TextLeaf("company", "Company")
        .TextLeaf("modelText", "Model 17")
        .TextLeaf("german", "Modell 17", 0x00000007) // language 7
        .TextLeaf("unitVendor", "unit vendor")
        .TextLeaf("model", "eXcite")
        .TextLeaf("modelInGerman", "eXcite DE", 0x00000001); // language 1
    RomFixture f(rom.Bytes());
    EXPECT_EQ(std::string("second\0\0|Company\0|Model 17", 26),
              f.Text(0x81) + "|" + f.Text(0x03) + "|" + f.Text(0x17));
    // A rejected leaf in the unit directory lets the search go on.
    EXPECT_EQ(kModelText, f.Text(0x82));
    // An immediate entry without a descriptor after it: found, but no text.
    EXPECT_EQ("<not found>", f.Text(0x38));
    EXPECT_EQ(1, f.Immediate(0x38));
    // A directory key: an error in the root, no result in the unit directory.
    EXPECT_EQ("Key type is directory (key=0xD1)?!", RuntimeError([&] { f.Text(0xD1); }));
    EXPECT_EQ("<not found>", f.Text(0xD4));
    EXPECT_EQ(1, f.port.TotalReads());
}

TEST(IEEE1212ParserTest, TextLeavesOfOtherFormsAreIgnored) {
    const struct {
        const char* name;
        uint32_t format;     // width (4 bits), character set (12), language (16)
        uint32_t descriptor; // descriptor type (8), specifier ID (24)
        uint32_t claimed;    // leaf length; 0: the real one
    } cases[] = {
        {"language 1", 0x00000001, 0, 0},
        {"specifier ID 1", 0, 0x00000001, 0},
        {"two quadlets, no text", 0, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RomFixture f(UnitRom({{0x81, "vendor"}, {0x82, "model"}})
                         .TextLeaf("vendor", "Vendor Ltd")
                         .TextLeaf("model", "eXcite", c.format, c.descriptor, c.claimed)
                         .Bytes());
        EXPECT_EQ(kVendorText, f.vendor->GetValue());
        EXPECT_EQ("Key 0x82, not found", RuntimeError([&] { f.model->GetValue(); }));
        EXPECT_EQ(1, f.port.TotalReads());
    }
}

TEST(IEEE1212ParserTest, UnitDirectorySelection) {
    // Only the unit directory of the configured unit specifier is searched;
    // one without a specifier is judged by its unit-dependent directory.
    RomBuilder rom;
    rom.Directory("root", {{0xD1, "iidc"}, {0xD1, "other"}, {0xD1, "none"}})
        .Directory("other", {{0x12, 0x00609E}, {0x81, "otherText"}})
        .Directory("none", {{0x83, "noneText"}})
        .Directory("iidc", {{0x82, "model"}, {0xD4, "dep"}})
        .Directory("dep", {{0x12, 0x00A02D}, {0x81, "vendor"}})
        .TextLeaf("otherText", "other unit")
        .TextLeaf("noneText", "no unit")
        .TextLeaf("model", "eXcite")
        .TextLeaf("vendor", "Vendor Ltd");
    RomFixture f(rom.Bytes());
    EXPECT_EQ(kVendorText + kModelText + "<not found>", f.Text(0x81) + f.Text(0x82) + f.Text(0x83));

    // "Unit" picks another unit directory.
    TestNodeMap map;
    MemoryPort port(kRomAddress, kRomSize);
    port.Poke(kRomAddress, rom.Bytes());
    map.AddExternal(port, "CameraPort");
    auto& other = map.Add<CIEEE1212Parser>("Other", {{"Unit", "0x609E"},
                                                     {"Address", "0xFFFFF0000400"},
                                                     {"Length", "0x400"},
                                                     {"pPort", "CameraPort"}});
    map.Build();
    std::string text;
    EXPECT_TRUE(other.GetTextByKey(0x81, text));
    EXPECT_FALSE(other.GetTextByKey(0x82, text));
    EXPECT_EQ(std::string("other unit\0\0", 12), text);
    // The unit specifier is a 24-bit field: 0xFFFFFF is taken, more is refused.
    TestNodeMap fresh;
    auto& parser = fresh.Add<CIEEE1212Parser>("ConfRom", {}, false);
    fresh.Build();
    for (const char* bad : {"xyz", "0x1000000", "-1"})
        EXPECT_EQ(std::string("Property: ConfRom : property 'Unit' : cannot convert value '") +
                      bad + "'",
                  KacqTest::Raised([&] { parser.SetProperty("Unit", bad); }));
    EXPECT_TRUE(parser.SetProperty("Unit", "0xFFFFFF"));
}

TEST(IEEE1212ParserTest, OffsetsOutsideTheRomAreRefused) {
    // Each case: the ROM, the key asked for, the quadlet index of the pointer
    // the message names.
    struct Case {
        const char* name;
        RomBuilder rom;
        uint8_t key;
        uint64_t quadlet;
    };
    std::vector<Case> cases;
    {
        RomBuilder rom;
        rom.Directory("root", {{0x81, "vendor"}}).TextLeaf("vendor", "Vendor Ltd", 0, 0, 250);
        cases.push_back({"leaf running past the end", rom, 0x81, rom.At("vendor") + 250});
    }
    {
        RomBuilder rom;
        rom.Directory("root", {{0x81, 0xFFFFFF}});
        cases.push_back({"leaf pointer past the end", rom, 0x81, 6 + 0xFFFFFF});
    }
    {
        RomBuilder rom;
        rom.Directory("root", {{0x81, "vendor"}}, 0x300);
        rom.TextLeaf("vendor", "Vendor Ltd");
        cases.push_back({"root directory running past the end", rom, 0x81, 5 + 0x300});
    }
    {
        RomBuilder rom;
        rom.Directory("root", {{0xD1, "unit"}})
            .Directory("unit", {{0x12, 0x00A02D}, {0x13, 0x000102}}, 0x200);
        cases.push_back({"unit directory running past the end", rom, 0x81, 7 + 0x200});
    }
    {
        RomBuilder rom(kUniqueId, 0xFF000000);
        cases.push_back({"root directory behind the ROM", rom, 0x81, 0x100});
    }
    {
        RomBuilder rom;
        rom.Directory("root", {{0x03, 0x00A0B1}, {0xC1, 0x0003FF}});
        cases.push_back({"descriptor directory behind the ROM", rom, 0x03, 7 + 0x3FF});
    }
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        RomFixture f(c.rom.Bytes());
        ExpectOutOfRange(RuntimeError([&] { f.Text(c.key); }), c.quadlet * 4);
    }
}

TEST(IEEE1212ParserTest, SelfReferencesSharingAndDeepNestingStayBounded) {
    // Offsets are unsigned: a pointer can only lead forward or, with offset
    // 0, to the entry itself.
    const std::regex self("configuration rom entry at p=0x[0-9a-f]+ points at itself");
    // The text of a key, else the error.
    const auto error = [](RomBuilder rom, uint8_t key) {
        RomFixture f(rom.Bytes());
        std::string text;
        const std::string raised = RuntimeError([&] { text = f.Text(key); });
        return raised == "<none>" ? text : raised;
    };
    RomBuilder unitSelf, leafSelf;
    unitSelf.Directory("root", {{0xD1, "unit"}}).Directory("unit", {{0xD4, 0u}});
    leafSelf.Directory("root", {{0x81, 0u}});
    EXPECT_PRED2(Matches, error(unitSelf, 0x81), self) << "unit-dependent directory";
    EXPECT_PRED2(Matches, error(leafSelf, 0x81), self) << "leaf";
    {
        SCOPED_TRACE("directory below the unit directory pointing at itself");
        RomFixture f(UnitRom({{0xD4, "dep"}})
                         .Directory("dep", {{0xC3, 0u}, {0x81, "vendor"}})
                         .TextLeaf("vendor", "Vendor Ltd")
                         .Bytes());
        // A key found before the bad entry is reached still reads.
        EXPECT_EQ(kVendorText, f.Text(0x81));
        EXPECT_PRED2(Matches, RuntimeError([&] { f.Text(0x82); }), self);
    }
    {
        SCOPED_TRACE("a directory shared by two entries is no loop");
        RomFixture f(UnitRom({{0xD4, "dep"}, {0xD4, "dep"}, {0xD8, "dep"}})
                         .Directory("dep", {{0x81, "vendor"}})
                         .TextLeaf("vendor", "Vendor Ltd")
                         .Bytes());
        EXPECT_EQ(kVendorText + "<not found>", f.Text(0x81) + f.Text(0x82));
    }
    // A chain of directories below the unit directory; with diamond, each
    // points twice at the next: visited naively that is 2^levels walks.
    const auto chain = [](int levels, bool diamond) {
        RomBuilder rom = UnitRom({{0xD4, "d0"}});
        for (int i = 0; i < levels; ++i) {
            const std::string next = "d" + std::to_string(i + 1);
            std::vector<Entry> entries{{0xC5, next.c_str()}};
            if (diamond)
                entries.push_back({0xC6, next.c_str()});
            rom.Directory("d" + std::to_string(i), entries);
        }
        return rom.Directory("d" + std::to_string(levels), {});
    };
    EXPECT_EQ("<not found>", error(chain(30, true), 0x81)) << "diamonds stay linear";
    EXPECT_EQ("configuration rom directories nested deeper than 32 levels",
              error(chain(40, false), 0x81));
}

TEST(IEEE1212ParserTest, InvalidationStartsOverOnlyForAnotherCamera) {
    RomFixture f(WellFormedRom().Bytes());
    EXPECT_EQ(kVendorText, f.vendor->GetValue());
    ASSERT_EQ(1, f.port.TotalReads());

    // Same camera, new text in the port: the ROM is read again, the cached
    // texts stay.
    f.port.Poke(kRomAddress, UnitRom({{0x81, "vendor"}}).TextLeaf("vendor", "Renamed").Bytes());
    f.port.SetChanged(true); // the port tells its dependants, the parser among them
    EXPECT_EQ(kVendorText, f.vendor->GetValue());
    EXPECT_EQ(2, f.port.TotalReads());

    // A closed port: nothing is read, nothing forgotten.
    f.port.SetOpen(false);
    f.parser->InvalidateCache();
    f.port.SetOpen(true);
    EXPECT_EQ(kVendorText, f.vendor->GetValue());
    EXPECT_EQ(2, f.port.TotalReads());

    // Another camera: the caches are emptied and the new ROM parsed.
    f.port.Poke(
        kRomAddress,
        UnitRom({{0x81, "vendor"}}, 0x0000111122223333ull).TextLeaf("vendor", "Other").Bytes());
    f.port.SetChanged(true);
    EXPECT_EQ(std::make_pair(3, uint64_t{0}),
              std::make_pair(f.port.TotalReads(), f.parser->GetUniqueId()));
    EXPECT_EQ(std::string("Other\0\0\0", 8), f.vendor->GetValue());
    EXPECT_EQ(0x0000111122223333ull, f.parser->GetUniqueId());
    EXPECT_EQ("Key 0x82, not found", RuntimeError([&] { f.model->GetValue(); }));
    EXPECT_EQ(3, f.port.TotalReads()); // the invalidation's read is in the value cache

    // A device whose ROM no longer passes the checks counts as another one.
    f.port.Poke(kRomAddress, RomBuilder(kUniqueId, 0x01000000).Bytes());
    f.parser->InvalidateCache();
    EXPECT_EQ(0u, f.parser->GetUniqueId());
    EXPECT_EQ("unsupported configuration rom", RuntimeError([&] { f.vendor->GetValue(); }));
}

TEST(IEEE1212ParserTest, PortFailuresPassThroughAndLeaveNothingBehind) {
    RomFixture f(WellFormedRom().Bytes());
    // Before any ROM was readable: a closed port refuses the read.
    f.port.SetOpen(false);
    EXPECT_EQ("Can't read from Register 0x0000fffff0000400. Access mode is NP",
              RuntimeError([&] { f.vendor->GetValue(); }));
    EXPECT_EQ(NP, f.vendor->GetAccessMode());
    f.port.SetOpen(true);
    // A failing transfer passes through unchanged.
    f.port.FailOnce(kRomAddress, std::make_exception_ptr(InvalidArgumentException("lost", "x", 1)));
    EXPECT_THROW(f.vendor->GetValue(), InvalidArgumentException);
    EXPECT_EQ(0u, f.parser->GetUniqueId());
    EXPECT_EQ(kVendorText, f.vendor->GetValue());
    // A read failing during invalidation: nobody knows which camera answers
    // now, so everything is forgotten and the next lookup reads again.
    f.port.FailOnce(kRomAddress, std::make_exception_ptr(InvalidArgumentException("lost", "x", 1)));
    EXPECT_THROW(f.parser->InvalidateCache(), InvalidArgumentException);
    EXPECT_EQ(0u, f.parser->GetUniqueId());
    const int reads = f.port.TotalReads();
    EXPECT_EQ(kVendorText, f.vendor->GetValue());
    EXPECT_EQ(reads + 1, f.port.TotalReads());
}

// A text key looks up the low byte of its key, reads through the parser's one
// ROM read, and refuses writes; without a parser it refuses reads.
TEST(IEEE1212ParserTest, TextKeysReadThroughTheParserAndAreReadOnly) {
    CTxtKey *wide = nullptr, *missing = nullptr, *orphan = nullptr;
    RomFixture f(WellFormedRom().Bytes(), [&](TestNodeMap& map) {
        wide = &map.Add<CTxtKey>("Wide", {{"p1212Parser", "ConfRom"}, {"Key", "0x181"}});
        missing = &map.Add<CTxtKey>("Missing", {{"p1212Parser", "ConfRom"}, {"Key", "131"}});
        orphan = &map.Add<CTxtKey>("Orphan", {{"Key", "0x81"}}, false);
    });
    CTxtKey& vendor = *f.vendor;
    EXPECT_EQ(kVendorText, wide->ToString());
    const std::string readOnly =
        "LogicalError: TxtKey : VendorName SetValue to Other failed. TxtKey is read only";
    const struct {
        const char* name;
        std::function<void()> action;
        std::string raised;
    } rows[] = {
        {"missing key", [&] { missing->GetValue(); }, "Runtime: Key 0x83, not found"},
        {"set", [&] { vendor.SetValue("Other"); }, readOnly},
        {"assign", [&] { static_cast<IString&>(vendor) = std::string("Other"); }, readOnly},
        {"text", [&] { vendor.FromString("Other"); },
         "LogicalError: NodeImpl VendorName can't set value from string  : Other. Use derived "
         "class!"},
        {"finish without parser", [&] { orphan->FinalConstruct(); },
         "Runtime: pParser not specified"},
        {"read without parser", [&] { orphan->GetValue(); }, "Runtime: pParser not specified"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r.raised, KacqTest::Raised(r.action)) << r.name;
    EXPECT_TRUE(orphan->IsInitialized());
    EXPECT_EQ(std::make_pair(1, 0), std::make_pair(f.port.TotalReads(), f.port.TotalWrites()));
    EXPECT_EQ(kVendorText, vendor.GetValue());
    EXPECT_EQ(RO, vendor.GetAccessMode());
    // The parser is the key's child: a closed port makes the key absent.
    NodeList_t children;
    vendor.GetChildren(children);
    EXPECT_EQ((NodeList_t{f.parser}), children);
    f.port.SetOpen(false);
    EXPECT_EQ(NP, vendor.GetAccessMode());
}

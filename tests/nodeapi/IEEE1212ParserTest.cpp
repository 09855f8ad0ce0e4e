// CIEEE1212Parser: ROM checks, directory walks, text leaves, caches, invalidation,
// hostile ROMs, and the text keys read through it.
#include "nodeapi/IEEE1212Parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "nodeapi/TxtKey.h"
#include "support/MemoryPort.h"
#include "support/Raised.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::MemoryPort;
using KacqTest::Props;
using KacqTest::Raised;
using KacqTest::TestNodeMap;

namespace {

constexpr int64_t kRomAddress = 0xFFFFF0000400;
constexpr int64_t kRomSize = 0x400;
constexpr uint64_t kUniqueId = 0x00A0B10012345678ull;

// A 0x400-byte configuration ROM from blocks separated by ';' (numbers hex):
//   info FIRST BUS  the bus information block's first quadlet and bus name
//   dir NAME E...   a directory (the first is the root); E: KEY=VALUE, KEY>NAME
//   text NAME TEXT  a textual descriptor leaf, NUL padded to whole quadlets
// Options after NAME: len=N claims another length; for text, fmt=F (width,
// character set, language) and desc=D (type, specifier ID).
std::vector<uint8_t> Rom(const std::string& description, uint64_t uniqueId = kUniqueId) {
    std::vector<uint32_t> q{0x04000000, 0x31333934, 0x20FF9002, uint32_t(uniqueId >> 32),
                            uint32_t(uniqueId)};
    std::map<std::string, size_t> at;
    std::vector<std::pair<size_t, std::string>> pointers;
    std::istringstream blocks(description);
    for (std::string block; std::getline(blocks, block, ';');) {
        std::istringstream in(block);
        std::string kind, name, word, text;
        std::map<std::string, uint32_t> option;
        in >> kind >> std::hex;
        if (kind == "info" && in >> q[0] >> q[1])
            continue;
        in >> name;
        const size_t header = at[name] = q.size();
        q.push_back(0);
        while (in >> word) {
            const size_t cut = word.find_first_of("=>");
            const bool immediate = cut != std::string::npos && word[cut] == '=';
            const uint32_t value = immediate ? std::stoul(word.substr(cut + 1), nullptr, 16) : 0;
            if (islower(word[0]) && cut != std::string::npos) {
                option[word.substr(0, cut)] = value;
            } else if (kind == "text") {
                std::getline(in, text);
                text.insert(0, word);
            } else {
                if (cut != std::string::npos && !immediate)
                    pointers.emplace_back(q.size(), word.substr(cut + 1));
                q.push_back(std::stoul(word.substr(0, 2), nullptr, 16) << 24 | value);
            }
        }
        if (kind == "text") {
            q.push_back(option["desc"]);
            q.push_back(option["fmt"]);
            for (size_t i = 0; i < text.size(); ++i) // big-endian, NUL padded
                (i % 4 ? q.back() : q.emplace_back(0)) |= uint32_t(uint8_t(text[i]))
                                                          << (24 - 8 * (i % 4));
        }
        q[header] = uint32_t(option["len"] ? option["len"] : q.size() - header - 1) << 16;
    }
    for (const auto& p : pointers)
        q[p.first] |= uint32_t(at.at(p.second) - p.first);
    std::vector<uint8_t> bytes(kRomSize, 0);
    for (size_t i = 0; i < q.size() * 4 && i < bytes.size(); ++i)
        bytes[i] = uint8_t(q[i / 4] >> (24 - 8 * (i % 4)));
    return bytes;
}

const char* const kWellFormed = "dir root 03=A0B1 0C=83C0 D1>unit; dir unit 12=A02D 13=102 D4>dep;"
                                "dir dep 40=3C00 81>vendor 82>model 38=10;"
                                "text vendor Vendor Ltd; text model eXcite";

// NUL shown as '~'.
const auto Shown = [](std::string t) { return std::replace(t.begin(), t.end(), '\0', '~'), t; };

// Pointers in a message made relative to the ROM image, or "p=?" where it names no range.
std::string Normalized(const std::string& text) {
    unsigned long long p = 0, begin = 0, end = 0;
    int used = 0;
    char shown[96];
    const char* range = "p=0x%llx out of range [0x%llx,0x%llx)%n";
    if (sscanf(text.c_str(), range, &p, &begin, &end, &used) == 3 && size_t(used) == text.size()) {
        snprintf(shown, sizeof shown, "p=+0x%llx out of range [+0x0,+0x%llx)", p - begin,
                 end - begin);
        return shown;
    }
    const size_t at = text.find("p=0x");
    return at == std::string::npos ? text
                                   : text.substr(0, at) + "p=?" + text.substr(text.find(' ', at));
}

struct RomFixture {
    MemoryPort port{kRomAddress, kRomSize};
    TestNodeMap map;
    CIEEE1212Parser* parser = nullptr;
    CTxtKey *vendor = nullptr, *model = nullptr;

    explicit RomFixture(const std::vector<uint8_t>& rom,
                        const std::function<void(TestNodeMap&)>& more = nullptr,
                        const char* unit = "0x00A02D") {
        port.Poke(kRomAddress, rom);
        map.AddExternal(port, "CameraPort");
        parser = &map.Add<CIEEE1212Parser>(
            "ConfRom", Props("Unit=" + std::string(unit) +
                             ";Address=0xFFFFF0000400;Length=0x400;pPort=CameraPort"));
        vendor = &map.Add<CTxtKey>("VendorName", {{"p1212Parser", "ConfRom"}, {"Key", "0x81"}});
        model = &map.Add<CTxtKey>("ModelName", {{"p1212Parser", "ConfRom"}, {"Key", "0x82"}});
        map.Add<KacqTest::TestCategory>("Root", Props("pFeature=VendorName;pFeature=ModelName"));
        if (more)
            more(map);
        map.Build();
    }

    // Each key's text (key in hex) or immediate value ("i" before it; shown in
    // decimal), "-" when not found, or the RuntimeException's text; '|' between.
    std::string Lookup(const std::string& keys) {
        std::istringstream in(keys);
        std::string shown;
        for (std::string key; in >> key;) {
            const bool immediate = key[0] == 'i';
            const uint8_t k = uint8_t(std::stoul(key.substr(immediate), nullptr, 16));
            std::string text;
            uint32_t value = 0;
            try {
                text = immediate
                           ? (parser->GetImmediateByKey(k, value) ? std::to_string(value) : "-")
                           : (parser->GetTextByKey(k, text) ? Shown(text) : "-");
            } catch (const RuntimeException& e) {
                text = Normalized(e.GetDescription());
            }
            shown += (shown.empty() ? "" : "|") + text;
        }
        return shown;
    }

    // Port reads and unique ID (hex) before and after reading a key: its text or what it raises.
    std::string State(CTxtKey* key = nullptr) {
        const auto now = [&] {
            std::ostringstream out;
            out << port.TotalReads() << ' ' << std::hex << parser->GetUniqueId();
            return out.str();
        };
        std::string text = now() + ' ';
        const std::string raised = Raised([&] { text += Shown((key ? key : vendor)->GetValue()); });
        return (raised == "<no exception>" ? text : text + raised) + ' ' + now();
    }
};

// A chain of directories below the unit directory; with diamond, each points
// twice at the next: visited naively that is 2^levels walks.
std::string Chain(int levels, bool diamond) {
    std::string rom = "dir root D1>unit; dir unit 12=A02D D4>d0";
    for (int i = 0; i < levels; ++i) {
        const std::string next = "d" + std::to_string(i + 1);
        rom += "; dir d" + std::to_string(i) + " C5>" + next + (diamond ? " C6>" + next : "");
    }
    return rom + "; dir d" + std::to_string(levels);
}

const std::string kUnit = "dir root D1>unit; dir unit 12=A02D ";

} // namespace

TEST(IEEE1212ParserTest, WellFormedRomGivesPaddedTextsAndImmediatesFromOneRead) {
    RomFixture f(Rom(kWellFormed));
    EXPECT_EQ("0 0 Vendor Ltd~~ 1 a0b10012345678", f.State());
    // Immediates met on the way (0x03 in the root) and asked for: 0xA02D 0x3C00 0xA0B1.
    EXPECT_EQ("41005|15360|41137|-|-|eXcite~~",
              f.Lookup("i12 i40 i03 i17 83") + "|" + Shown(f.model->ToString()));
    EXPECT_EQ("1 a0b10012345678 eXcite~~ 1 a0b10012345678", f.State(f.model));
}

TEST(IEEE1212ParserTest, RomLayoutsAndHostileRoms) {
    const std::string bad = "unsupported configuration rom", bus = "unsupported bus";
    const std::string self = "configuration rom entry at p=? points at itself";
    const auto past = [](std::string p) { return "p=+" + p + " out of range [+0x0,+0x400)"; };
    const struct {
        std::string name, rom, keys, shown;
    } rows[] = {
        {"info_length 3", "info 03000000 31333934; dir root 81>v; text v V", "81", bad},
        {"info_length 0", "info 0 31333934; dir root 81>v; text v V", "81", bad},
        {"bus 1395", "info 04000000 31333935; dir root 81>v; text v V", "81", bus},
        {"bus 1394 backwards", "info 04000000 34393331; dir root 81>v; text v V", "81", bus},
        // Later entries win; the root before the unit directory; an immediate takes the
        // text right after it; a rejected leaf lets the search go on; a directory key
        // is an error in the root only.
        {"search order",
         "dir root 03=A0B1 81>company 17=42 C1>texts 81>first 81>second 38=1 D1>unit;"
         "dir texts 81>mt 81>de; dir unit 12=A02D D4>dep; dir dep 81>uv 82>model 82>modelDe;"
         "text first first; text second second; text company Company; text mt Model 17;"
         "text de fmt=7 Modell 17; text uv unit vendor; text model eXcite;"
         "text modelDe fmt=1 eXcite DE",
         "81 03 17 82 38 i38 D1 D4",
         "second~~|Company~|Model 17|eXcite~~|-|1|Key type is directory (key=0xD1)?!|-"},
        {"language 1", kUnit + "81>v 82>m; text v V; text m fmt=1 eXcite", "81 82", "V~~~|-"},
        {"specifier ID 1", kUnit + "81>v 82>m; text v V; text m desc=1 eXcite", "81 82", "V~~~|-"},
        {"two quadlets, no text", kUnit + "82>m; text m len=2 eXcite", "82", "-"},
        // Only the unit directory of our specifier (or whose dependent one has it) counts.
        {"unit selection",
         "dir root D1>iidc D1>other D1>none; dir other 12=609E 81>ot; dir none 83>nt;"
         "dir iidc 82>model D4>dep; dir dep 12=A02D 81>v; text ot other unit;"
         "text nt no unit; text model eXcite; text v Vendor Ltd",
         "81 82 83", "Vendor Ltd~~|eXcite~~|-"},
        {"leaf past the end", "dir root 81>v; text v len=FA V", "81", past("0x404")},
        {"leaf pointer past the end", "dir root 81=FFFFFF", "81", past("0x4000014")},
        {"root past the end", "dir root len=300 81>v; text v V", "81", past("0xc14")},
        {"unit past the end", "dir root D1>unit; dir unit len=200 12=A02D", "81", past("0x81c")},
        {"root behind the ROM", "info FF000000 31333934", "81", past("0x400")},
        {"descriptor directory behind the ROM", "dir root 03=A0B1 C1=3FF", "03", past("0x1018")},
        // Offsets are unsigned: a pointer leads forward or, with 0, to the entry itself.
        {"unit-dependent directory at itself", "dir root D1>unit; dir unit D4=0", "81", self},
        {"leaf at itself", "dir root 81=0", "81", self},
        {"below the unit at itself", kUnit + "D4>d; dir d C3=0 81>v; text v V", "81 82",
         "V~~~|" + self},
        {"shared, no loop", kUnit + "D4>d D4>d D8>d; dir d 81>v; text v V", "81 82", "V~~~|-"},
        {"32 levels, each twice: linear, within the limit", Chain(30, true), "81", "-"},
        {"33 levels", Chain(31, false), "81",
         "configuration rom directories nested deeper than 32 levels"},
    };
    for (const auto& r : rows) {
        RomFixture f(Rom(r.rom));
        EXPECT_EQ(r.shown, f.Lookup(r.keys)) << r.name;
    }
}

TEST(IEEE1212ParserTest, UnitPropertyPicksTheUnitDirectory) {
    CIEEE1212Parser* loose = nullptr;
    const auto rom = Rom("dir root D1>iidc D1>other; dir other 12=609E 81>ot;"
                         "dir iidc 12=A02D 82>m; text ot other unit; text m eXcite");
    RomFixture f(
        rom, [&](TestNodeMap& map) { loose = &map.Add<CIEEE1212Parser>("Loose", {}, false); },
        "0x609E");
    EXPECT_EQ("other unit~~|-", f.Lookup("81 82"));
    // The unit specifier is a 24-bit field: 0xFFFFFF is taken, more is refused.
    for (const char* bad : {"xyz", "0x1000000", "-1"})
        EXPECT_EQ(std::string("Property: Loose : property 'Unit' : cannot convert value '") + bad +
                      "'",
                  Raised([&] { loose->SetProperty("Unit", bad); }));
    EXPECT_TRUE(loose->SetProperty("Unit", "0xFFFFFF"));
}

TEST(IEEE1212ParserTest, InvalidationStartsOverOnlyForAnotherCamera) {
    RomFixture f(Rom(kWellFormed));
    EXPECT_EQ("0 0 Vendor Ltd~~ 1 a0b10012345678", f.State());
    // Same camera, new text; the port tells the parser: one read, cached texts stay.
    f.port.Poke(kRomAddress, Rom(kUnit + "81>v; text v Renamed"));
    f.port.SetChanged(true);
    EXPECT_EQ("2 a0b10012345678 Vendor Ltd~~ 2 a0b10012345678", f.State());
    f.port.SetOpen(false);
    f.parser->InvalidateCache();
    f.port.SetOpen(true);
    EXPECT_EQ("2 a0b10012345678 Vendor Ltd~~ 2 a0b10012345678", f.State());
    // Another camera: caches emptied, the invalidation's read serves the lookups.
    f.port.Poke(kRomAddress, Rom(kUnit + "81>v; text v Other", 0x111122223333ull));
    f.port.SetChanged(true);
    EXPECT_EQ("3 0 Other~~~ 3 111122223333", f.State());
    EXPECT_EQ("3 111122223333 Runtime: Key 0x82, not found 3 111122223333", f.State(f.model));
    // A device whose ROM no longer passes the checks counts as another one.
    f.port.Poke(kRomAddress, Rom("info 01000000 31333934"));
    f.parser->InvalidateCache();
    EXPECT_EQ("4 0 Runtime: unsupported configuration rom 4 0", f.State());
    // An unusable ROM is not kept, not even in the value cache: a good one is read.
    f.port.Poke(kRomAddress, Rom(kWellFormed));
    EXPECT_EQ("4 0 Vendor Ltd~~ 5 a0b10012345678", f.State());
}

TEST(IEEE1212ParserTest, PortFailuresPassThroughAndLeaveNothingBehind) {
    RomFixture f(Rom(kWellFormed));
    f.port.SetOpen(false);
    EXPECT_EQ("0 0 Runtime: Can't read from Register 0x0000fffff0000400. Access mode is NP 0 0",
              f.State());
    f.port.SetOpen(true);
    const auto lost = std::make_exception_ptr(InvalidArgumentException("lost", "x", 1));
    f.port.FailOnce(kRomAddress, lost);
    EXPECT_EQ("0 0 InvalidArgument: lost 1 0", f.State());
    EXPECT_EQ("1 0 Vendor Ltd~~ 2 a0b10012345678", f.State());
    // A read failing during invalidation: which camera answers? Everything is forgotten.
    f.port.FailOnce(kRomAddress, lost);
    EXPECT_EQ("InvalidArgument: lost", Raised([&] { f.parser->InvalidateCache(); }));
    EXPECT_EQ("3 0 Vendor Ltd~~ 4 a0b10012345678", f.State());
}

TEST(IEEE1212ParserTest, TextKeysReadThroughTheParserAndAreReadOnly) {
    CTxtKey *wide = nullptr, *orphan = nullptr;
    RomFixture f(Rom(kWellFormed), [&](TestNodeMap& map) {
        wide = &map.Add<CTxtKey>("Wide", {{"p1212Parser", "ConfRom"}, {"Key", "0x181"}});
        orphan = &map.Add<CTxtKey>("Orphan", {{"Key", "0x81"}}, false);
    });
    EXPECT_EQ("Vendor Ltd~~", Shown(wide->ToString()));
    EXPECT_EQ("LogicalError: TxtKey : VendorName SetValue to Other failed. TxtKey is read only",
              Raised([&] { f.vendor->SetValue("Other"); }));
    EXPECT_EQ("LogicalError: NodeImpl VendorName can't set value from string  : Other. Use derived "
              "class!",
              Raised([&] { f.vendor->FromString("Other"); }));
    EXPECT_EQ("Runtime: pParser not specified", Raised([&] { orphan->GetValue(); }));
    EXPECT_EQ(std::make_tuple(1, 0, "Vendor Ltd~~", RO),
              (std::tuple{f.port.TotalReads(), f.port.TotalWrites(), Shown(f.vendor->GetValue()),
                          f.vendor->GetAccessMode()}));
    // The parser is the key's child: a closed port makes the key absent.
    NodeList_t children;
    f.vendor->GetChildren(children);
    EXPECT_EQ((NodeList_t{f.parser}), children);
    f.port.SetOpen(false);
    EXPECT_EQ(NP, f.vendor->GetAccessMode());
}

// Fuzz target: arbitrary bytes as the camera's 1 KiB configuration ROM behind
// a port, then every lookup the camera tree makes (vendor and model names, one
// key taken from the input, an immediate value), an invalidation with a second
// ROM image when the input is long enough, and the same bytes as a smart
// feature's inquiry reply (the "FeatureID" texts have a target of their own). Any crash, sanitizer
// report, hang, escaped exception outside the framework's family, or broken invariant fails.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "nodeapi/IEEE1212Parser.h"
#include "nodeapi/NodeMap.h"
#include "nodeapi/SmartFeature.h"
#include "nodeapi/TxtKey.h"

namespace {

using namespace NodeApi;

constexpr int64_t kRomAddress = 0xFFFFF0000400;
constexpr size_t kRomSize = 0x400;
constexpr int64_t kAdvancedBase = 0xFFFFF2F00000;
constexpr size_t kAdvancedSize = 0x100;

// Two byte blocks at fixed addresses; any access outside them fails like an
// absent camera register does.
class FuzzPort : public CNodeImpl, public IPort {
public:
    std::vector<uint8_t> rom = std::vector<uint8_t>(kRomSize, 0);
    std::vector<uint8_t> advanced = std::vector<uint8_t>(kAdvancedSize, 0);

    void Read(void* destination, int64_t address, int64_t length) override {
        std::memcpy(destination, Block(address, length), static_cast<size_t>(length));
    }
    void Write(const void* source, int64_t address, int64_t length) override {
        std::memcpy(Block(address, length), source, static_cast<size_t>(length));
    }
    EAccessMode GetAccessMode() override { return RW; }

private:
    uint8_t* Block(int64_t address, int64_t length) {
        if (length >= 0) {
            if (address >= kRomAddress &&
                static_cast<uint64_t>(address - kRomAddress) + static_cast<uint64_t>(length) <=
                    kRomSize)
                return rom.data() + (address - kRomAddress);
            if (address >= kAdvancedBase &&
                static_cast<uint64_t>(address - kAdvancedBase) + static_cast<uint64_t>(length) <=
                    kAdvancedSize)
                return advanced.data() + (address - kAdvancedBase);
        }
        NODEAPI_RAISE(RuntimeException, "FuzzPort : no register at 0x%llx",
                      static_cast<unsigned long long>(address));
    }
};

void Fill(std::vector<uint8_t>& block, const uint8_t* data, size_t size) {
    std::fill(block.begin(), block.end(), 0);
    std::memcpy(block.data(), data, std::min(size, block.size()));
}

// A text read from the ROM is a whole number of quadlets of the image.
void CheckText(CTxtKey& key) {
    try {
        const std::string text = key.GetValue();
        if (text.size() % 4 != 0 || text.size() > kRomSize - 12)
            std::abort();
    } catch (const GenericException&) {
    }
}

void Lookups(CIEEE1212Parser& parser, CTxtKey& vendor, CTxtKey& model, CTxtKey& extra) {
    CheckText(vendor);
    CheckText(model);
    CheckText(extra);
    try {
        uint32_t value = 0;
        if (parser.GetImmediateByKey(0x40, value) && value > 0x00FFFFFF)
            std::abort();
    } catch (const GenericException&) {
    }
    // A second lookup answers from the caches or searches again; either way
    // it must not fail differently from a clean state in a way that crashes.
    CheckText(vendor);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    CNodeMap map;
    FuzzPort port;
    CIEEE1212Parser parser;
    CTxtKey vendor, model, extra;
    CSmartFeature feature;
    Fill(port.rom, data, size);
    Fill(port.advanced, data, size);

    port.SetNodeMap(&map, "CameraPort");
    parser.SetNodeMap(&map, "ConfRom");
    vendor.SetNodeMap(&map, "VendorName");
    model.SetNodeMap(&map, "ModelName");
    extra.SetNodeMap(&map, "Extra");
    feature.SetNodeMap(&map, "aTestImage");
    parser.SetProperty("Unit", "0x00A02D");
    parser.SetProperty("Address", "0xFFFFF0000400");
    parser.SetProperty("Length", "0x400");
    parser.SetProperty("pPort", "CameraPort");
    vendor.SetProperty("p1212Parser", "ConfRom");
    vendor.SetProperty("Key", "0x81");
    model.SetProperty("p1212Parser", "ConfRom");
    model.SetProperty("Key", "0x82");
    extra.SetProperty("p1212Parser", "ConfRom");
    extra.SetProperty("Key", std::to_string(size > 0 ? data[size - 1] : 0));
    feature.SetProperty("Address", "0xFFFFF2F00010");
    feature.SetProperty("pPort", "CameraPort");
    try {
        feature.SetProperty("FeatureID", text);
    } catch (const PropertyException&) {
    }
    port.FinalConstruct();
    parser.FinalConstruct();
    vendor.FinalConstruct();
    model.FinalConstruct();
    extra.FinalConstruct();
    feature.FinalConstruct();

    Lookups(parser, vendor, model, extra);
    if (size > kRomSize) {
        // Another image behind the same port: the invalidation decides
        // whether it is the same camera.
        Fill(port.rom, data + kRomSize, size - kRomSize);
        try {
            parser.InvalidateCache();
        } catch (const GenericException&) {
        }
        Lookups(parser, vendor, model, extra);
    }

    // The inquiry reply's quadlets 4 (low) and 5 (high), big-endian, are what
    // the write of the 16-byte inquiry left in place after them.
    const uint8_t* r = port.advanced.data() + 0x10 + 16;
    const uint64_t expected =
        static_cast<uint64_t>(r[4]) << 56 | static_cast<uint64_t>(r[5]) << 48 |
        static_cast<uint64_t>(r[6]) << 40 | static_cast<uint64_t>(r[7]) << 32 |
        static_cast<uint64_t>(r[0]) << 24 | static_cast<uint64_t>(r[1]) << 16 |
        static_cast<uint64_t>(r[2]) << 8 | r[3];
    if (static_cast<uint64_t>(feature.GetValue()) != expected)
        std::abort();
    if (feature.ToString() != (expected != 0 ? "1" : "0"))
        std::abort();
    return 0;
}

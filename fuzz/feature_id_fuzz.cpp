// Fuzz target: arbitrary bytes as a smart feature's "FeatureID" text. A text
// is either refused with the framework's property error, leaving the node's
// identifier as it was, or read as a GUID whose canonical form reads back to
// the same GUID and the same inquiry quadlets.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "nodeapi/NodeMap.h"
#include "nodeapi/SmartFeature.h"

namespace {

using namespace NodeApi;

constexpr char kKnownId[] = "2A411342-C0CA-4368-B46E-EE5DEEBF0548";

void CheckParse(const std::string& text) {
    Guid guid;
    if (!ParseGuid(text, guid))
        return;
    Guid again;
    if (!ParseGuid(GuidText(guid), again))
        std::abort();
    uint8_t a[16], b[16];
    GuidInquiry(guid, a);
    GuidInquiry(again, b);
    if (std::memcmp(a, b, sizeof a) != 0)
        std::abort();
}

void CheckProperty(const std::string& text) {
    CNodeMap map;
    CSmartFeature feature;
    feature.SetNodeMap(&map, "aFeature");
    feature.SetProperty("FeatureID", kKnownId);
    Guid guid;
    const bool valid = ParseGuid(text, guid);
    try {
        feature.SetProperty("FeatureID", text);
        if (!valid)
            std::abort();
    } catch (const PropertyException&) {
        if (valid)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckParse(text);
    CheckProperty(text);
    return 0;
}

// GUID text to smart-feature inquiry quadlets.
#include "emulator/Guid.h"

#include <cctype>
#include <stdexcept>
#include <vector>

namespace Emulator {

GuidQuadlets ParseGuid(const std::string& text) {
    static const size_t kDigits[5] = {8, 4, 4, 4, 12};
    std::vector<uint64_t> groups;
    size_t pos = 0;
    for (size_t g = 0; g < 5; ++g) {
        while (pos < text.size() && text[pos] == ' ') {
            ++pos;
        }
        uint64_t v = 0;
        size_t n = 0;
        while (pos < text.size() && std::isxdigit(static_cast<unsigned char>(text[pos]))) {
            const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[pos])));
            v = v * 16 + static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
            ++pos;
            ++n;
            if (n > kDigits[g]) {
                break;
            }
        }
        if (n != kDigits[g]) {
            throw std::invalid_argument("malformed GUID '" + text + "'");
        }
        groups.push_back(v);
        while (pos < text.size() && text[pos] == ' ') {
            ++pos;
        }
        if (g < 4) {
            if (pos >= text.size() || text[pos] != '-') {
                throw std::invalid_argument("malformed GUID '" + text + "'");
            }
            ++pos;
        }
    }
    if (pos != text.size()) {
        throw std::invalid_argument("malformed GUID '" + text + "'");
    }
    uint8_t d4[8];
    d4[0] = static_cast<uint8_t>(groups[3] >> 8);
    d4[1] = static_cast<uint8_t>(groups[3]);
    for (int i = 0; i < 6; ++i) {
        d4[2 + i] = static_cast<uint8_t>(groups[4] >> (40 - 8 * i));
    }
    auto word = [&](int first) {
        return static_cast<uint32_t>(d4[first + 3]) << 24 |
               static_cast<uint32_t>(d4[first + 2]) << 16 |
               static_cast<uint32_t>(d4[first + 1]) << 8 | d4[first];
    };
    return {static_cast<uint32_t>(groups[0]), static_cast<uint32_t>(groups[2] << 16 | groups[1]),
            word(0), word(4)};
}

} // namespace Emulator

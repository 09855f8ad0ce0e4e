// Fuzz target: arbitrary bytes as a GVSP datagram (leader, payload, trailer).
// Whatever parses must encode back to the same bytes; nothing may read outside
// the datagram.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gtrans/Wire.h"

using namespace gvwire;

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> copy(data, data + size);
    GvspHeader header;
    const uint8_t* body = nullptr;
    size_t length = 0;
    if (!ParseGvsp(copy.data(), copy.size(), header, body, length))
        return 0;
    Check(header.blockId != 0 && header.packetId <= kMaxPacketId && header.format < 0x80);
    Check(body == copy.data() + kGvspHeaderSize && length + kGvspHeaderSize == size);
    std::vector<uint8_t> out(size + 64);
    ImageLeader leader;
    if (ParseLeader(body, length, leader)) {
        Check(EncodeLeader(out.data(), out.size(), header.blockId, leader) == kLeaderSize);
        // The field-info and reserved bytes are not kept; the rest is.
        Check(std::memcmp(out.data() + 10, copy.data() + 10, kLeaderSize - 10) == 0);
        (void)PixelFormatBytes(leader.pixelFormat);
    }
    ImageTrailer trailer;
    if (ParseTrailer(body, length, trailer) && header.packetId != 0) {
        Check(EncodeTrailer(out.data(), out.size(), header.blockId, header.packetId, trailer) ==
              kTrailerSize);
        Check(std::memcmp(out.data() + 10, copy.data() + 10, kTrailerSize - 10) == 0);
    }
    if (header.format == kFormatPayload && header.packetId != 0) {
        Check(EncodePayload(out.data(), out.size(), header.blockId, header.packetId, body, length,
                            header.status) == size);
        Check(std::memcmp(out.data(), copy.data(), size) == 0);
    }
    return 0;
}

// Test picture generator.
#include "emulator/TestImage.h"

namespace Emulator {

uint32_t PositionCode(uint32_t x, uint32_t y, uint64_t number, uint8_t depth) {
    // A 64-bit finaliser over the three coordinates: every input bit reaches
    // every output bit.
    uint64_t h = (uint64_t(x) << 32 | y) ^ (number * 0x9E3779B97F4A7C15ull);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    const uint32_t max = depth >= 32 ? 0xFFFFFFFFu : (1u << depth) - 1;
    return uint32_t(h) & max;
}

uint32_t TestSample(uint8_t testImage, uint32_t x, uint32_t y, uint64_t number, uint8_t depth) {
    const uint32_t max = depth >= 32 ? 0xFFFFFFFFu : (1u << depth) - 1;
    switch (testImage) {
    case 2: // vertical bars, 8 levels, 32 pixels wide
        return ((x / 32) % 8) * max / 7;
    case 3: // 8x8 checkerboard
        return (((x / 8) + (y / 8)) % 2) ? max : 0;
    case kPositionCodeImage: {
        // A picture a person can look at (diagonal stripes drifting with the
        // frame number, crossed by a bright moving bar) in the high bits, the
        // position code in the low bits: a moved or stale sample still differs
        // from the expected one in 3 of 4 cases (15 of 16 from 12 bits on).
        const uint8_t codeBits = depth >= 12 ? 4 : 2;
        const uint32_t scene = ((x - 8 * uint32_t(number)) % 512 < 24)
                                   ? 0xFF
                                   : ((x + y) / 2 + 4 * uint32_t(number)) % 192 + 32;
        const uint32_t high = depth >= 8 ? scene << (depth - 8) : scene >> (8 - depth);
        const uint32_t code = PositionCode(x, y, number, codeBits);
        return ((high & ~((1u << codeBits) - 1)) | code) & max;
    }
    default: // diagonal gradient moving with the frame number
        return uint32_t((uint64_t(x) + y + number) & max);
    }
}

size_t RenderFrame(const FrameInfo& frame, SampleOrder order, uint8_t* destination, size_t size) {
    const bool single = frame.colorCoding == kMono8 || frame.colorCoding == kRaw8;
    const bool wide = frame.colorCoding == kMono16 || frame.colorCoding == kRaw16;
    if (destination == nullptr || (!single && !wide) || frame.width == 0 || frame.height == 0) {
        return 0;
    }
    const unsigned bpp = single ? 1 : 2;
    const uint64_t bytes = uint64_t(frame.width) * frame.height * bpp;
    if (bytes != frame.totalBytes || bytes > size) {
        return 0;
    }
    const uint8_t depth = single ? 8 : (frame.dataDepth ? frame.dataDepth : 16);
    const uint32_t max = (1u << depth) - 1;
    uint8_t* p = destination;
    uint64_t index = 0;
    for (uint32_t row = 0; row < frame.height; ++row) {
        for (uint32_t col = 0; col < frame.width; ++col, ++index) {
            uint32_t v =
                TestSample(frame.testImage, frame.left + col, frame.top + row, frame.number, depth);
            if (index < 4) {
                v = uint32_t(frame.number >> (24 - 8 * index)) & 0xFF & max;
            }
            if (single) {
                *p++ = uint8_t(v);
            } else if (order == SampleOrder::BigEndian) {
                *p++ = uint8_t(v >> 8);
                *p++ = uint8_t(v);
            } else {
                *p++ = uint8_t(v);
                *p++ = uint8_t(v >> 8);
            }
        }
    }
    return size_t(bytes);
}

std::vector<uint8_t> RenderFrame(const FrameInfo& frame, SampleOrder order) {
    std::vector<uint8_t> buffer(size_t(frame.totalBytes));
    if (RenderFrame(frame, order, buffer.data(), buffer.size()) != buffer.size()) {
        buffer.clear();
    }
    return buffer;
}

std::vector<uint8_t> StreamImage(FrameInfo frame) {
    if (frame.testImage == 0) {
        frame.testImage = kPositionCodeImage;
    }
    return RenderFrame(frame, SampleOrder::LittleEndian);
}

} // namespace Emulator

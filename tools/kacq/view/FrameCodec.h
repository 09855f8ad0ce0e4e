// Frames as the view hands them to a browser: 8-bit display samples, JPEG
// through libturbojpeg, PNG through libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace KacqView {

// One received frame: width x height samples, 1 or 2 bytes each. 2-byte
// samples arrive little-endian (the stream's order) and hold `bits`
// significant bits in the low end.
struct Frame {
    uint64_t number = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bytesPerSample = 1;
    uint32_t bits = 8;
    std::vector<uint8_t> data; // width * height * bytesPerSample bytes
};

// The frame scaled to 8 bits per sample for display: 8-bit frames as they
// are, wider samples shifted down by bits - 8. Empty when the frame's size
// does not match its data.
std::vector<uint8_t> DisplaySamples(const Frame& frame);

// Grayscale JPEG of the display samples; empty on failure.
std::string EncodeJpeg(const Frame& frame, int quality);

// Grayscale PNG at the frame's own depth (8 bits, or 16 bits big-endian as
// PNG stores them); empty on failure.
std::string EncodePng(const Frame& frame);

} // namespace KacqView

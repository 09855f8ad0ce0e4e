// Deterministic test pictures for the emulated camera's frames, in the
// geometry and colour coding of a FrameInfo.
#pragma once

#include "emulator/RegisterSpace.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Emulator {

// Byte order of 16-bit samples. IIDC sends them big-endian; the network
// stream carries them little-endian.
enum class SampleOrder { BigEndian, LittleEndian };

// Test picture number of the position code: not selectable through the test
// image register (whose field holds 0..7); the network camera shows it in place
// of the live picture, so a receiver can check every byte it was sent.
constexpr uint8_t kPositionCodeImage = 8;

// The position code: a value that mixes x, y and the frame number, so that a
// sample moved to another place or taken from another frame differs from the
// expected one (in all but 1 of 2^depth cases per sample), scaled to `depth` bits.
uint32_t PositionCode(uint32_t x, uint32_t y, uint64_t number, uint8_t depth);

// Sample value of sensor pixel (x, y) in frame `number`, before the frame
// counter is stamped: a diagonal gradient that moves one step per frame
// (picture 0, the live picture, and test image 1), vertical bars (test image
// 2), a checkerboard of 8x8 tiles (test image 3) or, for kPositionCodeImage,
// drifting stripes and a moving bar with the position code in the low bits,
// scaled to `depth` bits.
uint32_t TestSample(uint8_t testImage, uint32_t x, uint32_t y, uint64_t number, uint8_t depth);

// Renders one frame into `destination` (at least frame.totalBytes bytes).
// Samples follow TestSample at sensor coordinates (left + column, top + row),
// so an AOI shows the part of the picture it covers; the first four samples
// carry the frame number's low 32 bits, one byte each, most significant
// first. Returns the bytes written, 0 when the buffer is too small or the
// layout is empty or not an 8/16-bit single-sample coding.
size_t RenderFrame(const FrameInfo& frame, SampleOrder order, uint8_t* destination, size_t size);

// Convenience: a buffer of exactly frame.totalBytes bytes.
std::vector<uint8_t> RenderFrame(const FrameInfo& frame, SampleOrder order);

// The image bytes the network camera sends for `frame`: the live picture (test
// image 0) replaced by the position code, 16-bit samples little-endian. A
// receiver computes the expected bytes of frame k from the layout it set up
// (CurrentLayout with `number` = k).
std::vector<uint8_t> StreamImage(FrameInfo frame);

} // namespace Emulator

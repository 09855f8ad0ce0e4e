// JPEG and PNG encoding of received frames for the browser.
#include "FrameCodec.h"

#include <png.h>
#include <turbojpeg.h>

#include <csetjmp>

namespace KacqView {

namespace {

bool Consistent(const Frame& f) {
    if (f.width == 0 || f.height == 0 || (f.bytesPerSample != 1 && f.bytesPerSample != 2))
        return false;
    const uint64_t size = uint64_t(f.width) * f.height * f.bytesPerSample;
    return size == f.data.size();
}

void AppendPng(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), length);
}

void FlushPng(png_structp) {}

// libpng reports a failure by a long jump back to the setjmp: nothing that
// lives across it is created or changed here, so nothing can be clobbered.
bool WritePng(png_structp png, png_infop info, const Frame& frame, std::string& out,
              std::vector<uint8_t>& row) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, &out, AppendPng, FlushPng);
    png_set_IHDR(png, info, frame.width, frame.height, frame.bytesPerSample == 2 ? 16 : 8,
                 PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    for (uint32_t y = 0; y < frame.height; ++y) {
        const uint8_t* in = frame.data.data() + size_t(y) * row.size();
        if (frame.bytesPerSample == 2) {
            for (size_t i = 0; i + 1 < row.size(); i += 2) {
                row[i] = in[i + 1];
                row[i + 1] = in[i];
            }
        } else {
            std::copy(in, in + row.size(), row.begin());
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    return true;
}

} // namespace

std::vector<uint8_t> DisplaySamples(const Frame& frame) {
    if (!Consistent(frame))
        return {};
    if (frame.bytesPerSample == 1)
        return frame.data;
    const unsigned shift = frame.bits > 8 && frame.bits <= 16 ? frame.bits - 8 : 8;
    const size_t count = size_t(frame.width) * frame.height;
    std::vector<uint8_t> out(count);
    const uint8_t* in = frame.data.data();
    for (size_t i = 0; i < count; ++i) {
        const unsigned v = unsigned(in[2 * i]) | unsigned(in[2 * i + 1]) << 8;
        const unsigned s = v >> shift;
        out[i] = uint8_t(s > 255 ? 255 : s);
    }
    return out;
}

std::string EncodeJpeg(const Frame& frame, int quality) {
    const std::vector<uint8_t> samples = DisplaySamples(frame);
    if (samples.empty())
        return {};
    tjhandle handle = tjInitCompress();
    if (handle == nullptr)
        return {};
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    std::string out;
    if (tjCompress2(handle, samples.data(), int(frame.width), 0, int(frame.height), TJPF_GRAY,
                    &jpeg, &size, TJSAMP_GRAY, quality, TJFLAG_FASTDCT) == 0)
        out.assign(reinterpret_cast<const char*>(jpeg), size);
    tjFree(jpeg);
    tjDestroy(handle);
    return out;
}

std::string EncodePng(const Frame& frame) {
    if (!Consistent(frame))
        return {};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr)
        return {};
    png_infop info = png_create_info_struct(png);
    std::string out;
    // Rows in the PNG's order: 16-bit samples big-endian.
    std::vector<uint8_t> row(size_t(frame.width) * frame.bytesPerSample);
    const bool written = info != nullptr && WritePng(png, info, frame, out, row);
    png_destroy_write_struct(&png, &info);
    return written ? out : std::string();
}

} // namespace KacqView

// Image files read back by independent readers: PGM parsed here, PNG
// decoded with libpng; same pixels for 8- and 16-bit images.
#include <gtest/gtest.h>
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "KorlanTest.h"

namespace {

using namespace KorlanTest;

struct Decoded {
    int width = 0;
    int height = 0;
    int maxval = 0;   // PGM only
    int bitDepth = 0; // PNG only
    int colorType = -1;
    std::vector<uint16_t> pixels;
    // "WxH maxval M" of a PGM, "WxH depth D color C" of a PNG.
    std::string Header() const {
        return std::to_string(width) + "x" + std::to_string(height) +
               (maxval
                    ? " maxval " + std::to_string(maxval)
                    : " depth " + std::to_string(bitDepth) + " color " + std::to_string(colorType));
    }
};

std::string tempPath(const char* suffix) {
    static int serial = 0;
    return ::testing::TempDir() + "korlan_image_" + std::to_string(getpid()) + "_" +
           std::to_string(serial++) + suffix;
}

// Binary PGM: "P5", width, height, maxval separated by whitespace, one
// whitespace byte, then samples (2 bytes big-endian when maxval > 255).
bool readPgm(const std::string& path, Decoded* out) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    in >> magic >> out->width >> out->height >> out->maxval;
    if (!in || magic != "P5" || in.get() != '\n')
        return false;
    size_t n = static_cast<size_t>(out->width) * static_cast<size_t>(out->height);
    int bytes = out->maxval > 255 ? 2 : 1;
    std::vector<unsigned char> raw(n * bytes);
    in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
    if (static_cast<size_t>(in.gcount()) != raw.size() || in.peek() != EOF)
        return false;
    out->pixels.resize(n);
    for (size_t i = 0; i < n; ++i)
        out->pixels[i] =
            bytes == 2 ? static_cast<uint16_t>(raw[2 * i] << 8 | raw[2 * i + 1]) : raw[i];
    return true;
}

bool readPng(const std::string& path, Decoded* out) {
    // Declared before setjmp: a longjmp back here must not skip destructors.
    std::vector<unsigned char> rows;
    std::vector<png_bytep> pointers;
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    out->width = static_cast<int>(png_get_image_width(png, info));
    out->height = static_cast<int>(png_get_image_height(png, info));
    out->bitDepth = png_get_bit_depth(png, info);
    out->colorType = png_get_color_type(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    rows.resize(rowBytes * static_cast<size_t>(out->height));
    pointers.resize(static_cast<size_t>(out->height));
    for (int y = 0; y < out->height; ++y)
        pointers[static_cast<size_t>(y)] = rows.data() + static_cast<size_t>(y) * rowBytes;
    png_read_image(png, pointers.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(f);
    size_t n = static_cast<size_t>(out->width) * static_cast<size_t>(out->height);
    out->pixels.resize(n);
    for (size_t i = 0; i < n; ++i)
        out->pixels[i] = out->bitDepth == 16
                             ? static_cast<uint16_t>(rows[2 * i] << 8 | rows[2 * i + 1])
                             : rows[i];
    return true;
}

// An image over a test buffer: 8-bit or 16-bit with `bits` significant bits.
struct TestImage {
    std::vector<uint16_t> words;
    std::vector<uint8_t> bytes;
    HostImage image{};

    TestImage(int32_t kind, int32_t w, int32_t h, uint8_t bits, uint16_t (*pixel)(int, int)) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                words.push_back(pixel(x, y));
        bytes.assign(words.begin(), words.end());
        void* data = kind == K_PIXEL_BYTE ? static_cast<void*>(bytes.data()) : words.data();
        EXPECT_EQ(KNewImagePtr(nullptr, &image, kind, w, h, data, 0), K_OK);
        image.significantBits = bits;
    }
};

uint16_t ramp8(int x, int y) {
    return static_cast<uint16_t>((x * 7 + y * 31) & 0xFF);
}
uint16_t ramp10(int x, int y) {
    return static_cast<uint16_t>((x * 37 + y * 101) & 0x3FF);
}
uint16_t wide16(int x, int y) {
    return static_cast<uint16_t>(x * 2053 + y * 40009 + 0x0102);
}

// PGM takes its maxval from the significant bits; PNG is gray, 16-bit
// samples unscaled.
TEST(KorlanImageFile, FilesReadBackTheSamePixels) {
    const int32_t B = K_PIXEL_BYTE, U2 = K_PIXEL_UINT2;
    const struct {
        const char* what;
        bool png;
        int32_t kind;
        uint8_t bits;
        uint16_t (*pixel)(int, int);
        const char* header;
    } cases[] = {
        {"pgm 8-bit", false, B, 8, ramp8, "13x7 maxval 255"},
        {"pgm 10 bits in 16", false, U2, 10, ramp10, "13x7 maxval 1023"},
        {"pgm 12 bits in 16", false, U2, 12, ramp10, "13x7 maxval 4095"},
        {"pgm full 16 bits", false, U2, 16, wide16, "13x7 maxval 65535"},
        {"pgm 10 bits claimed, wider samples", false, U2, 10, wide16, "13x7 maxval 65535"},
        {"pgm 16-bit with 8 bits claimed", false, U2, 8, ramp8, "13x7 maxval 65535"},
        {"png 8-bit", true, B, 8, ramp8, "13x7 depth 8 color 0"},
        {"png 12 bits in 16, unscaled", true, U2, 12, ramp10, "13x7 depth 16 color 0"},
        {"png full 16 bits", true, U2, 16, wide16, "13x7 depth 16 color 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestImage t(c.kind, 13, 7, c.bits, c.pixel);
        std::string path = tempPath(c.png ? ".png" : ".pgm");
        ASSERT_EQ((c.png ? KWritePng : KWritePgm)(&t.image, path.c_str()), K_OK);
        Decoded d;
        ASSERT_TRUE(c.png ? readPng(path, &d) : readPgm(path, &d));
        EXPECT_EQ(d.Header(), c.header);
        EXPECT_EQ(d.pixels, t.words);
        remove(path.c_str());
    }
}

TEST(KorlanImageFile, FailuresAreCodesAndPrinted) {
    uint8_t pixels[4] = {1, 2, 3, 4};
    HostImage image{};
    ASSERT_EQ(KNewImagePtr(nullptr, &image, K_PIXEL_BYTE, 2, 2, pixels, 0), K_OK);
    const struct {
        const char* what;
        void (*spoil)(HostImage&);
        KErr expected;
    } bad[] = {
        {"kind 3", [](HostImage& b) { b.kind = 3; }, K_ERR_BAD_PIXEL_KIND},
        {"width 0", [](HostImage& b) { b.width = 0; }, K_ERR_BAD_SIZE},
        {"height -4", [](HostImage& b) { b.height = -4; }, K_ERR_BAD_SIZE},
        {"65536 squared", [](HostImage& b) { b.width = b.height = 65536; }, K_ERR_BAD_SIZE},
        {"no data", [](HostImage& b) { b.data = nullptr; }, K_ERR_NULL_POINTER},
    };
    for (auto write : {KWritePgm, KWritePng}) {
        ASSERT_EQ(KClearLastErrorMessage(), K_OK);
        EXPECT_EQ(write(&image, "/nonexistent-dir/x/image"), K_ERR_FILE);
        EXPECT_EQ(lastMessage(), "korlan: cannot create image file '/nonexistent-dir/x/image'");
        EXPECT_EQ(write(&image, ::testing::TempDir().c_str()), K_ERR_FILE) << "a directory";
        EXPECT_EQ(write(nullptr, "x"), K_ERR_NULL_POINTER);
        EXPECT_EQ(write(&image, nullptr), K_ERR_NULL_POINTER);
        for (const auto& b : bad) {
            HostImage spoilt = image;
            b.spoil(spoilt);
            EXPECT_EQ(write(&spoilt, "x"), b.expected) << b.what;
        }
    }
    EXPECT_EQ(access("x", F_OK), -1) << "no file is created for a refused image";
}

} // namespace

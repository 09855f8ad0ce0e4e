// Image files: binary PGM (8-bit, 16-bit big-endian) and gray PNG through
// libpng.
#include <inttypes.h>
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "korlan/HostInternal.h"

namespace korlan {
namespace {

// Checks an image before it is written: known kind, positive size that fits
// a host block, pixel memory present.
KErr checkImage(const HostImage* image, size_t* rowBytes) {
    if (image == nullptr || image->data == nullptr)
        return K_ERR_NULL_POINTER;
    int32_t bpp;
    if (image->kind == K_PIXEL_BYTE)
        bpp = 1;
    else if (image->kind == K_PIXEL_UINT2)
        bpp = 2;
    else
        return K_ERR_BAD_PIXEL_KIND;
    if (image->width <= 0 || image->height <= 0)
        return K_ERR_BAD_SIZE;
    uint64_t total = static_cast<uint64_t>(image->width) * static_cast<uint64_t>(image->height) *
                     static_cast<uint64_t>(bpp);
    if (total > static_cast<uint64_t>(K_MAX_BLOCK_SIZE))
        return K_ERR_BAD_SIZE;
    *rowBytes = static_cast<size_t>(image->width) * static_cast<size_t>(bpp);
    return K_OK;
}

// 16-bit PGM maxval: 2^bits - 1 for 9 to 16 significant bits when every
// sample fits, else 65535 (so no sample is ever altered).
uint32_t pgmMaxval16(const HostImage* image) {
    uint8_t bits = image->significantBits;
    if (bits < 9 || bits > 16)
        return 65535;
    uint32_t maxval = (1u << bits) - 1;
    const uint16_t* p = static_cast<const uint16_t*>(image->data);
    size_t n = static_cast<size_t>(image->width) * static_cast<size_t>(image->height);
    for (size_t i = 0; i < n; ++i) {
        if (p[i] > maxval)
            return 65535;
    }
    return maxval;
}

KErr finishFile(FILE* f, bool ok, const char* path) {
    if (fclose(f) != 0)
        ok = false;
    if (!ok) {
        remove(path);
        printHostError("korlan: cannot write image file '%.512s'", path);
        return K_ERR_FILE;
    }
    return K_OK;
}

KErr openForWrite(const char* path, FILE** f) {
    *f = fopen(path, "wb");
    if (*f == nullptr) {
        printHostError("korlan: cannot create image file '%.512s'", path);
        return K_ERR_FILE;
    }
    return K_OK;
}

struct PngState {
    png_structp png;
    png_infop info;
};

void pngError(png_structp png, png_const_charp message) {
    printHostError("korlan: PNG: %.256s", message);
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// Everything that must survive a longjmp out of libpng lives in the caller;
// nothing with a destructor is alive in this frame.
bool writePngRows(PngState* state, FILE* f, const HostImage* image, size_t rowBytes,
                  unsigned char* row) {
    if (setjmp(png_jmpbuf(state->png)))
        return false;
    png_init_io(state->png, f);
    int depth = image->kind == K_PIXEL_BYTE ? 8 : 16;
    png_set_IHDR(state->png, state->info, static_cast<png_uint_32>(image->width),
                 static_cast<png_uint_32>(image->height), depth, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(state->png, state->info);
    const unsigned char* src = static_cast<const unsigned char*>(image->data);
    for (int32_t y = 0; y < image->height; ++y) {
        const unsigned char* line = src + static_cast<size_t>(y) * rowBytes;
        if (depth == 8) {
            memcpy(row, line, rowBytes);
        } else {
            // PNG samples are big-endian; the image holds native uint16.
            for (size_t x = 0; x + 1 < rowBytes; x += 2) {
                uint16_t v;
                memcpy(&v, line + x, 2);
                row[x] = static_cast<unsigned char>(v >> 8);
                row[x + 1] = static_cast<unsigned char>(v & 0xFF);
            }
        }
        png_write_row(state->png, row);
    }
    png_write_end(state->png, nullptr);
    return true;
}

} // namespace
} // namespace korlan

using namespace korlan;

extern "C" {

KErr KWritePgm(const HostImage* image, const char* path) {
    size_t rowBytes = 0;
    if (path == nullptr)
        return K_ERR_NULL_POINTER;
    KErr rc = checkImage(image, &rowBytes);
    if (rc != K_OK)
        return rc;
    uint32_t maxval = image->kind == K_PIXEL_BYTE ? 255 : pgmMaxval16(image);
    FILE* f = nullptr;
    rc = openForWrite(path, &f);
    if (rc != K_OK)
        return rc;
    bool ok = fprintf(f, "P5\n%" PRId32 " %" PRId32 "\n%" PRIu32 "\n", image->width, image->height,
                      maxval) > 0;
    const unsigned char* src = static_cast<const unsigned char*>(image->data);
    if (image->kind == K_PIXEL_BYTE) {
        size_t total = rowBytes * static_cast<size_t>(image->height);
        ok = ok && fwrite(src, 1, total, f) == total;
    } else {
        // Most significant byte first, row by row.
        unsigned char* row = static_cast<unsigned char*>(malloc(rowBytes));
        if (row == nullptr) {
            fclose(f);
            remove(path);
            return K_ERR_OUT_OF_MEMORY;
        }
        for (int32_t y = 0; ok && y < image->height; ++y) {
            const unsigned char* line = src + static_cast<size_t>(y) * rowBytes;
            for (size_t x = 0; x + 1 < rowBytes; x += 2) {
                uint16_t v;
                memcpy(&v, line + x, 2);
                row[x] = static_cast<unsigned char>(v >> 8);
                row[x + 1] = static_cast<unsigned char>(v & 0xFF);
            }
            ok = fwrite(row, 1, rowBytes, f) == rowBytes;
        }
        free(row);
    }
    return finishFile(f, ok, path);
}

KErr KWritePng(const HostImage* image, const char* path) {
    size_t rowBytes = 0;
    if (path == nullptr)
        return K_ERR_NULL_POINTER;
    KErr rc = checkImage(image, &rowBytes);
    if (rc != K_OK)
        return rc;
    unsigned char* row = static_cast<unsigned char*>(malloc(rowBytes));
    if (row == nullptr)
        return K_ERR_OUT_OF_MEMORY;
    FILE* f = nullptr;
    rc = openForWrite(path, &f);
    if (rc != K_OK) {
        free(row);
        return rc;
    }
    PngState state{nullptr, nullptr};
    state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (state.png != nullptr)
        state.info = png_create_info_struct(state.png);
    bool ok = state.png != nullptr && state.info != nullptr &&
              writePngRows(&state, f, image, rowBytes, row);
    png_destroy_write_struct(&state.png, &state.info);
    free(row);
    return finishFile(f, ok, path);
}

} // extern "C"

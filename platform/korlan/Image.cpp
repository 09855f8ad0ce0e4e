// Host image objects: images with their own pixel memory, images over a
// caller's buffer, and their release.
#include <stdlib.h>
#include <string.h>

#include <mutex>
#include <unordered_map>

#include "korlan/HostInternal.h"

namespace korlan {
namespace {

// Pixel memory KNewImage allocated and that no KClearImage or later
// KNewImage has released yet. An image's `ownsData` is trusted only when its
// data pointer is in this set, so a stale or uninitialised image object can
// never make the host free memory it did not allocate.
struct ImageMemory {
    std::mutex lock;
    std::unordered_map<void*, size_t> owned; // pixel memory -> bytes
};

ImageMemory& imageMemory() {
    static ImageMemory* m = new ImageMemory(); // never destroyed: used until exit
    return *m;
}

int32_t bytesPerPixel(int32_t kind) {
    switch (kind) {
    case K_PIXEL_BYTE:
        return 1;
    case K_PIXEL_UINT2:
        return 2;
    default:
        return 0;
    }
}

// Checks kind and size; the pixel count times the pixel size must fit a host
// block.
KErr imageBytes(int32_t kind, int32_t width, int32_t height, size_t* bytes) {
    int32_t bpp = bytesPerPixel(kind);
    if (bpp == 0)
        return K_ERR_BAD_PIXEL_KIND;
    if (width <= 0 || height <= 0)
        return K_ERR_BAD_SIZE;
    uint64_t n =
        static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * static_cast<uint64_t>(bpp);
    if (n > static_cast<uint64_t>(K_MAX_BLOCK_SIZE))
        return K_ERR_BAD_SIZE;
    *bytes = static_cast<size_t>(n);
    return K_OK;
}

void releaseOwnedData(HostImage* image) {
    if (image->ownsData == 0 || image->data == nullptr)
        return;
    ImageMemory& m = imageMemory();
    std::lock_guard<std::mutex> guard(m.lock);
    auto it = m.owned.find(image->data);
    if (it != m.owned.end()) {
        m.owned.erase(it);
        free(image->data);
    }
}

void describe(HostImage* image, int32_t kind, int32_t width, int32_t height, void* data,
              bool owns) {
    memset(image, 0, sizeof *image);
    image->kind = kind;
    image->data = data;
    image->significantBits = static_cast<uint8_t>(8 * bytesPerPixel(kind));
    image->ownsData = owns ? 1 : 0;
    image->width = width;
    image->height = height;
    image->bytesPerPixel = bytesPerPixel(kind);
}

KErr newOwnedImage(HostImage* image, int32_t kind, int32_t width, int32_t height,
                   const void* source) {
    size_t bytes = 0;
    KErr rc = imageBytes(kind, width, height, &bytes);
    if (rc != K_OK)
        return rc;
    void* data = (source == nullptr && clearNewImages() != 0) ? calloc(1, bytes) : malloc(bytes);
    if (data == nullptr)
        return K_ERR_OUT_OF_MEMORY;
    if (source != nullptr)
        memcpy(data, source, bytes);
    {
        ImageMemory& m = imageMemory();
        std::lock_guard<std::mutex> guard(m.lock);
        try {
            m.owned.emplace(data, bytes);
        } catch (...) {
            free(data);
            return K_ERR_OUT_OF_MEMORY;
        }
    }
    releaseOwnedData(image);
    describe(image, kind, width, height, data, true);
    return K_OK;
}

} // namespace
} // namespace korlan

using namespace korlan;

extern "C" {

KErr KNewImage(KProcHandle /*proc*/, HostImage* image, int32_t kind, int32_t width,
               int32_t height) {
    if (image == nullptr)
        return K_ERR_NULL_POINTER;
    return newOwnedImage(image, kind, width, height, nullptr);
}

KErr KNewImagePtr(KProcHandle /*proc*/, HostImage* image, int32_t kind, int32_t width,
                  int32_t height, void* data, int32_t copy) {
    if (image == nullptr || data == nullptr)
        return K_ERR_NULL_POINTER;
    // copy != 0: the image gets its own copy of the pixels instead.
    if (copy != 0)
        return newOwnedImage(image, kind, width, height, data);
    size_t bytes = 0;
    KErr rc = imageBytes(kind, width, height, &bytes);
    if (rc != K_OK)
        return rc;
    if (image->ownsData != 0 && image->data == data) {
        // Re-described over its own pixel memory: keep it, if it is large
        // enough, rather than free memory the image is to show.
        ImageMemory& m = imageMemory();
        std::lock_guard<std::mutex> guard(m.lock);
        auto it = m.owned.find(data);
        if (it != m.owned.end()) {
            if (bytes > it->second)
                return K_ERR_BAD_SIZE;
            describe(image, kind, width, height, data, true);
            return K_OK;
        }
    }
    releaseOwnedData(image);
    describe(image, kind, width, height, data, false);
    return K_OK;
}

KErr KClearImage(HostImage* image) {
    if (image == nullptr)
        return K_ERR_NULL_POINTER;
    releaseOwnedData(image);
    memset(image, 0, sizeof *image);
    return K_OK;
}

} // extern "C"

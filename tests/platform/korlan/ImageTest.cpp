// Host image objects: own pixel memory, wrapped buffers that stay the
// caller's, reuse of an image object, and refused kinds and sizes.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "korlan/KorlanApp.h"

namespace {

TEST(KorlanImage, NewImageOwnsClearedPixelsOfTheKindsSize) {
    struct Case {
        int32_t kind;
        int32_t bytesPerPixel;
        uint8_t bits;
    };
    for (Case c : {Case{K_PIXEL_BYTE, 1, 8}, Case{K_PIXEL_UINT2, 2, 16}}) {
        HostImage image{};
        ASSERT_EQ(KNewImage(nullptr, &image, c.kind, 5, 3), K_OK) << c.kind;
        EXPECT_EQ(image.kind, c.kind);
        ASSERT_NE(image.data, nullptr);
        EXPECT_EQ(image.ownsData, 1);
        EXPECT_EQ(image.significantBits, c.bits);
        EXPECT_EQ(image.width, 5);
        EXPECT_EQ(image.height, 3);
        EXPECT_EQ(image.bytesPerPixel, c.bytesPerPixel);
        const unsigned char* p = static_cast<const unsigned char*>(image.data);
        for (int i = 0; i < 5 * 3 * c.bytesPerPixel; ++i)
            EXPECT_EQ(p[i], 0) << "global 64 is set: new pixels are cleared";
        memset(image.data, 0xAB, 5 * 3 * c.bytesPerPixel); // all of it is writable
        EXPECT_EQ(KClearImage(&image), K_OK);
        EXPECT_EQ(image.data, nullptr);
        EXPECT_EQ(image.kind, 0);
    }
}

TEST(KorlanImage, NewImagePtrWrapsTheBufferWithoutTakingIt) {
    std::vector<uint16_t> buffer(4 * 2, 0x0123);
    HostImage image{};
    ASSERT_EQ(KNewImagePtr(nullptr, &image, K_PIXEL_UINT2, 4, 2, buffer.data(), 0), K_OK);
    EXPECT_EQ(image.data, buffer.data());
    EXPECT_EQ(image.ownsData, 0);
    EXPECT_EQ(image.kind, K_PIXEL_UINT2);
    // Neither clearing nor re-creating the image frees the caller's buffer
    // (the sanitizer build would report a bad free of vector storage).
    EXPECT_EQ(KClearImage(&image), K_OK);
    ASSERT_EQ(KNewImagePtr(nullptr, &image, K_PIXEL_BYTE, 8, 2, buffer.data(), 0), K_OK);
    ASSERT_EQ(KNewImage(nullptr, &image, K_PIXEL_BYTE, 2, 2), K_OK);
    EXPECT_NE(image.data, static_cast<void*>(buffer.data()));
    EXPECT_EQ(buffer[0], 0x0123);
    EXPECT_EQ(KClearImage(&image), K_OK);
}

TEST(KorlanImage, NewImagePtrWithCopyGetsItsOwnPixels) {
    uint8_t pixels[6] = {1, 2, 3, 4, 5, 6};
    HostImage image{};
    ASSERT_EQ(KNewImagePtr(nullptr, &image, K_PIXEL_BYTE, 3, 2, pixels, 1), K_OK);
    EXPECT_EQ(image.ownsData, 1);
    ASSERT_NE(image.data, static_cast<void*>(pixels));
    EXPECT_EQ(memcmp(image.data, pixels, sizeof pixels), 0);
    EXPECT_EQ(KClearImage(&image), K_OK);
}

TEST(KorlanImage, ReusingAnImageReleasesItsEarlierPixelsOnly) {
    HostImage image{};
    ASSERT_EQ(KNewImage(nullptr, &image, K_PIXEL_BYTE, 64, 64), K_OK);
    // A second image over the first one's pixels: no leak, no double free.
    ASSERT_EQ(KNewImage(nullptr, &image, K_PIXEL_UINT2, 32, 32), K_OK);
    // Wrapping its own pixels again keeps them (and refuses a larger size).
    void* own = image.data;
    ASSERT_EQ(KNewImagePtr(nullptr, &image, K_PIXEL_BYTE, 32, 64, own, 0), K_OK);
    EXPECT_EQ(image.ownsData, 1);
    EXPECT_EQ(KNewImagePtr(nullptr, &image, K_PIXEL_BYTE, 64, 64, own, 0), K_ERR_BAD_SIZE);
    EXPECT_EQ(KClearImage(&image), K_OK);

    // An image object with garbage fields never makes the host free them.
    HostImage garbage;
    memset(&garbage, 0x5A, sizeof garbage);
    garbage.ownsData = 1;
    ASSERT_EQ(KNewImage(nullptr, &garbage, K_PIXEL_BYTE, 1, 1), K_OK);
    EXPECT_EQ(KClearImage(&garbage), K_OK);
    memset(&garbage, 0x5A, sizeof garbage);
    EXPECT_EQ(KClearImage(&garbage), K_OK);
}

TEST(KorlanImage, GlobalZeroLeavesNewPixelsToTheCaller) {
    int32_t saved = -1;
    ASSERT_EQ(KAccessGlVar(nullptr, K_GLOBAL_64, K_GLOBAL_READ, &saved, 0.0, 0, 0, 0), K_OK);
    EXPECT_EQ(saved, 1);
    ASSERT_EQ(KAccessGlVar(nullptr, K_GLOBAL_64, K_GLOBAL_WRITE, nullptr, 0.0, 0, 0, 0), K_OK);
    HostImage image{};
    EXPECT_EQ(KNewImage(nullptr, &image, K_PIXEL_BYTE, 16, 16), K_OK);
    EXPECT_NE(image.data, nullptr);
    EXPECT_EQ(KClearImage(&image), K_OK);
    ASSERT_EQ(KAccessGlVar(nullptr, K_GLOBAL_64, K_GLOBAL_WRITE, nullptr, saved, 0, 0, 0), K_OK);
}

TEST(KorlanImage, RefusedKindsSizesAndPointersLeaveTheImageUnchanged) {
    uint8_t buffer[4] = {};
    struct Case {
        const char* what;
        int32_t kind;
        int32_t width;
        int32_t height;
        KErr expected;
    };
    const Case cases[] = {
        {"kind 0", 0, 2, 2, K_ERR_BAD_PIXEL_KIND},
        {"kind 2", 2, 2, 2, K_ERR_BAD_PIXEL_KIND},
        {"kind 4", 4, 2, 2, K_ERR_BAD_PIXEL_KIND},
        {"kind 1025", 1025, 2, 2, K_ERR_BAD_PIXEL_KIND},
        {"width 0", K_PIXEL_BYTE, 0, 2, K_ERR_BAD_SIZE},
        {"height 0", K_PIXEL_BYTE, 2, 0, K_ERR_BAD_SIZE},
        {"negative width", K_PIXEL_BYTE, -2, 2, K_ERR_BAD_SIZE},
        {"negative height", K_PIXEL_UINT2, 2, -1, K_ERR_BAD_SIZE},
        {"product overflows int32", K_PIXEL_BYTE, 65536, 65536, K_ERR_BAD_SIZE},
        {"two bytes push it over", K_PIXEL_UINT2, 40000, 40000, K_ERR_BAD_SIZE},
        {"INT32_MAX squared", K_PIXEL_UINT2, INT32_MAX, INT32_MAX, K_ERR_BAD_SIZE},
    };
    for (const Case& c : cases) {
        HostImage image{};
        image.width = 77;
        EXPECT_EQ(KNewImage(nullptr, &image, c.kind, c.width, c.height), c.expected) << c.what;
        EXPECT_EQ(image.width, 77) << c.what;
        EXPECT_EQ(image.data, nullptr) << c.what;
        EXPECT_EQ(KNewImagePtr(nullptr, &image, c.kind, c.width, c.height, buffer, 0), c.expected)
            << c.what;
        EXPECT_EQ(image.width, 77) << c.what;
    }
    HostImage image{};
    EXPECT_EQ(KNewImage(nullptr, nullptr, K_PIXEL_BYTE, 1, 1), K_ERR_NULL_POINTER);
    EXPECT_EQ(KNewImagePtr(nullptr, nullptr, K_PIXEL_BYTE, 1, 1, buffer, 0), K_ERR_NULL_POINTER);
    EXPECT_EQ(KNewImagePtr(nullptr, &image, K_PIXEL_BYTE, 1, 1, nullptr, 0), K_ERR_NULL_POINTER);
    EXPECT_EQ(KClearImage(nullptr), K_ERR_NULL_POINTER);
}

} // namespace

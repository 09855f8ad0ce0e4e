// Host image objects; the sanitizer build reports a wrong free or a leak.
#include <string.h>

#include <tuple>

#include "KorlanTest.h"

namespace {

using namespace KorlanTest;

TEST(KorlanImage, ImagesOwnClearedPixelsOfTheKindsSizeAndReleaseOnlyTheirOwn) {
    for (int32_t kind : {K_PIXEL_BYTE, K_PIXEL_UINT2}) {
        HostImage image{};
        ASSERT_EQ(KNewImage(nullptr, &image, kind, 5, 3), K_OK) << kind;
        const int bytes = 5 * 3 * image.bytesPerPixel;
        EXPECT_EQ(Show(image),
                  kind == K_PIXEL_BYTE ? "1 5x3 1B 8b owns 1" : "1024 5x3 2B 16b owns 1");
        EXPECT_EQ(std::string(static_cast<char*>(image.data), bytes), std::string(bytes, '\0'))
            << "global 64 is set: new pixels are cleared";
        memset(image.data, 0xAB, bytes); // all of it is writable
        EXPECT_EQ(KClearImage(&image), K_OK);
        EXPECT_EQ(Show(image) + (image.data ? " data" : ""), "0 0x0 0B 0b owns 0");
    }
    std::vector<uint16_t> buffer(4 * 2, 0x0123);
    HostImage image{};
    ASSERT_EQ(KNewImagePtr(nullptr, &image, K_PIXEL_UINT2, 4, 2, buffer.data(), 0), K_OK);
    EXPECT_EQ(Show(image) + (image.data == buffer.data() ? " wraps" : ""),
              "1024 4x2 2B 16b owns 0 wraps");
    // Neither clearing nor re-creating the image frees the caller's buffer.
    EXPECT_EQ(KClearImage(&image), K_OK);
    ASSERT_EQ(KNewImagePtr(nullptr, &image, K_PIXEL_BYTE, 8, 2, buffer.data(), 0), K_OK);
    ASSERT_EQ(KNewImage(nullptr, &image, K_PIXEL_BYTE, 2, 2), K_OK);
    EXPECT_NE(image.data, static_cast<void*>(buffer.data()));
    EXPECT_EQ(buffer[0], 0x0123);
    uint8_t pixels[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(KNewImagePtr(nullptr, &image, K_PIXEL_BYTE, 3, 2, pixels, 1), K_OK);
    EXPECT_EQ(image.ownsData, 1);
    ASSERT_NE(image.data, static_cast<void*>(pixels));
    EXPECT_EQ(memcmp(image.data, pixels, sizeof pixels), 0);
    ASSERT_EQ(KNewImage(nullptr, &image, K_PIXEL_BYTE, 64, 64), K_OK);
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

TEST(KorlanImage, RefusedKindsSizesAndPointersLeaveTheImageUnchanged) {
    uint8_t buffer[4] = {};
    const int32_t B = K_PIXEL_BYTE, U2 = K_PIXEL_UINT2, M = INT32_MAX;
    const KErr K = K_ERR_BAD_PIXEL_KIND, S = K_ERR_BAD_SIZE, N = K_ERR_NULL_POINTER;
    const std::tuple<const char*, int32_t, int32_t, int32_t, KErr> cases[] = {
        {"kind 0", 0, 2, 2, K},
        {"kind 2", 2, 2, 2, K},
        {"kind 4", 4, 2, 2, K},
        {"kind 1025", 1025, 2, 2, K},
        {"width 0", B, 0, 2, S},
        {"height 0", B, 2, 0, S},
        {"negative width", B, -2, 2, S},
        {"negative height", U2, 2, -1, S},
        {"int32 overflow", B, 65536, 65536, S},
        {"two bytes push it over", U2, 40000, 40000, S},
        {"INT32_MAX squared", U2, M, M, S},
    };
    for (const auto& [what, kind, width, height, expected] : cases) {
        HostImage image{};
        image.width = 77;
        const KErr a = KNewImage(nullptr, &image, kind, width, height);
        const KErr b = KNewImagePtr(nullptr, &image, kind, width, height, buffer, 0);
        EXPECT_EQ(std::make_tuple(a, b, Show(image), image.data),
                  std::make_tuple(expected, expected, "0 77x0 0B 0b owns 0", nullptr))
            << what;
    }
    HostImage image{};
    EXPECT_EQ((std::vector<KErr>{KNewImage(nullptr, nullptr, B, 1, 1),
                                 KNewImagePtr(nullptr, nullptr, B, 1, 1, buffer, 0),
                                 KNewImagePtr(nullptr, &image, B, 1, 1, nullptr, 0),
                                 KClearImage(nullptr)}),
              std::vector<KErr>(4, N));
}

} // namespace

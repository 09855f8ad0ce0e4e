// Image files read back by independent readers (PGM parsed here, PNG decoded
// with libpng), and writes that fail leaving what was at the path as it was.
#include <gtest/gtest.h>
#include <png.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "KorlanTest.h"

namespace {

using namespace KorlanTest;

// "WxH 8|16-bit gray" of a PNG file, its samples in `pixels`; "" if no PNG. libpng reads
// 16-bit samples as linear, so they come back unscaled.
std::string readPng(const std::string& path, std::vector<uint16_t>* pixels) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return "";
    const bool wide = (png.format & PNG_FORMAT_FLAG_LINEAR) != 0;
    const std::string header = std::to_string(png.width) + "x" + std::to_string(png.height) +
                               (wide ? " 16-bit" : " 8-bit") +
                               ((png.format & ~PNG_FORMAT_FLAG_LINEAR) ? " not gray" : " gray");
    std::vector<uint16_t> words(png.width * png.height);
    std::vector<uint8_t> bytes(words.size());
    png.format = wide ? PNG_FORMAT_LINEAR_Y : PNG_FORMAT_GRAY;
    if (!png_image_finish_read(&png, nullptr,
                               wide ? static_cast<void*>(words.data()) : bytes.data(), 0, nullptr))
        return "";
    wide ? pixels->assign(words.begin(), words.end()) : pixels->assign(bytes.begin(), bytes.end());
    return header;
}

// A 13x7 image over a test buffer, samples (x * 2053 + y * 40009 + 0x0102) & mask.
struct TestImage {
    TestImage(int32_t kind, uint8_t bits, uint16_t mask) {
        for (int i = 0; i < 13 * 7; ++i)
            words.push_back(((i % 13) * 2053 + (i / 13) * 40009 + 0x0102) & mask);
        bytes.assign(words.begin(), words.end());
        void* data = kind == K_PIXEL_BYTE ? static_cast<void*>(bytes.data()) : words.data();
        EXPECT_EQ(KNewImagePtr(nullptr, &image, kind, 13, 7, data, 0), K_OK);
        image.significantBits = bits;
    }
    std::vector<uint16_t> words;
    std::vector<uint8_t> bytes;
    HostImage image{};
};

// A binary PGM: header, then the samples, 16-bit ones most significant byte first.
std::string pgm(const TestImage& t, const char* maxval) {
    std::string bytes = "P5\n13 7\n" + std::string(maxval) + "\n";
    for (uint16_t sample : t.words) {
        if (t.image.kind == K_PIXEL_UINT2)
            bytes += static_cast<char>(sample >> 8);
        bytes += static_cast<char>(sample & 0xFF);
    }
    return bytes;
}

TEST(KorlanImageFile, FilesHoldTheImagesPixels) {
    const int32_t B = K_PIXEL_BYTE, U2 = K_PIXEL_UINT2;
    // Kind, significant bits, sample mask; the PNG header or the PGM maxval.
    const std::tuple<const char*, bool, int32_t, uint8_t, uint16_t, const char*> cases[] = {
        {"pgm 8-bit", false, B, 8, 0xFF, "255"},
        {"pgm 10 bits in 16", false, U2, 10, 0x3FF, "1023"},
        {"pgm 12 bits in 16", false, U2, 12, 0x3FF, "4095"},
        {"pgm full 16 bits", false, U2, 16, 0xFFFF, "65535"},
        {"pgm 10 bits claimed, wider samples", false, U2, 10, 0xFFFF, "65535"},
        {"pgm 16-bit with 8 bits claimed", false, U2, 8, 0xFF, "65535"},
        {"png 8-bit", true, B, 8, 0xFF, "13x7 8-bit gray"},
        {"png 12 bits in 16, unscaled", true, U2, 12, 0x3FF, "13x7 16-bit gray"},
        {"png full 16 bits", true, U2, 16, 0xFFFF, "13x7 16-bit gray"},
    };
    Folder folder;
    for (const auto& [what, png, kind, bits, mask, header] : cases) {
        SCOPED_TRACE(what);
        TestImage t(kind, bits, mask);
        const std::string path = folder / "image";
        ASSERT_EQ((png ? KWritePng : KWritePgm)(&t.image, path.c_str()), K_OK);
        std::vector<uint16_t> pixels;
        const std::string read = png ? readPng(path, &pixels) : contents(path);
        EXPECT_EQ(read, png ? header : pgm(t, header));
        EXPECT_EQ(pixels, png ? t.words : std::vector<uint16_t>{});
    }
}

TEST(KorlanImageFile, RefusedImagesAndPathsAreCodesAndPrinted) {
    uint8_t pixels[4] = {1, 2, 3, 4};
    HostImage image{};
    ASSERT_EQ(KNewImagePtr(nullptr, &image, K_PIXEL_BYTE, 2, 2, pixels, 0), K_OK);
    const std::tuple<const char*, void (*)(HostImage&), KErr> bad[] = {
        {"kind 3", [](HostImage& b) { b.kind = 3; }, K_ERR_BAD_PIXEL_KIND},
        {"width 0", [](HostImage& b) { b.width = 0; }, K_ERR_BAD_SIZE},
        {"height -4", [](HostImage& b) { b.height = -4; }, K_ERR_BAD_SIZE},
        {"65536 squared", [](HostImage& b) { b.width = b.height = 65536; }, K_ERR_BAD_SIZE},
        {"no data", [](HostImage& b) { b.data = nullptr; }, K_ERR_NULL_POINTER},
    };
    Folder folder;
    for (auto write : {KWritePgm, KWritePng}) {
        ASSERT_EQ(KClearLastErrorMessage(), K_OK);
        EXPECT_EQ(write(&image, "/nonexistent-dir/x/image"), K_ERR_FILE);
        EXPECT_EQ(lastMessage(), "korlan: cannot create image file '/nonexistent-dir/x/image'");
        const std::vector<KErr> got = {write(&image, folder.path.c_str()), write(&image, ""),
                                       write(nullptr, "x"), write(&image, nullptr)};
        EXPECT_EQ(got, (std::vector<KErr>{K_ERR_FILE, K_ERR_FILE, K_ERR_NULL_POINTER,
                                          K_ERR_NULL_POINTER}))
            << "a directory, an empty path, no image, no path";
        for (const auto& [what, spoil, expected] : bad) {
            HostImage spoilt = image;
            spoil(spoilt);
            EXPECT_EQ(write(&spoilt, (folder / "x").c_str()), expected) << what;
        }
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{}) << "no file for a refused image";
}

// A path's mode, inode, device, link and bytes, and its folder's names.
std::string state(const Folder& folder, const std::string& path) {
    struct stat st {};
    std::ostringstream s;
    if (lstat(path.c_str(), &st) == 0)
        s << std::oct << st.st_mode << std::dec << " " << st.st_ino << " " << st.st_rdev;
    char link[256] = "";
    s << " -> " << (readlink(path.c_str(), link, sizeof link - 1) > 0 ? link : "");
    if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))
        s << " [" << contents(path) << "]";
    for (const std::string& name : folder.Names())
        s << " " << name;
    return s.str();
}

void writeFile(const std::string& path, const std::string& text, mode_t mode) {
    std::ofstream(path, std::ios::binary) << text;
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

// Writes to regular files fail past `bytes` (the signal is ignored meanwhile).
struct FileSizeLimit {
    void (*handler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit old {};
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        const struct rlimit limit = {bytes, old.rlim_max};
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old), signal(SIGXFSZ, handler); }
};

const std::string kOldImage = "P5\n1 1\n255\n\x2a";

TEST(KorlanImageFile, WritesReplaceTheFileAtOnceOrLeaveWhatWasAtThePath) {
    std::vector<uint8_t> pixels(64 * 64, 0x55);
    HostImage image{};
    ASSERT_EQ(KNewImagePtr(nullptr, &image, K_PIXEL_BYTE, 64, 64, pixels.data(), 0), K_OK);
    for (auto write : {KWritePgm, KWritePng}) {
        for (const char* what : {"old.pgm", "link.pgm", "full"}) {
            SCOPED_TRACE(what);
            Folder folder;
            writeFile(folder / "old.pgm", kOldImage, 0640);
            const std::string path = folder / what;
            if (what[0] == 'l') {
                ASSERT_EQ(symlink("old.pgm", path.c_str()), 0);
            } else if (what[0] == 'f' && mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
                // The full device needs privileges; a pipe with no reader fails as well.
                ASSERT_EQ(mkfifo(path.c_str(), 0666), 0);
            }
            const std::string before =
                state(folder, path) + " | " + state(folder, folder / "old.pgm");
            {
                FileSizeLimit limit(16);
                EXPECT_EQ(write(&image, path.c_str()), K_ERR_FILE);
            }
            EXPECT_EQ(state(folder, path) + " | " + state(folder, folder / "old.pgm"), before);
        }
    }
    Folder folder;
    writeFile(folder / "old.pgm", kOldImage, 0640);
    ASSERT_EQ(symlink("old.pgm", (folder / "link.pgm").c_str()), 0);
    // A reader of the old file keeps reading it whole: the new one is renamed into place.
    std::ifstream reader(folder / "old.pgm", std::ios::binary);
    ASSERT_EQ(KWritePgm(&image, (folder / "link.pgm").c_str()), K_OK);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), {}), kOldImage);
    const std::string link = state(folder, folder / "link.pgm");
    const std::string file = state(folder, folder / "old.pgm");
    EXPECT_EQ(link.substr(0, 6) + link.substr(link.find(" -> ")) + " " + file.substr(0, 6),
              "120777 -> old.pgm [P5\n64 64\n255\n" + std::string(64 * 64, 'U') +
                  "] link.pgm old.pgm 100640");
}

} // namespace

// Image files: binary PGM (8-bit, 16-bit big-endian) and gray PNG through
// libpng. A file is written as a new file next to its target and renamed over
// it once complete, so a failed write leaves whatever was at the path as it
// was; a target that exists and is not a regular file (a device, a pipe) is
// written directly and never removed.
#include <errno.h>
#include <fcntl.h>
#include <inttypes.h>
#include <limits.h>
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>

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

// Symbolic links followed before giving up (as the system's own limit).
constexpr int kMaxLinks = 40;

// Where an image file goes: the path with its symbolic links followed, and
// the new file being written next to it ("" when written directly).
struct Target {
    std::string path;
    std::string temp;
};

// Follows symbolic links from `path` (a link to a missing file included), so
// the link itself stays and the file it names is replaced. False for a loop.
bool followLinks(const char* path, std::string* resolved) {
    std::string p = path;
    for (int depth = 0; depth <= kMaxLinks; ++depth) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *resolved = p;
            return true;
        }
        char link[PATH_MAX];
        ssize_t n = readlink(p.c_str(), link, sizeof link - 1);
        if (n <= 0)
            return false;
        link[n] = '\0';
        if (link[0] == '/') {
            p = link;
        } else {
            size_t slash = p.rfind('/');
            p = (slash == std::string::npos ? std::string() : p.substr(0, slash + 1)) + link;
        }
    }
    return false;
}

// Creates a new file in the folder of `path` with a name no one else uses,
// permissions `mode` (before the umask).
int createTemp(const std::string& path, mode_t mode, std::string* temp) {
    static std::atomic<unsigned> serial{0};
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temp = folder + ".korlan-" + std::to_string(getpid()) + "-" + std::to_string(serial++) +
                ".tmp";
        int fd = open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Opens the stream an image is written to: a new file next to a regular or
// missing target, or the existing device or pipe itself. A pipe without a
// reader is refused instead of waited for.
KErr openForWrite(const char* path, Target* target, FILE** f) {
    *f = nullptr;
    int fd = -1;
    struct stat st;
    if (path[0] != '\0' && followLinks(path, &target->path)) {
        if (stat(target->path.c_str(), &st) != 0) {
            if (errno == ENOENT)
                fd = createTemp(target->path, 0666, &target->temp);
        } else if (S_ISREG(st.st_mode)) {
            // Replaced only where it could have been overwritten; the new
            // file keeps the old one's permissions.
            if (access(target->path.c_str(), W_OK) == 0)
                fd = createTemp(target->path, 0600, &target->temp);
            if (fd >= 0 && fchmod(fd, st.st_mode & 07777) != 0) {
                close(fd);
                fd = -1;
            }
        } else if (!S_ISDIR(st.st_mode)) {
            fd = open(target->path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd >= 0)
                fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        }
    }
    if (fd >= 0) {
        *f = fdopen(fd, "wb");
        if (*f == nullptr)
            close(fd);
    }
    if (*f == nullptr) {
        if (!target->temp.empty())
            unlink(target->temp.c_str());
        printHostError("korlan: cannot create image file '%.512s'", path);
        return K_ERR_FILE;
    }
    return K_OK;
}

// Completes the file: a new file is flushed to the disk and renamed over the
// target, or removed when anything failed; a device or pipe is only closed.
KErr finishFile(const Target& target, FILE* f, bool ok, const char* path) {
    if (!target.temp.empty())
        ok = ok && fflush(f) == 0 && fsync(fileno(f)) == 0;
    if (fclose(f) != 0)
        ok = false;
    if (!target.temp.empty()) {
        if (ok && rename(target.temp.c_str(), target.path.c_str()) != 0)
            ok = false;
        if (!ok)
            unlink(target.temp.c_str());
    }
    if (!ok) {
        printHostError("korlan: cannot write image file '%.512s'", path);
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
    Target target;
    FILE* f = nullptr;
    rc = openForWrite(path, &target, &f);
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
            finishFile(target, f, false, path);
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
    return finishFile(target, f, ok, path);
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
    Target target;
    FILE* f = nullptr;
    rc = openForWrite(path, &target, &f);
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
    return finishFile(target, f, ok, path);
}

} // extern "C"

// Helpers the host library's tests share.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "korlan/KorlanApp.h"

namespace KorlanTest {

inline int32_t blockCount() {
    int32_t n = -1;
    EXPECT_EQ(KMemCheckBlockCount(&n), K_OK);
    return n;
}

inline std::string lastMessage() {
    char text[1024];
    EXPECT_EQ(KGetLastErrorMessage(text, sizeof text), K_OK);
    return text;
}

inline HostValue Text(const char* s) {
    HostValue cell{{0}, HOST_VALUE_TEXT, {}};
    return cell.value.s = s, cell;
}

// A folder of the test's own, removed with what is left in it.
struct Folder {
    std::string path = ::testing::TempDir() + "korlan_XXXXXX";
    Folder() { EXPECT_NE(mkdtemp(&path[0]), nullptr); }
    std::error_code ignored;
    ~Folder() { std::filesystem::remove_all(path, ignored); }
    std::string operator/(const char* name) const { return path + "/" + name; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};

inline std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A list as "i:1234 s:enable ...".
inline std::string Show(const HostValue* values, int32_t count) {
    std::string text;
    for (int32_t i = 0; i < count; ++i)
        text += (i ? " " : "") + (values[i].type == HOST_VALUE_INT
                                      ? "i:" + std::to_string(values[i].value.i)
                                      : "s:" + std::string(values[i].value.s));
    return text;
}

// "kind width x height bytes/pixel bits owns" of an image.
inline std::string Show(const HostImage& i) {
    return std::to_string(i.kind) + " " + std::to_string(i.width) + "x" + std::to_string(i.height) +
           " " + std::to_string(i.bytesPerPixel) + "B " + std::to_string(i.significantBits) +
           "b owns " + std::to_string(i.ownsData);
}

} // namespace KorlanTest

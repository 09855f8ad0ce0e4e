// Helpers the host library's tests share: counters, the last error message,
// and blocks and faults as one comparable text.
#pragma once

#include <gtest/gtest.h>

#include <string>

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

// "size kind source:line" of a block, "double|unknown source:line" of a fault.
inline std::string Show(const KMemBlockInfo& b) {
    return std::to_string(b.size) + " " + std::to_string(b.kind) + " " + b.source + ":" +
           std::to_string(b.line);
}
inline std::string Show(const KMemFaultInfo& f) {
    return std::string(f.doubleFree ? "double " : "unknown ") + f.source + ":" +
           std::to_string(f.line);
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

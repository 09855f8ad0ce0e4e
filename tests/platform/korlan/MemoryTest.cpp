// The host allocator's bookkeeping: blocks with source and line, reports, local memory.
#include <string.h>

#include "KorlanTest.h"

namespace {

using namespace KorlanTest;

std::string report() {
    static char text[1 << 16];
    EXPECT_EQ(KMemCheckReport(text, sizeof text), K_OK);
    return text;
}

// " @i": the index of `address` in `known`, its size if not there.
std::string at(const void* address, const std::vector<const void*>& known) {
    return " @" + std::to_string(std::find(known.begin(), known.end(), address) - known.begin());
}

// Blocks from index `from` on, as "size kind source:line @i, ...".
std::string blocksFrom(int32_t from, const std::vector<const void*>& known) {
    std::string text;
    KMemBlockInfo b{};
    for (int32_t i = from; i < from + 64 && KMemCheckGetBlock(i, &b) == K_OK; ++i)
        text += std::to_string(b.size) + " " + std::to_string(b.kind) + " " + b.source + ":" +
                std::to_string(b.line) + at(b.block, known) + ", ";
    return text;
}

// The recorded faults, as "double|unknown source:line @i, ...".
std::string faults(const std::vector<const void*>& known) {
    std::string text;
    KMemFaultInfo f{};
    for (int32_t i = 0; i < 64 && KMemCheckGetFault(i, &f) == K_OK; ++i)
        text += std::string(f.doubleFree ? "double " : "unknown ") + f.source + ":" +
                std::to_string(f.line) + at(f.block, known) + ", ";
    return text;
}

TEST(KorlanMemory, BlocksAreListedInOrderWithSourceAndLineUntilFreed) {
    const int32_t before = blockCount();
    const std::string longName(500, 's'), cut(K_SOURCE_NAME_MAX - 1, 's');
    void *b0 = nullptr, *b1 = nullptr, *b2 = nullptr;
    ASSERT_EQ(KXAllocMemCheck(nullptr, 48, "CIOeXcite", 120, K_MEMCHECK_KIND, &b0), K_OK);
    ASSERT_EQ(KXAlloc(nullptr, 32, &b1), K_OK);
    ASSERT_EQ(KXAllocMemCheck(nullptr, 8, longName.c_str(), 7, K_MEMCHECK_KIND, &b2), K_OK);
    EXPECT_EQ(std::string(static_cast<char*>(b0), 48), std::string(48, '\0')) << "zeroed";
    EXPECT_EQ(blocksFrom(before, {b0, b1, b2}),
              "48 1 CIOeXcite:120 @0, 32 0 :0 @1, 8 1 " + cut + ":7 @2, ");
    const std::string text = report();
    for (const char* leak : {"leak: 48 bytes from CIOeXcite:120\n", "leak: 32 bytes (unchecked)\n"})
        EXPECT_NE(text.find(leak), std::string::npos) << leak;
    // Either free releases any block.
    EXPECT_EQ(KXFreeMemCheck(nullptr, b1, "CIOeXcite", 1) + KXFree(nullptr, b0), 2 * K_OK);
    EXPECT_EQ(blocksFrom(before, {b0, b1, b2}), "8 1 " + cut + ":7 @2, ");
    EXPECT_EQ(report().find("CIOeXcite:120"), std::string::npos);
    EXPECT_EQ(KXFree(nullptr, b2), K_OK);
}

TEST(KorlanMemory, RefusedFreesReturnTheirCodeAndAreRecorded) {
    ASSERT_EQ(KMemCheckClearFaults(), K_OK);
    void* block = nullptr;
    ASSERT_EQ(KXAllocMemCheck(nullptr, 16, "CIOeXcite", 200, K_MEMCHECK_KIND, &block), K_OK);
    ASSERT_EQ(KXFreeMemCheck(nullptr, block, "CIOeXcite", 210), K_OK);
    const int32_t blocks = blockCount();
    int local = 0;
    EXPECT_EQ(KXFreeMemCheck(nullptr, block, "CIOeXcite", 220), K_ERR_UNKNOWN_POINTER);
    EXPECT_EQ(KXFree(nullptr, &local), K_ERR_UNKNOWN_POINTER);
    EXPECT_EQ(blockCount(), blocks) << "a refused free changes no block";
    EXPECT_EQ(faults({block, &local}), "double CIOeXcite:220 @0, unknown :0 @1, ");
    KMemFaultInfo past{};
    EXPECT_EQ(KMemCheckGetFault(2, &past), K_ERR_BAD_SIZE);
    const std::string text = report();
    for (const char* part : {"double free: ", " at CIOeXcite:220\n", "free of unknown block: "})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    EXPECT_EQ(KMemCheckClearFaults(), K_OK);
    EXPECT_EQ(faults({}), "");
}

TEST(KorlanMemory, LocalBlocksAreFreedPerOperationOnly) {
    int opA = 0, opB = 0; // two procedure handles
    const int32_t before = blockCount();
    void *a1 = nullptr, *a2 = nullptr, *b1 = nullptr;
    ASSERT_EQ(KXAllocLocal(&opA, 10, "CIOeXcite", 300, &a1), K_OK);
    ASSERT_EQ(KXAllocLocal(&opA, 20, "CIOeXcite", 301, &a2), K_OK);
    ASSERT_EQ(KXAllocLocal(&opB, 30, "CIOeXcite", 302, &b1), K_OK);
    // A local block the caller frees itself is not freed again afterwards.
    EXPECT_EQ(KXFree(&opA, a2), K_OK);
    EXPECT_EQ(KFreeLocalMemory(&opA), K_OK);
    EXPECT_EQ(blocksFrom(before, {b1}), "30 2 CIOeXcite:302 @0, ");
    EXPECT_EQ(KXFree(&opA, a1), K_ERR_UNKNOWN_POINTER) << "released with its operation";
    EXPECT_EQ(KFreeLocalMemory(&opB), K_OK);
    EXPECT_EQ(blockCount(), before);
    EXPECT_EQ(KMemCheckClearFaults(), K_OK);
}

TEST(KorlanMemory, BadArgumentsReturnCodesAndClearTheOutPointer) {
    const KErr N = K_ERR_NULL_POINTER, S = K_ERR_BAD_SIZE;
    const int32_t before = blockCount();
    // A refused allocation clears the caller's pointer; its code is negated when it did not.
    void* out = nullptr;
    const auto at = [&] { return out = reinterpret_cast<void*>(0x1), &out; };
    const auto cleared = [&](KErr rc) { return out == nullptr ? rc : -rc; };
    KMemBlockInfo info{};
    KMemFaultInfo fault{};
    char text[4];
    const std::vector<KErr> got = {cleared(KXAlloc(0, 0, at())),
                                   cleared(KXAlloc(0, K_MAX_BLOCK_SIZE + 1ul, at())),
                                   cleared(KXAlloc(0, SIZE_MAX, at())),
                                   cleared(KXAllocMemCheck(0, 0, "C", 1, -112, at())),
                                   cleared(KXAllocMemCheck(0, 8, nullptr, 1, -112, at())),
                                   cleared(KXAllocLocal(0, 0, "C", 1, at())),
                                   cleared(KXAllocLocal(0, 8, nullptr, 1, at())),
                                   KXAlloc(nullptr, 8, nullptr),
                                   KXAllocMemCheck(nullptr, 8, "C", 1, -112, nullptr),
                                   KXAllocLocal(nullptr, 8, "C", 1, nullptr),
                                   KXFree(nullptr, nullptr),
                                   KXFreeMemCheck(nullptr, nullptr, "C", 1),
                                   KMemCheckBlockCount(nullptr),
                                   KMemCheckFaultCount(nullptr),
                                   KMemCheckGetBlock(0, nullptr),
                                   KMemCheckReport(nullptr, 10),
                                   KMemCheckGetBlock(-1, &info),
                                   KMemCheckGetBlock(before, &info),
                                   KMemCheckGetFault(-1, &fault),
                                   KMemCheckReport(text, 0)};
    EXPECT_EQ(got, (std::vector<KErr>{S, S, S, S, N, S, N, N, N, N, N, N, N, N, N, N, S, S, S, S}));
    EXPECT_EQ(blockCount(), before);
    void* block = nullptr;
    ASSERT_EQ(KXAllocMemCheck(nullptr, 8, "CIOeXcite", 400, K_MEMCHECK_KIND, &block), K_OK);
    char cut[8];
    memset(cut, 'x', sizeof cut);
    EXPECT_EQ(KMemCheckReport(cut, sizeof cut), K_ERR_BAD_SIZE);
    const size_t n = strnlen(cut, sizeof cut);
    EXPECT_EQ(std::string(cut, 6) + std::to_string(n), "leak: 7");
    ASSERT_EQ(KXFree(nullptr, block), K_OK);
}

} // namespace

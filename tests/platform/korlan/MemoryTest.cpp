// The host allocator's bookkeeping: checked blocks with source and line,
// leak and fault reports, local memory per operation, bad arguments.
#include <string.h>

#include "KorlanTest.h"

namespace {

using namespace KorlanTest;

int32_t faultCount() {
    int32_t n = -1;
    EXPECT_EQ(KMemCheckFaultCount(&n), K_OK);
    return n;
}

std::string report() {
    static char text[1 << 16];
    EXPECT_EQ(KMemCheckReport(text, sizeof text), K_OK);
    return text;
}

// Blocks `from` to the last, as "Show(block) @address-index, ...".
std::string blocksFrom(int32_t from, const std::vector<void*>& addresses) {
    std::string text;
    for (int32_t i = from; i < blockCount(); ++i) {
        KMemBlockInfo b{};
        EXPECT_EQ(KMemCheckGetBlock(i, &b), K_OK);
        const auto at = std::find(addresses.begin(), addresses.end(), b.block);
        text += Show(b) + " @" + std::to_string(at - addresses.begin()) + ", ";
    }
    return text;
}

KMemFaultInfo fault(int32_t index) {
    KMemFaultInfo info{};
    EXPECT_EQ(KMemCheckGetFault(index, &info), K_OK);
    return info;
}

TEST(KorlanMemory, BlocksAreListedInOrderWithSourceAndLineUntilFreed) {
    const int32_t before = blockCount();
    const std::string longName(500, 's');
    std::vector<void*> b(3, nullptr);
    ASSERT_EQ(KXAllocMemCheck(nullptr, 48, "CIOeXcite", 120, K_MEMCHECK_KIND, &b[0]), K_OK);
    ASSERT_EQ(KXAlloc(nullptr, 32, &b[1]), K_OK);
    ASSERT_EQ(KXAllocMemCheck(nullptr, 8, longName.c_str(), 7, K_MEMCHECK_KIND, &b[2]), K_OK);
    EXPECT_EQ(std::string(static_cast<char*>(b[0]), 48), std::string(48, '\0')) << "zeroed";
    EXPECT_EQ(blocksFrom(before, b), "48 1 CIOeXcite:120 @0, 32 0 :0 @1, 8 1 " +
                                         std::string(K_SOURCE_NAME_MAX - 1, 's') + ":7 @2, ");
    const std::string text = report();
    for (const char* leak : {"leak: 48 bytes from CIOeXcite:120\n", "leak: 32 bytes (unchecked)\n"})
        EXPECT_NE(text.find(leak), std::string::npos) << leak;
    // Either free releases any block.
    EXPECT_EQ(KXFreeMemCheck(nullptr, b[1], "CIOeXcite", 1), K_OK);
    EXPECT_EQ(KXFree(nullptr, b[0]), K_OK);
    EXPECT_EQ(blocksFrom(before, b), "8 1 " + std::string(K_SOURCE_NAME_MAX - 1, 's') + ":7 @2, ");
    EXPECT_EQ(report().find("CIOeXcite:120"), std::string::npos);
    EXPECT_EQ(KXFree(nullptr, b[2]), K_OK);
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
    ASSERT_EQ(faultCount(), 2);
    EXPECT_EQ((std::vector<const void*>{block, &local}),
              (std::vector<const void*>{fault(0).block, fault(1).block}));
    EXPECT_EQ(Show(fault(0)) + ", " + Show(fault(1)), "double CIOeXcite:220, unknown :0");
    const std::string text = report();
    for (const char* part : {"double free: ", " at CIOeXcite:220\n", "free of unknown block: "})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    KMemFaultInfo info{};
    EXPECT_EQ(KMemCheckGetFault(2, &info), K_ERR_BAD_SIZE);
    EXPECT_EQ(KMemCheckClearFaults(), K_OK);
    EXPECT_EQ(faultCount(), 0);
}

TEST(KorlanMemory, LocalBlocksAreFreedPerOperationOnly) {
    int opA = 0, opB = 0; // two procedure handles
    const int32_t before = blockCount();
    std::vector<void*> b(3, nullptr);
    ASSERT_EQ(KXAllocLocal(&opA, 10, "CIOeXcite", 300, &b[0]), K_OK);
    ASSERT_EQ(KXAllocLocal(&opA, 20, "CIOeXcite", 301, &b[1]), K_OK);
    ASSERT_EQ(KXAllocLocal(&opB, 30, "CIOeXcite", 302, &b[2]), K_OK);
    // A local block the caller frees itself is not freed again afterwards.
    EXPECT_EQ(KXFree(&opA, b[1]), K_OK);
    EXPECT_EQ(KFreeLocalMemory(&opA), K_OK);
    EXPECT_EQ(blocksFrom(before, b), "30 2 CIOeXcite:302 @2, ");
    EXPECT_EQ(KXFree(&opA, b[0]), K_ERR_UNKNOWN_POINTER) << "released with its operation";
    EXPECT_EQ(KFreeLocalMemory(&opB), K_OK);
    EXPECT_EQ(blockCount(), before);
    EXPECT_EQ(KMemCheckClearFaults(), K_OK);
}

TEST(KorlanMemory, BadArgumentsReturnCodesAndClearTheOutPointer) {
    const KErr N = K_ERR_NULL_POINTER, S = K_ERR_BAD_SIZE;
    const int32_t before = blockCount();
    // A refused allocation clears the caller's pointer; its code comes back
    // negated when it did not.
    void* out = nullptr;
    const auto at = [&] { return out = reinterpret_cast<void*>(0x1), &out; };
    const auto cleared = [&](KErr rc) { return out == nullptr ? rc : -rc; };
    KMemBlockInfo info{};
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
                                   KMemCheckReport(text, 0)};
    EXPECT_EQ(got, (std::vector<KErr>{S, S, S, S, N, S, N, N, N, N, N, N, N, N, N, N, S, S, S}));
    EXPECT_EQ(blockCount(), before);
    // A report that does not fit is cut and terminated.
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

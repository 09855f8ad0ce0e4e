// The host allocator's bookkeeping: checked blocks with source and line,
// leak and fault reports, local memory per operation, bad arguments.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "korlan/KorlanApp.h"

namespace {

int32_t blockCount() {
    int32_t n = -1;
    EXPECT_EQ(KMemCheckBlockCount(&n), K_OK);
    return n;
}

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

KMemBlockInfo lastBlock() {
    KMemBlockInfo info{};
    EXPECT_EQ(KMemCheckGetBlock(blockCount() - 1, &info), K_OK);
    return info;
}

TEST(KorlanMemory, CheckedBlockIsReportedAsLeakWithSourceAndLineUntilFreed) {
    int32_t before = blockCount();
    void* block = nullptr;
    ASSERT_EQ(KXAllocMemCheck(nullptr, 48, "CIOeXcite", 120, K_MEMCHECK_KIND, &block), K_OK);
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 48; ++i)
        EXPECT_EQ(static_cast<unsigned char*>(block)[i], 0) << "blocks come zeroed";

    EXPECT_EQ(blockCount(), before + 1);
    KMemBlockInfo info = lastBlock();
    EXPECT_EQ(info.block, block);
    EXPECT_EQ(info.size, 48u);
    EXPECT_EQ(info.kind, K_BLOCK_CHECKED);
    EXPECT_STREQ(info.source, "CIOeXcite");
    EXPECT_EQ(info.line, 120);
    EXPECT_NE(report().find("leak: 48 bytes from CIOeXcite:120\n"), std::string::npos);

    EXPECT_EQ(KXFreeMemCheck(nullptr, block, "CIOeXcite", 130), K_OK);
    EXPECT_EQ(blockCount(), before);
    EXPECT_EQ(report().find("CIOeXcite:120"), std::string::npos);
}

TEST(KorlanMemory, DoubleFreeAndUnknownPointerReturnCodeAndAreRecorded) {
    ASSERT_EQ(KMemCheckClearFaults(), K_OK);
    void* block = nullptr;
    ASSERT_EQ(KXAllocMemCheck(nullptr, 16, "CIOeXcite", 200, K_MEMCHECK_KIND, &block), K_OK);
    ASSERT_EQ(KXFreeMemCheck(nullptr, block, "CIOeXcite", 210), K_OK);
    int32_t blocks = blockCount();

    EXPECT_EQ(KXFreeMemCheck(nullptr, block, "CIOeXcite", 220), K_ERR_UNKNOWN_POINTER);
    int local = 0;
    EXPECT_EQ(KXFree(nullptr, &local), K_ERR_UNKNOWN_POINTER);
    EXPECT_EQ(blockCount(), blocks) << "a refused free changes no block";

    ASSERT_EQ(faultCount(), 2);
    KMemFaultInfo fault{};
    ASSERT_EQ(KMemCheckGetFault(0, &fault), K_OK);
    EXPECT_EQ(fault.block, block);
    EXPECT_EQ(fault.doubleFree, 1);
    EXPECT_STREQ(fault.source, "CIOeXcite");
    EXPECT_EQ(fault.line, 220);
    ASSERT_EQ(KMemCheckGetFault(1, &fault), K_OK);
    EXPECT_EQ(fault.block, &local);
    EXPECT_EQ(fault.doubleFree, 0);
    EXPECT_STREQ(fault.source, "");
    EXPECT_EQ(fault.line, 0);

    std::string text = report();
    EXPECT_NE(text.find("double free: "), std::string::npos);
    EXPECT_NE(text.find(" at CIOeXcite:220\n"), std::string::npos);
    EXPECT_NE(text.find("free of unknown block: "), std::string::npos);

    EXPECT_EQ(KMemCheckGetFault(2, &fault), K_ERR_BAD_SIZE);
    EXPECT_EQ(KMemCheckClearFaults(), K_OK);
    EXPECT_EQ(faultCount(), 0);
}

TEST(KorlanMemory, ReusedAddressIsLiveAgainAndEitherFreeVariantReleasesAnyBlock) {
    void* a = nullptr;
    ASSERT_EQ(KXAlloc(nullptr, 32, &a), K_OK);
    EXPECT_EQ(lastBlock().kind, K_BLOCK_PLAIN);
    EXPECT_STREQ(lastBlock().source, "");
    EXPECT_EQ(KXFreeMemCheck(nullptr, a, "CIOeXcite", 1), K_OK);
    void* b = nullptr;
    ASSERT_EQ(KXAllocMemCheck(nullptr, 32, "CIOeXcite", 2, K_MEMCHECK_KIND, &b), K_OK);
    EXPECT_EQ(KXFree(nullptr, b), K_OK);
}

TEST(KorlanMemory, LocalBlocksAreFreedPerOperationOnly) {
    int opA = 0, opB = 0; // two procedure handles
    int32_t before = blockCount();
    void* a1 = nullptr;
    void* a2 = nullptr;
    void* b1 = nullptr;
    ASSERT_EQ(KXAllocLocal(&opA, 10, "CIOeXcite", 300, &a1), K_OK);
    ASSERT_EQ(KXAllocLocal(&opA, 20, "CIOeXcite", 301, &a2), K_OK);
    ASSERT_EQ(KXAllocLocal(&opB, 30, "CIOeXcite", 302, &b1), K_OK);
    EXPECT_EQ(lastBlock().kind, K_BLOCK_LOCAL);
    EXPECT_EQ(blockCount(), before + 3);
    // A local block the caller frees itself is not freed again afterwards.
    EXPECT_EQ(KXFree(&opA, a2), K_OK);

    EXPECT_EQ(KFreeLocalMemory(&opA), K_OK);
    EXPECT_EQ(blockCount(), before + 1);
    EXPECT_EQ(lastBlock().block, b1);
    EXPECT_EQ(KXFree(&opA, a1), K_ERR_UNKNOWN_POINTER) << "a1 was released";

    EXPECT_EQ(KFreeLocalMemory(&opB), K_OK);
    EXPECT_EQ(blockCount(), before);
    EXPECT_EQ(KMemCheckClearFaults(), K_OK);
}

TEST(KorlanMemory, BadArgumentsReturnCodesAndClearTheOutPointer) {
    void* sentinel = reinterpret_cast<void*>(0x1);
    struct Case {
        const char* what;
        KErr (*call)(void**);
        KErr expected;
    };
    const Case cases[] = {
        {"size 0", [](void** o) { return KXAlloc(nullptr, 0, o); }, K_ERR_BAD_SIZE},
        {"size too big", [](void** o) { return KXAlloc(nullptr, size_t(K_MAX_BLOCK_SIZE) + 1, o); },
         K_ERR_BAD_SIZE},
        {"size max of size_t", [](void** o) { return KXAlloc(nullptr, SIZE_MAX, o); },
         K_ERR_BAD_SIZE},
        {"checked size 0",
         [](void** o) { return KXAllocMemCheck(nullptr, 0, "CIOeXcite", 1, -112, o); },
         K_ERR_BAD_SIZE},
        {"checked null source",
         [](void** o) { return KXAllocMemCheck(nullptr, 8, nullptr, 1, -112, o); },
         K_ERR_NULL_POINTER},
        {"local size 0", [](void** o) { return KXAllocLocal(nullptr, 0, "CIOeXcite", 1, o); },
         K_ERR_BAD_SIZE},
        {"local null source", [](void** o) { return KXAllocLocal(nullptr, 8, nullptr, 1, o); },
         K_ERR_NULL_POINTER},
    };
    int32_t before = blockCount();
    for (const Case& c : cases) {
        void* out = sentinel;
        EXPECT_EQ(c.call(&out), c.expected) << c.what;
        EXPECT_EQ(out, nullptr) << c.what;
    }
    EXPECT_EQ(KXAlloc(nullptr, 8, nullptr), K_ERR_NULL_POINTER);
    EXPECT_EQ(KXAllocMemCheck(nullptr, 8, "CIOeXcite", 1, -112, nullptr), K_ERR_NULL_POINTER);
    EXPECT_EQ(KXAllocLocal(nullptr, 8, "CIOeXcite", 1, nullptr), K_ERR_NULL_POINTER);
    EXPECT_EQ(KXFree(nullptr, nullptr), K_ERR_NULL_POINTER);
    EXPECT_EQ(KXFreeMemCheck(nullptr, nullptr, "CIOeXcite", 1), K_ERR_NULL_POINTER);
    EXPECT_EQ(blockCount(), before);
    EXPECT_EQ(KMemCheckBlockCount(nullptr), K_ERR_NULL_POINTER);
    EXPECT_EQ(KMemCheckFaultCount(nullptr), K_ERR_NULL_POINTER);
    EXPECT_EQ(KMemCheckGetBlock(0, nullptr), K_ERR_NULL_POINTER);
    KMemBlockInfo info{};
    EXPECT_EQ(KMemCheckGetBlock(-1, &info), K_ERR_BAD_SIZE);
    EXPECT_EQ(KMemCheckGetBlock(before, &info), K_ERR_BAD_SIZE);
    EXPECT_EQ(KMemCheckReport(nullptr, 10), K_ERR_NULL_POINTER);
    char text[4];
    EXPECT_EQ(KMemCheckReport(text, 0), K_ERR_BAD_SIZE);
}

TEST(KorlanMemory, ReportThatDoesNotFitIsCutAndTerminated) {
    void* block = nullptr;
    ASSERT_EQ(KXAllocMemCheck(nullptr, 8, "CIOeXcite", 400, K_MEMCHECK_KIND, &block), K_OK);
    char text[8];
    memset(text, 'x', sizeof text);
    EXPECT_EQ(KMemCheckReport(text, sizeof text), K_ERR_BAD_SIZE);
    EXPECT_EQ(strlen(text), sizeof text - 1);
    EXPECT_EQ(std::string(text, 6), "leak: ");
    ASSERT_EQ(KXFree(nullptr, block), K_OK);
}

TEST(KorlanMemory, LongSourceNamesAreCut) {
    std::string longName(500, 's');
    void* block = nullptr;
    ASSERT_EQ(KXAllocMemCheck(nullptr, 8, longName.c_str(), 7, K_MEMCHECK_KIND, &block), K_OK);
    KMemBlockInfo info = lastBlock();
    EXPECT_EQ(std::string(info.source), std::string(K_SOURCE_NAME_MAX - 1, 's'));
    ASSERT_EQ(KXFree(nullptr, block), K_OK);
}

} // namespace

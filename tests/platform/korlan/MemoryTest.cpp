// The host allocator's bookkeeping: checked blocks with source and line,
// leak and fault reports, local memory per operation, bad arguments.
#include <string.h>

#include <functional>

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

KMemBlockInfo lastBlock() {
    KMemBlockInfo info{};
    EXPECT_EQ(KMemCheckGetBlock(blockCount() - 1, &info), K_OK);
    return info;
}

KMemFaultInfo fault(int32_t index) {
    KMemFaultInfo info{};
    EXPECT_EQ(KMemCheckGetFault(index, &info), K_OK);
    return info;
}

TEST(KorlanMemory, CheckedBlockIsReportedAsLeakWithSourceAndLineUntilFreed) {
    int32_t before = blockCount();
    void* block = nullptr;
    ASSERT_EQ(KXAllocMemCheck(nullptr, 48, "CIOeXcite", 120, K_MEMCHECK_KIND, &block), K_OK);
    EXPECT_EQ(std::string(48, '\0'), std::string(static_cast<char*>(block), 48)) << "zeroed";
    EXPECT_EQ(blockCount(), before + 1);
    EXPECT_EQ(lastBlock().block, block);
    EXPECT_EQ(Show(lastBlock()), "48 1 CIOeXcite:120");
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
    EXPECT_EQ((std::vector<const void*>{block, &local}),
              (std::vector<const void*>{fault(0).block, fault(1).block}));
    EXPECT_EQ(Show(fault(0)) + ", " + Show(fault(1)), "double CIOeXcite:220, unknown :0");
    std::string text = report();
    for (const char* part : {"double free: ", " at CIOeXcite:220\n", "free of unknown block: "})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    KMemFaultInfo info{};
    EXPECT_EQ(KMemCheckGetFault(2, &info), K_ERR_BAD_SIZE);
    EXPECT_EQ(KMemCheckClearFaults(), K_OK);
    EXPECT_EQ(faultCount(), 0);
}

TEST(KorlanMemory, ReusedAddressIsLiveAgainAndEitherFreeVariantReleasesAnyBlock) {
    void* a = nullptr;
    ASSERT_EQ(KXAlloc(nullptr, 32, &a), K_OK);
    EXPECT_EQ(Show(lastBlock()), "32 0 :0");
    EXPECT_EQ(KXFreeMemCheck(nullptr, a, "CIOeXcite", 1), K_OK);
    void* b = nullptr;
    ASSERT_EQ(KXAllocMemCheck(nullptr, 32, "CIOeXcite", 2, K_MEMCHECK_KIND, &b), K_OK);
    EXPECT_EQ(KXFree(nullptr, b), K_OK);
}

TEST(KorlanMemory, LocalBlocksAreFreedPerOperationOnly) {
    int opA = 0, opB = 0; // two procedure handles
    int32_t before = blockCount();
    void *a1 = nullptr, *a2 = nullptr, *b1 = nullptr;
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
    const KErr N = K_ERR_NULL_POINTER, S = K_ERR_BAD_SIZE;
    const struct {
        const char* what;
        KErr expected;
        KErr (*call)(void**);
    } cases[] = {
        {"size 0", S, [](void** o) { return KXAlloc(0, 0, o); }},
        {"too big", S, [](void** o) { return KXAlloc(0, K_MAX_BLOCK_SIZE + 1ul, o); }},
        {"SIZE_MAX", S, [](void** o) { return KXAlloc(0, SIZE_MAX, o); }},
        {"checked 0", S, [](void** o) { return KXAllocMemCheck(0, 0, "C", 1, -112, o); }},
        {"checked null", N, [](void** o) { return KXAllocMemCheck(0, 8, nullptr, 1, -112, o); }},
        {"local 0", S, [](void** o) { return KXAllocLocal(0, 0, "C", 1, o); }},
        {"local null", N, [](void** o) { return KXAllocLocal(0, 8, nullptr, 1, o); }},
    };
    int32_t before = blockCount();
    for (const auto& c : cases) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(c.call(&out), c.expected) << c.what;
        EXPECT_EQ(out, nullptr) << c.what;
    }
    KMemBlockInfo info{};
    char text[4];
    const std::vector<KErr> got = {KXAlloc(nullptr, 8, nullptr),
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
    EXPECT_EQ(got, (std::vector<KErr>{N, N, N, N, N, N, N, N, N, S, S, S}));
    EXPECT_EQ(blockCount(), before);
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
    EXPECT_EQ(std::string(lastBlock().source), std::string(K_SOURCE_NAME_MAX - 1, 's'));
    ASSERT_EQ(KXFree(nullptr, block), K_OK);
}

} // namespace

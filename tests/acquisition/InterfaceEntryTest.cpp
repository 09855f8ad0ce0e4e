// The interface entry: what FGInit writes into the host's record, slot
// reservation, the two stub operations, and the module's exported surface.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "acquisition/IOeXcite.h"
#include "acquisition/InstanceTable.h"
#include "acquisition/Operations.h"
#include "contracts/Korlan.h"

using namespace IOeXcite;

namespace {

struct EntryFixture : ::testing::Test {
    std::unique_ptr<InterfaceClass> ic{new InterfaceClass()};
    KProcHandle proc = reinterpret_cast<KProcHandle>(0x1234);
    DeviceRecord record{};

    void SetUp() override {
        std::memset(ic.get(), 0xAB, sizeof(InterfaceClass));
        ASSERT_EQ(FGInit(proc, ic.get()), 1);
    }
    void TearDown() override {
        for (auto& s : g_instances.slots)
            s.deviceRecord = nullptr;
        g_openInstances = 0;
    }
};

// Bytes of host memory, for one comparison over a whole area.
std::vector<unsigned char> Bytes(const void* at, size_t n) {
    const auto* p = static_cast<const unsigned char*>(at);
    return std::vector<unsigned char>(p, p + n);
}

template <typename F>
const void* Fn(F f) {
    return reinterpret_cast<const void*>(f);
}

TEST_F(EntryFixture, FGInitWritesTheRecordAndLeavesHostFieldsAlone) {
    EXPECT_EQ((std::vector<int32_t>{4, 1, 0, 64}),
              (std::vector<int32_t>{ic->hostField404, ic->hostField408, ic->hostField40C,
                                    ic->maxInstances}));

    // The host's own area, its instance cells and the operations the module
    // does not provide keep what the host put there.
    const auto host = [](size_t n) { return std::vector<unsigned char>(n, 0xAB); };
    EXPECT_EQ(Bytes(ic->hostOwn, sizeof ic->hostOwn), host(sizeof ic->hostOwn));
    EXPECT_EQ(Bytes(ic->instances, sizeof ic->instances), host(sizeof ic->instances));
    for (auto op : {ic->hostOp52C, ic->hostOp530, ic->hostOp548, ic->hostOp54C})
        EXPECT_EQ(Bytes(&op, sizeof op), host(sizeof op));

    EXPECT_EQ(
        (std::vector<const void*>{Fn(ic->reserveSlot), Fn(ic->openInstance), Fn(ic->closeInstance),
                                  Fn(ic->grabImage), Fn(ic->startAsyncGrab), Fn(ic->grabImageAsync),
                                  Fn(ic->queryInfo), Fn(ic->setParameter), Fn(ic->getParameter),
                                  Fn(ic->acceptNoOp), Fn(ic->reportEmptyCount)}),
        (std::vector<const void*>{Fn(&ReserveSlot), Fn(&OpenInstance), Fn(&CloseInstance),
                                  Fn(&GrabImage), Fn(&StartAsyncGrab), Fn(&GrabImageAsync),
                                  Fn(&QueryInfo), Fn(&SetParameter), Fn(&GetParameter),
                                  Fn(&AcceptNoOp), Fn(&ReportEmptyCount)}));

    // Resolutions, image part, field, bits, colour space, gain, trigger,
    // camera type, device, port, line.
    const HostOpenParameters& d = ic->defaults;
    char got[4096];
    std::snprintf(got, sizeof got, "%d %d %d %d %d %d %d %d %s %g %d %s %s %d %d",
                  d.horizontalResolution, d.verticalResolution, d.imageWidth, d.imageHeight,
                  d.startRow, d.startColumn, d.field, d.bitsPerChannel, d.colorSpace, d.gain,
                  int(d.externalTrigger), d.cameraType, d.device, d.port, d.lineIn);
    EXPECT_STREQ(got, "1 1 0 0 0 0 4 8 gray 1 0 default 0 61696 0");
    EXPECT_EQ(g_interfaceClass, ic.get());

    // Again: every slot cleared and numbered, no instance open.
    g_instances.slots[5].acquisitionActive = true;
    g_instances.slots[5].deviceRecord = &record;
    g_openInstances = 7;
    ASSERT_EQ(FGInit(proc, ic.get()), 1);
    for (int i = 0; i < kMaxInstances; ++i) {
        const InstanceSlot& s = g_instances.slots[i];
        EXPECT_TRUE(s.index == i && !s.deviceRecord && !s.camera && !s.acquisitionActive) << i;
    }
    EXPECT_EQ(g_openInstances, 0);
    EXPECT_EQ(FGInit(proc, nullptr), K_ERR_NULL_POINTER);
}

TEST_F(EntryFixture, ReserveSlotHandsOutTheFirstFreeCellUntilFull) {
    HostInstance a{}, b{};
    ASSERT_EQ(ReserveSlot(proc, &a), &ic->instances[0]);
    EXPECT_EQ(a.slot, &g_instances.slots[0]);
    // A reserved slot stays free until an open succeeds: the next
    // reservation gets it again.
    EXPECT_EQ(ReserveSlot(proc, &b), &ic->instances[0]);
    g_instances.slots[0].deviceRecord = g_instances.slots[1].deviceRecord = &record;
    EXPECT_EQ(ReserveSlot(proc, &b), &ic->instances[2]);
    EXPECT_EQ(b.slot, &g_instances.slots[2]);
    EXPECT_EQ(ReserveSlot(proc, nullptr), nullptr);

    // 64 open instances: null even though slots read free; every slot taken
    // while the count says otherwise: null as well.
    HostInstance c{};
    g_openInstances = 64;
    EXPECT_EQ(ReserveSlot(proc, &c), nullptr);
    g_openInstances = 3;
    for (auto& s : g_instances.slots)
        s.deviceRecord = &record;
    EXPECT_EQ(ReserveSlot(proc, &c), nullptr);
    EXPECT_EQ(c.slot, nullptr);
    g_instances.slots[63].deviceRecord = nullptr;
    EXPECT_EQ(ReserveSlot(proc, &c), &ic->instances[63]);
}

TEST_F(EntryFixture, StubOperationsTouchOnlyWhatTheyMust) {
    HostInstance inst{};
    inst.params.imageWidth = 640;
    const HostInstance before = inst;
    int32_t a3 = 11, a4 = 22, a5 = 33, count = 99;
    EXPECT_EQ(
        (std::vector<int32_t>{1, 1, 11, 22, 33, 0, 1}),
        (std::vector<int32_t>{
            AcceptNoOp(proc, &inst), ReportEmptyCount(proc, &inst, &a3, &a4, &a5, &count), a3, a4,
            a5, count, ReportEmptyCount(proc, &inst, nullptr, nullptr, nullptr, nullptr)}));
    EXPECT_EQ(std::memcmp(&before, &inst, sizeof inst), 0);
}

// The module's dynamic symbols, as the binary tools list them
// ("<value> <type> <name>" a line).
TEST(ModuleLibrary, ExportsFGInitAndNothingElse) {
    std::set<std::string> names;
    FILE* nm = popen("nm -D --defined-only '" KACQ_MODULE_FILE "' 2>/dev/null", "r");
    ASSERT_NE(nm, nullptr);
    char name[256];
    while (std::fscanf(nm, "%*s %*s %255s", name) == 1)
        names.insert(name);
    EXPECT_EQ(pclose(nm), 0);
    EXPECT_EQ(names, std::set<std::string>{"FGInit"});
}

} // namespace

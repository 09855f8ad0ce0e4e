// The interface entry: what FGInit writes into the host's record, slot
// reservation, the two stub operations, and the module's exported surface.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
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

    void SetUp() override {
        std::memset(ic.get(), 0xAB, sizeof(InterfaceClass));
        ASSERT_EQ(FGInit(proc, ic.get()), 1);
    }
    void TearDown() override { g_openInstances = 0; }
};

TEST_F(EntryFixture, FGInitWritesTheRecordAndLeavesHostFieldsAlone) {
    EXPECT_EQ(ic->hostField404, 4);
    EXPECT_EQ(ic->hostField408, 1);
    EXPECT_EQ(ic->hostField40C, 0);
    EXPECT_EQ(ic->maxInstances, 64);

    // The host's own area, its instance cells and the operations the module
    // does not provide keep what the host put there.
    for (unsigned char b : ic->hostOwn)
        ASSERT_EQ(b, 0xAB);
    const auto* cells = reinterpret_cast<const unsigned char*>(ic->instances);
    for (size_t i = 0; i < sizeof(ic->instances); ++i)
        ASSERT_EQ(cells[i], 0xAB);
    for (auto op : {ic->hostOp52C, ic->hostOp530, ic->hostOp548, ic->hostOp54C}) {
        unsigned char bytes[sizeof(op)];
        std::memcpy(bytes, &op, sizeof(op));
        for (unsigned char b : bytes)
            ASSERT_EQ(b, 0xAB);
    }

    EXPECT_EQ(ic->reserveSlot, &ReserveSlot);
    EXPECT_EQ(ic->openInstance, &OpenInstance);
    EXPECT_EQ(ic->closeInstance, &CloseInstance);
    EXPECT_EQ(ic->grabImage, &GrabImage);
    EXPECT_EQ(ic->startAsyncGrab, &StartAsyncGrab);
    EXPECT_EQ(ic->grabImageAsync, &GrabImageAsync);
    EXPECT_EQ(ic->queryInfo, &QueryInfo);
    EXPECT_EQ(ic->setParameter, &SetParameter);
    EXPECT_EQ(ic->getParameter, &GetParameter);
    EXPECT_EQ(ic->acceptNoOp, &AcceptNoOp);
    EXPECT_EQ(ic->reportEmptyCount, &ReportEmptyCount);

    const HostOpenParameters& d = ic->defaults;
    EXPECT_EQ(d.horizontalResolution, 1);
    EXPECT_EQ(d.verticalResolution, 1);
    EXPECT_EQ(d.imageWidth, 0);
    EXPECT_EQ(d.imageHeight, 0);
    EXPECT_EQ(d.startRow, 0);
    EXPECT_EQ(d.startColumn, 0);
    EXPECT_EQ(d.field, 4);
    EXPECT_EQ(d.bitsPerChannel, 8);
    EXPECT_STREQ(d.colorSpace, "gray");
    EXPECT_EQ(d.gain, 1.0f);
    EXPECT_EQ(d.externalTrigger, 0);
    EXPECT_STREQ(d.cameraType, "default");
    EXPECT_STREQ(d.device, "0");
    EXPECT_EQ(d.port, 61696);
    EXPECT_EQ(d.lineIn, 0);
    EXPECT_EQ(g_interfaceClass, ic.get());
}

TEST_F(EntryFixture, FGInitClearsEverySlotAndNumbersIt) {
    g_instances.slots[5].acquisitionActive = true;
    g_instances.slots[5].deviceRecord = reinterpret_cast<DeviceRecord*>(0x10);
    g_openInstances = 7;
    ASSERT_EQ(FGInit(proc, ic.get()), 1);
    for (int i = 0; i < kMaxInstances; ++i) {
        const InstanceSlot& s = g_instances.slots[i];
        EXPECT_EQ(s.index, i);
        EXPECT_EQ(s.deviceRecord, nullptr);
        EXPECT_EQ(s.camera, nullptr);
        EXPECT_FALSE(s.acquisitionActive);
    }
    EXPECT_EQ(g_openInstances, 0);
    EXPECT_EQ(FGInit(proc, nullptr), K_ERR_NULL_POINTER);
}

TEST_F(EntryFixture, ReserveSlotHandsOutTheFirstFreeSlotsCell) {
    HostInstance a{}, b{};
    HostInstance** cell = ReserveSlot(proc, &a);
    ASSERT_EQ(cell, &ic->instances[0]);
    EXPECT_EQ(a.slot, &g_instances.slots[0]);

    // A reserved slot stays free until an open succeeds: the next
    // reservation gets it again.
    EXPECT_EQ(ReserveSlot(proc, &b), &ic->instances[0]);

    DeviceRecord record{};
    g_instances.slots[0].deviceRecord = &record;
    g_instances.slots[1].deviceRecord = &record;
    EXPECT_EQ(ReserveSlot(proc, &b), &ic->instances[2]);
    EXPECT_EQ(b.slot, &g_instances.slots[2]);
    g_instances.slots[0].deviceRecord = nullptr;
    g_instances.slots[1].deviceRecord = nullptr;

    EXPECT_EQ(ReserveSlot(proc, nullptr), nullptr);
}

TEST_F(EntryFixture, ReserveSlotRefusesWhenTheCountOrTheTableIsFull) {
    HostInstance inst{};
    // 64 open instances: null even though every slot reads free.
    g_openInstances = 64;
    EXPECT_EQ(ReserveSlot(proc, &inst), nullptr);
    EXPECT_EQ(inst.slot, nullptr);

    // Every slot taken while the count says otherwise: null as well.
    g_openInstances = 3;
    DeviceRecord record{};
    for (auto& s : g_instances.slots)
        s.deviceRecord = &record;
    EXPECT_EQ(ReserveSlot(proc, &inst), nullptr);
    EXPECT_EQ(inst.slot, nullptr);
    g_instances.slots[63].deviceRecord = nullptr;
    EXPECT_EQ(ReserveSlot(proc, &inst), &ic->instances[63]);
    for (auto& s : g_instances.slots)
        s.deviceRecord = nullptr;
}

TEST_F(EntryFixture, StubOperationsTouchOnlyWhatTheyMust) {
    HostInstance inst{};
    inst.params.imageWidth = 640;
    const HostInstance before = inst;
    EXPECT_EQ(AcceptNoOp(proc, &inst), 1);
    EXPECT_EQ(std::memcmp(&before, &inst, sizeof inst), 0);

    int32_t a3 = 11, a4 = 22, a5 = 33, count = 99;
    EXPECT_EQ(ReportEmptyCount(proc, &inst, &a3, &a4, &a5, &count), 1);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(a3, 11);
    EXPECT_EQ(a4, 22);
    EXPECT_EQ(a5, 33);
    EXPECT_EQ(std::memcmp(&before, &inst, sizeof inst), 0);
    EXPECT_EQ(ReportEmptyCount(proc, &inst, nullptr, nullptr, nullptr, nullptr), 1);
}

// The defined dynamic symbols of an ELF shared object.
std::set<std::string> ExportedSymbols(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::set<std::string> names;
    if (file.size() < sizeof(Elf64_Ehdr))
        return names;
    Elf64_Ehdr eh;
    std::memcpy(&eh, file.data(), sizeof eh);
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64)
        return names;
    auto section = [&](size_t i) {
        Elf64_Shdr sh{};
        size_t off = eh.e_shoff + i * eh.e_shentsize;
        if (off + sizeof sh <= file.size())
            std::memcpy(&sh, file.data() + off, sizeof sh);
        return sh;
    };
    for (size_t i = 0; i < eh.e_shnum; ++i) {
        Elf64_Shdr sh = section(i);
        if (sh.sh_type != SHT_DYNSYM)
            continue;
        Elf64_Shdr str = section(sh.sh_link);
        for (size_t off = sh.sh_offset; off + sizeof(Elf64_Sym) <= sh.sh_offset + sh.sh_size &&
                                        off + sizeof(Elf64_Sym) <= file.size();
             off += sizeof(Elf64_Sym)) {
            Elf64_Sym sym;
            std::memcpy(&sym, file.data() + off, sizeof sym);
            int bind = ELF64_ST_BIND(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK))
                continue;
            if (str.sh_offset + sym.st_name < file.size())
                names.insert(file.data() + str.sh_offset + sym.st_name);
        }
    }
    return names;
}

TEST(ModuleLibrary, ExportsFGInitAndNothingElse) {
    std::set<std::string> names = ExportedSymbols(KACQ_MODULE_FILE);
    EXPECT_EQ(names, std::set<std::string>{"FGInit"});
}

} // namespace

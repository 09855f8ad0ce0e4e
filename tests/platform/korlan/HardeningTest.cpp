// The host library against careless callers and misbehaving modules: handles
// that stay refused after their close however memory is reused, and
// ReserveSlot answers that are not exactly a free instance cell.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "korlan/KorlanApp.h"

namespace {

std::string lastMessage() {
    char text[1024];
    EXPECT_EQ(KGetLastErrorMessage(text, sizeof text), K_OK);
    return text;
}

class KorlanHardening : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(setenv("KORLAN_MODULE_DIR", KACQ_MODULE_DIR, 1), 0); }
};

// Enough rounds for the allocator to hand a freed block out again.
constexpr int kReopenRounds = 64;

TEST_F(KorlanHardening, ClosedHandlesStayRefusedWhenTheirMemoryIsReused) {
    KInterface* iface = nullptr;
    ASSERT_EQ(KOpenInterface("Fake", &iface), K_OK);
    KAcqInstance* stale = nullptr;
    ASSERT_EQ(KOpenInstance(iface, nullptr, &stale), K_OK);
    ASSERT_EQ(KCloseInstance(stale), K_OK);
    // Reopen until the new instance has the old handle's value (the
    // allocator reuses the block) or the rounds run out; keep the last open.
    KAcqInstance* live = nullptr;
    for (int round = 0; round < kReopenRounds; ++round) {
        ASSERT_EQ(KOpenInstance(iface, nullptr, &live), K_OK);
        if (live == stale)
            break;
        ASSERT_EQ(KCloseInstance(live), K_OK);
    }
    if (live != stale) {
        ASSERT_EQ(KOpenInstance(iface, nullptr, &live), K_OK);
    }
    HostImage image{};
    const HostInstance* record = nullptr;
    EXPECT_EQ(KGrabImage(stale, &image), K_ERR_NO_INSTANCE);
    EXPECT_EQ(KGetInstanceRecord(stale, &record), K_ERR_NO_INSTANCE);
    EXPECT_EQ(KCloseInstance(stale), K_ERR_NO_INSTANCE);
    ASSERT_EQ(KGetInstanceRecord(live, &record), K_OK) << "the newer instance is still open";
    EXPECT_EQ(KCloseInstance(live), K_OK);
    // An instance handle is no interface handle.
    EXPECT_EQ(KCloseInterface(reinterpret_cast<KInterface*>(live)), K_ERR_NO_INTERFACE);

    // The same for interfaces: close the last reference, load again.
    ASSERT_EQ(KCloseInterface(iface), K_OK);
    KInterface* again = nullptr;
    for (int round = 0; round < kReopenRounds; ++round) {
        ASSERT_EQ(KOpenInterface("Fake", &again), K_OK);
        if (again == iface)
            break;
        ASSERT_EQ(KCloseInterface(again), K_OK);
        again = nullptr;
    }
    if (again == nullptr) {
        ASSERT_EQ(KOpenInterface("Fake", &again), K_OK);
    }
    int32_t max = 0;
    EXPECT_EQ(KGetMaxInstances(iface, &max), K_ERR_NO_INTERFACE);
    EXPECT_EQ(KCloseInterface(iface), K_ERR_NO_INTERFACE);
    ASSERT_EQ(KGetMaxInstances(again, &max), K_OK) << "the newer interface is still loaded";
    EXPECT_EQ(max, 2);
    EXPECT_EQ(KCloseInterface(again), K_OK);
}

// A stand-in for the module's ReserveSlot: the module's own answer moved by
// g_shift bytes; every call counted, as are calls of the module's open.
KReserveSlotOp g_moduleReserve;
KInstanceOp g_moduleOpen;
ptrdiff_t g_shift;
int g_opens;

HostInstance** shiftedReserve(KProcHandle proc, HostInstance* instance) {
    HostInstance** cell = g_moduleReserve(proc, instance);
    return reinterpret_cast<HostInstance**>(reinterpret_cast<char*>(cell) + g_shift);
}
KErr countedOpen(KProcHandle proc, HostInstance* instance) {
    ++g_opens;
    return g_moduleOpen(proc, instance);
}

TEST_F(KorlanHardening, ReserveSlotAnswersOtherThanAFreeCellAreRefused) {
    KInterface* iface = nullptr;
    ASSERT_EQ(KOpenInterface("Fake", &iface), K_OK);
    const InterfaceClass* constRecord = nullptr;
    ASSERT_EQ(KGetInterfaceRecord(iface, &constRecord), K_OK);
    InterfaceClass* ic = const_cast<InterfaceClass*>(constRecord);
    g_moduleReserve = ic->reserveSlot;
    g_moduleOpen = ic->openInstance;
    ic->reserveSlot = shiftedReserve;
    ic->openInstance = countedOpen;
    const ptrdiff_t cell = sizeof(HostInstance*);

    struct Case {
        const char* what;
        ptrdiff_t shift; // from the free cell the module chose (cell 0)
    };
    const Case cases[] = {
        {"one byte into the cell", 1},
        {"half a cell on", cell / 2},
        {"just before the first cell", -1},
        {"the cell before the first", -cell},
        {"past the declared count (2)", 2 * cell},
        {"the cell of the open instance", 0},
    };
    KAcqInstance* open = nullptr;
    g_shift = 0;
    ASSERT_EQ(KOpenInstance(iface, nullptr, &open), K_OK);
    // The module now answers cell 1; reach the open one in cell 0 by -cell.
    for (const Case& c : cases) {
        g_shift = c.shift - cell;
        g_opens = 0;
        ASSERT_EQ(KClearLastErrorMessage(), K_OK);
        KAcqInstance* instance = nullptr;
        EXPECT_EQ(KOpenInstance(iface, nullptr, &instance), K_ERR_NO_INSTANCE) << c.what;
        EXPECT_EQ(instance, nullptr) << c.what;
        EXPECT_EQ(g_opens, 0) << c.what << ": the module is not asked to open";
        EXPECT_EQ(lastMessage(),
                  "korlan: interface 'Fake' reserved a cell that is not a free instance cell")
            << c.what;
        const HostInstance* first = nullptr;
        ASSERT_EQ(KGetInstanceRecord(open, &first), K_OK);
        EXPECT_EQ(ic->instances[0], first) << c.what;
        for (int i = 1; i < HOST_MAX_INSTANCES; ++i)
            ASSERT_EQ(ic->instances[i], nullptr) << c.what << ": cell " << i;
    }
    g_shift = 0;
    KAcqInstance* second = nullptr;
    EXPECT_EQ(KOpenInstance(iface, nullptr, &second), K_OK) << "an exact free cell is taken";
    ic->reserveSlot = g_moduleReserve;
    ic->openInstance = g_moduleOpen;
    EXPECT_EQ(KCloseInterface(iface), K_OK);
}

} // namespace

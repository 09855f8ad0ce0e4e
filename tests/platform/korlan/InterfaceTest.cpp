// The application side driving interface modules: the small fake beside the tests, and eXcite.
#include <stdlib.h>
#include <string.h>

#include <tuple>

#include "KorlanTest.h"

namespace {

using namespace KorlanTest;

class KorlanInterface : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(iface != nullptr ? KCloseInterface(iface) : K_OK, K_OK); }
    void load(const char* name) { ASSERT_EQ(KOpenInterface(name, &iface), K_OK) << name; }
    InterfaceClass* record() {
        const InterfaceClass* ic = nullptr;
        EXPECT_EQ(KGetInterfaceRecord(iface, &ic), K_OK);
        return const_cast<InterfaceClass*>(ic);
    }
    KAcqInstance* openFake() {
        load("Fake");
        KAcqInstance* instance = nullptr;
        EXPECT_EQ(KOpenInstance(iface, nullptr, &instance), K_OK);
        return instance;
    }

    KInterface* iface = nullptr;
};

TEST_F(KorlanInterface, NamesAndModuleDirectoryDecideWhatLoads) {
    const std::string longName(K_MAX_INTERFACE_NAME + 1, 'a');
    for (const char* name : {"", "../eXcite", "a/b", "e Xcite", "eXcite.so", longName.c_str()}) {
        KInterface* handle = reinterpret_cast<KInterface*>(0x10);
        EXPECT_EQ(KOpenInterface(name, &handle), K_ERR_NO_INTERFACE) << name;
        EXPECT_EQ(handle, nullptr) << name;
    }
    EXPECT_EQ(KOpenInterface(nullptr, &iface), K_ERR_NULL_POINTER);
    EXPECT_EQ(KOpenInterface("eXcite", nullptr), K_ERR_NULL_POINTER);
    EXPECT_EQ(KOpenInterface("Missing", &iface), K_ERR_NO_INTERFACE);
    EXPECT_EQ(lastMessage().rfind("korlan: cannot load interface 'Missing': ", 0), 0u)
        << lastMessage();
    ASSERT_EQ(setenv("KORLAN_MODULE_DIR", "/nonexistent-module-dir", 1), 0);
    EXPECT_EQ(KOpenInterface("eXcite", &iface), K_ERR_NO_INTERFACE);
    EXPECT_NE(lastMessage().find("/nonexistent-module-dir/libkAcqeXcite.so"), std::string::npos)
        << lastMessage();
    EXPECT_EQ(iface, nullptr);
    ASSERT_EQ(setenv("KORLAN_MODULE_DIR", KACQ_MODULE_DIR, 1), 0);
}

// Opens until the allocator hands the stale handle's block out again (or 64 times); the last
// stays open.
template <class H, class Open>
H* Reuse(H* stale, Open open, KErr (*close)(H*)) {
    H* live = nullptr;
    for (int round = 0; round < 64; ++round) {
        EXPECT_EQ(open(&live), K_OK);
        if (live == stale || round == 63)
            break;
        EXPECT_EQ(close(live), K_OK);
    }
    return live;
}

TEST_F(KorlanInterface, ClosedHandlesStayRefusedWhenTheirMemoryIsReused) {
    load("eXcite");
    KInterface* again = nullptr;
    ASSERT_EQ(KOpenInterface("eXcite", &again), K_OK);
    EXPECT_EQ(again, iface) << "a loaded interface is shared";
    EXPECT_EQ(KCloseInterface(again), K_OK);
    int32_t max = 0;
    EXPECT_EQ(KGetMaxInstances(iface, &max), K_OK) << "one reference is left";
    EXPECT_EQ(KCloseInterface(iface), K_OK);
    EXPECT_EQ(KCloseInterface(nullptr), K_ERR_NULL_POINTER);

    KAcqInstance* stale = openFake();
    ASSERT_EQ(KCloseInstance(stale), K_OK);
    KAcqInstance* live = Reuse<KAcqInstance>(
        stale, [&](KAcqInstance** h) { return KOpenInstance(iface, nullptr, h); }, KCloseInstance);
    HostImage image{};
    const HostInstance* hi = nullptr;
    EXPECT_EQ((std::vector<KErr>{KGrabImage(stale, &image), KGetInstanceRecord(stale, &hi),
                                 KCloseInstance(stale)}),
              std::vector<KErr>(3, K_ERR_NO_INSTANCE));
    ASSERT_EQ(KGetInstanceRecord(live, &hi), K_OK) << "the newer instance is still open";
    EXPECT_EQ(KCloseInstance(live), K_OK);
    EXPECT_EQ(KCloseInterface(reinterpret_cast<KInterface*>(live)), K_ERR_NO_INTERFACE);

    ASSERT_EQ(KCloseInterface(iface), K_OK);
    KInterface* newer = Reuse<KInterface>(
        iface, [](KInterface** h) { return KOpenInterface("Fake", h); }, KCloseInterface);
    EXPECT_EQ((std::vector<KErr>{KGetMaxInstances(iface, &max), KCloseInterface(iface)}),
              std::vector<KErr>(2, K_ERR_NO_INTERFACE));
    iface = newer;
    ASSERT_EQ(KGetMaxInstances(iface, &max), K_OK) << "the newer interface is still loaded";
    EXPECT_EQ(max, 2);
}

// The module's ReserveSlot and open while the test stands in for them.
KReserveSlotOp g_moduleReserve;
KInstanceOp g_moduleOpen;
ptrdiff_t g_shift;
int g_opens;

TEST_F(KorlanInterface, InstanceTakesExactlyAFreeCellBeforeOpen) {
    // The fake opens only if its reserved cell already holds the instance: the calling order.
    KAcqInstance* first = openFake();
    InterfaceClass* ic = record();
    const HostInstance* hi = nullptr;
    ASSERT_EQ(KGetInstanceRecord(first, &hi), K_OK);
    EXPECT_EQ(ic->instances[0], hi);
    EXPECT_EQ(std::to_string(hi->params.imageWidth) + " " + hi->params.device + " " +
                  std::to_string(hi->params.externalTrigger),
              "4 0 1");

    // Stand-ins: the module's own cell moved by g_shift bytes; its opens counted.
    std::tie(g_moduleReserve, g_moduleOpen) = std::tie(ic->reserveSlot, ic->openInstance);
    ic->reserveSlot = [](KProcHandle proc, HostInstance* instance) {
        char* cell = reinterpret_cast<char*>(g_moduleReserve(proc, instance));
        return reinterpret_cast<HostInstance**>(cell + g_shift);
    };
    ic->openInstance = [](KProcHandle proc, HostInstance* instance) {
        return ++g_opens, g_moduleOpen(proc, instance);
    };
    const ptrdiff_t cell = sizeof(HostInstance*);
    // Shifts from the free cell the module chose (cell 1).
    const std::pair<const char*, ptrdiff_t> cases[] = {
        {"one byte into the cell", 1},
        {"half a cell on", cell / 2},
        {"just before the first cell", -cell - 1},
        {"the cell before the first", -2 * cell},
        {"past the declared count (2)", cell},
        {"the cell of the open instance", -cell},
    };
    for (const auto& [what, shift] : cases) {
        SCOPED_TRACE(what);
        g_shift = shift;
        g_opens = 0;
        ASSERT_EQ(KClearLastErrorMessage(), K_OK);
        KAcqInstance* instance = reinterpret_cast<KAcqInstance*>(0x10);
        EXPECT_EQ(KOpenInstance(iface, nullptr, &instance), K_ERR_NO_INSTANCE);
        std::vector<const HostInstance*> cells(ic->instances, ic->instances + HOST_MAX_INSTANCES);
        EXPECT_EQ(std::make_tuple(g_opens, instance, cells[0],
                                  std::count(cells.begin(), cells.end(), nullptr)),
                  std::make_tuple(0, nullptr, hi, HOST_MAX_INSTANCES - 1));
        EXPECT_EQ(lastMessage(),
                  "korlan: interface 'Fake' reserved a cell that is not a free instance cell");
    }
    g_shift = 0;
    KAcqInstance* second = nullptr;
    EXPECT_EQ(KOpenInstance(iface, nullptr, &second), K_OK) << "an exact free cell is taken";
    std::tie(ic->reserveSlot, ic->openInstance) = std::tie(g_moduleReserve, g_moduleOpen);

    KAcqInstance* third = reinterpret_cast<KAcqInstance*>(0x10);
    EXPECT_EQ(KOpenInstance(iface, nullptr, &third), K_ERR_NO_INSTANCE);
    EXPECT_EQ(third, nullptr);
    EXPECT_EQ(lastMessage(), "korlan: interface 'Fake' has no free instance slot (2 at most)");
}

TEST_F(KorlanInterface, FailedOpenLeavesNothingBehind) {
    load("Fake");
    const InterfaceClass* ic = record();
    HostValue *values = nullptr, *direct = nullptr;
    int32_t count = 0, directCount = 0;
    ASSERT_EQ(KGetInterfaceDefaults(iface, &values, &count), K_OK);
    ASSERT_EQ(KFgGetDefaults(nullptr, ic, &direct, &directCount), K_OK);
    EXPECT_EQ(Show(values, count), Show(direct, directCount)) << "the record's default list";
    EXPECT_EQ(KXFree(nullptr, direct) + KXFree(nullptr, values), 2 * K_OK);
    const int32_t blocks = blockCount();
    HostOpenParameters params;
    ASSERT_EQ(KGetDefaultOpenParameters(iface, &params), K_OK);
    strcpy(params.device, "9");
    KAcqInstance* instance = nullptr;
    EXPECT_EQ(KOpenInstance(iface, &params, &instance), K_ERR_DEVICE_NOT_FOUND);
    EXPECT_EQ(std::make_tuple(instance, ic->instances[0], blockCount()),
              std::make_tuple(nullptr, nullptr, blocks));
    // An unterminated text from the caller is cut, not read beyond.
    memset(params.device, '0', sizeof params.device);
    EXPECT_EQ(KOpenInstance(iface, &params, &instance), K_ERR_DEVICE_NOT_FOUND);
}

TEST_F(KorlanInterface, GrabsFillTheCallersImageAndOperationsNotOfferedAreCodes) {
    KAcqInstance* instance = openFake();
    const KErr N = K_ERR_NULL_POINTER;
    HostImage image{};
    ASSERT_EQ(KGrabImage(instance, &image), K_OK);
    EXPECT_EQ(Show(image), "1 4x3 1B 8b owns 1");
    EXPECT_EQ(KClearImage(&image), K_OK);
    EXPECT_EQ(
        (std::vector<KErr>{KGrabImage(instance, nullptr), KGrabImageAsync(instance, 1.0, nullptr),
                           KGrabImage(nullptr, &image), KStartAsyncGrab(nullptr, 1.0),
                           KStartAsyncGrab(instance, 1.0), KGrabImageAsync(instance, 1.0, &image)}),
        (std::vector<KErr>{N, N, N, N, K_ERR_NOT_IMPLEMENTED, K_ERR_NOT_IMPLEMENTED}))
        << "the fake offers no asynchronous grabs";
}

TEST_F(KorlanInterface, ListsAreCopiedBeforeLocalMemoryIsFreedAndCodesPassUnchanged) {
    KAcqInstance* instance = openFake();
    const int32_t blocks = blockCount();
    // The fake's texts are local memory: the copies outlive the operation (the sanitizer build
    // catches a use after free) and only the returned block is left.
    HostValue* values = nullptr;
    int32_t count = 0;
    ASSERT_EQ(KGetParameter(instance, "volatile_values", &values, &count), K_OK);
    EXPECT_EQ(Show(values, count), "s:enable s:disable");
    EXPECT_EQ(blockCount(), blocks + 1);
    EXPECT_EQ(KXFree(nullptr, values), K_OK);
    char text[64];
    ASSERT_EQ(KQueryInfo(iface, 5, text, sizeof text, &values, &count), K_OK);
    EXPECT_EQ(text + ("|" + Show(values, count)),
              "Info about installed fakes|s:device:0 port:61696 i:61696");
    EXPECT_EQ(KXFree(nullptr, values), K_OK);
    EXPECT_EQ(blockCount(), blocks) << "module array and local texts are freed";
    char small[5];
    ASSERT_EQ(KQueryInfo(iface, 7, small, sizeof small, &values, &count), K_OK);
    EXPECT_EQ(std::make_tuple(std::string(small), count, values, blockCount()),
              std::make_tuple(std::string("Unsu"), 0, nullptr, blocks));

    HostValue v{{1234}, HOST_VALUE_INT, {}};
    HostValue many[K_MAX_PARAM_VALUES + 1] = {};
    KAcqInstance* other = nullptr;
    const char* gt = "grab_timeout";
    const KErr N = K_ERR_NULL_POINTER, S = K_ERR_BAD_SIZE;
    const KErr unknown = KGetParameter(instance, "frobnicate", &values, &count);
    EXPECT_EQ(std::make_tuple(unknown, values), std::make_tuple(K_ERR_UNKNOWN_PARAM, nullptr));
    const std::vector<KErr> got = {KSetParameter(instance, "frobnicate", &v, 1),
                                   KSetParameter(instance, gt, &v, 0),
                                   KSetParameter(instance, gt, many, K_MAX_PARAM_VALUES + 1),
                                   KSetParameter(instance, gt, many, -1),
                                   KSetParameter(instance, gt, nullptr, 1),
                                   KSetParameter(instance, nullptr, &v, 1),
                                   KGetParameter(instance, nullptr, &values, &count),
                                   KGetParameter(instance, gt, nullptr, &count),
                                   KGetParameter(instance, gt, &values, nullptr),
                                   KOpenInstance(nullptr, nullptr, &other),
                                   KOpenInstance(iface, nullptr, nullptr),
                                   KQueryInfo(iface, 5, nullptr, 4, &values, &count),
                                   KQueryInfo(iface, 5, small, 0, &values, &count),
                                   KCloseInstance(nullptr)};
    EXPECT_EQ(got, (std::vector<KErr>{K_ERR_UNKNOWN_PARAM, K_ERR_BAD_PARAM_TYPE, S, S, N, N, N, N,
                                      N, N, N, N, S, N}));
}

} // namespace

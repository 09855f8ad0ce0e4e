// The application side driving interface modules: the real eXcite module
// (record, defaults, operations not offered yet) and a small fake module
// (calling order, slots, images, lists with local texts, failures).
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "KorlanTest.h"

namespace {

using namespace KorlanTest;

class KorlanInterface : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(setenv("KORLAN_MODULE_DIR", KACQ_MODULE_DIR, 1), 0); }
    void TearDown() override {
        if (iface != nullptr) {
            EXPECT_EQ(KCloseInterface(iface), K_OK);
        }
    }
    void load(const char* name) { ASSERT_EQ(KOpenInterface(name, &iface), K_OK) << name; }
    const InterfaceClass* record() {
        const InterfaceClass* ic = nullptr;
        EXPECT_EQ(KGetInterfaceRecord(iface, &ic), K_OK);
        return ic;
    }
    // The fake loaded and an instance of it open.
    KAcqInstance* openFake() {
        load("Fake");
        KAcqInstance* instance = nullptr;
        EXPECT_EQ(KOpenInstance(iface, nullptr, &instance), K_OK);
        return instance;
    }

    KInterface* iface = nullptr;
};

TEST_F(KorlanInterface, ExciteRecordGivesTheInstanceLimitAndDefaultList) {
    load("eXcite");
    int32_t max = 0;
    ASSERT_EQ(KGetMaxInstances(iface, &max), K_OK);
    EXPECT_EQ(max, 64);
    HostValue *values = nullptr, *direct = nullptr;
    int32_t count = 0, directCount = 0;
    ASSERT_EQ(KGetInterfaceDefaults(iface, &values, &count), K_OK);
    ASSERT_EQ(count, K_DEFAULT_COUNT);
    // The same list straight from the record with KFgGetDefaults.
    ASSERT_EQ(KFgGetDefaults(nullptr, record(), &direct, &directCount), K_OK);
    EXPECT_EQ(Show(direct, directCount), Show(values, count));
    EXPECT_EQ(KXFree(nullptr, direct), K_OK);
    EXPECT_EQ(KXFree(nullptr, values), K_OK);
    HostOpenParameters params;
    ASSERT_EQ(KGetDefaultOpenParameters(iface, &params), K_OK);
    EXPECT_EQ(std::string(params.device) + ":" + std::to_string(params.port), "0:61696");
}

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
}

TEST_F(KorlanInterface, LoadedInterfaceIsSharedAndCountedUntilTheLastClose) {
    load("eXcite");
    KInterface* again = nullptr;
    ASSERT_EQ(KOpenInterface("eXcite", &again), K_OK);
    EXPECT_EQ(again, iface);
    EXPECT_EQ(KCloseInterface(again), K_OK);
    int32_t max = 0;
    EXPECT_EQ(KGetMaxInstances(iface, &max), K_OK) << "one reference is left";
    EXPECT_EQ(KCloseInterface(iface), K_OK);
    EXPECT_EQ(KCloseInterface(iface), K_ERR_NO_INTERFACE) << "a stale handle is refused";
    EXPECT_EQ(KGetMaxInstances(iface, &max), K_ERR_NO_INTERFACE);
    iface = nullptr;
    EXPECT_EQ(KCloseInterface(nullptr), K_ERR_NULL_POINTER);
}

TEST_F(KorlanInterface, InstanceIsStoredInItsCellBeforeOpenAndFreedAtClose) {
    // The fake refuses to open unless its reserved cell already holds the
    // instance, so success proves the calling order.
    KAcqInstance* first = openFake();
    KAcqInstance* second = nullptr;
    ASSERT_EQ(KOpenInstance(iface, nullptr, &second), K_OK);
    const InterfaceClass* ic = record();
    const HostInstance* hi = nullptr;
    ASSERT_EQ(KGetInstanceRecord(first, &hi), K_OK);
    EXPECT_EQ(ic->instances[0], hi);
    // Width written back by open, device and trigger filled from the defaults.
    EXPECT_EQ(std::to_string(hi->params.imageWidth) + " " + hi->params.device + " " +
                  std::to_string(hi->params.externalTrigger),
              "4 0 1");
    // Both slots taken: the module's null becomes a clear host error.
    KAcqInstance* third = reinterpret_cast<KAcqInstance*>(0x10);
    EXPECT_EQ(KOpenInstance(iface, nullptr, &third), K_ERR_NO_INSTANCE);
    EXPECT_EQ(third, nullptr);
    EXPECT_EQ(lastMessage(), "korlan: interface 'Fake' has no free instance slot (2 at most)");
    ASSERT_EQ(KCloseInstance(first), K_OK);
    EXPECT_EQ(ic->instances[0], nullptr);
    EXPECT_EQ(KCloseInstance(first), K_ERR_NO_INSTANCE) << "a closed instance is refused";
    HostImage image{};
    EXPECT_EQ(KGrabImage(first, &image), K_ERR_NO_INSTANCE);
    ASSERT_EQ(KOpenInstance(iface, nullptr, &first), K_OK) << "the slot is free again";
    EXPECT_EQ(KCloseInstance(first), K_OK);
    // `second` is closed with the interface.
}

TEST_F(KorlanInterface, FailedOpenLeavesNothingBehindAndCallerParametersOverride) {
    load("Fake");
    const InterfaceClass* ic = record();
    int32_t blocks = blockCount();
    HostOpenParameters params;
    ASSERT_EQ(KGetDefaultOpenParameters(iface, &params), K_OK);
    strcpy(params.device, "9");
    KAcqInstance* instance = nullptr;
    EXPECT_EQ(KOpenInstance(iface, &params, &instance), K_ERR_DEVICE_NOT_FOUND);
    EXPECT_EQ(instance, nullptr);
    EXPECT_EQ(ic->instances[0], nullptr);
    EXPECT_EQ(blockCount(), blocks);
    // An unterminated text from the caller is cut, not read beyond.
    memset(params.device, '0', sizeof params.device);
    EXPECT_EQ(KOpenInstance(iface, &params, &instance), K_ERR_DEVICE_NOT_FOUND);
    strcpy(params.device, "0");
    params.bitsPerChannel = 12;
    ASSERT_EQ(KOpenInstance(iface, &params, &instance), K_OK);
    HostImage image{};
    ASSERT_EQ(KGrabImage(instance, &image), K_OK);
    EXPECT_EQ(Show(image), "1024 4x3 2B 12b owns 1");
    EXPECT_EQ(static_cast<uint16_t*>(image.data)[5], (1 * 4 + 1) * 256 + 15);
    EXPECT_EQ(KClearImage(&image), K_OK);
    EXPECT_EQ(KCloseInstance(instance), K_OK);
}

TEST_F(KorlanInterface, GrabsFillTheCallersImageAgainAndAgain) {
    KAcqInstance* instance = openFake();
    HostImage image{};
    for (int grab = 0; grab < 3; ++grab) {
        ASSERT_EQ(KGrabImage(instance, &image), K_OK);
        ASSERT_EQ(Show(image), "1 4x3 1B 8b owns 1");
        const uint8_t* p = static_cast<const uint8_t*>(image.data);
        EXPECT_EQ((std::vector<int>{p[0], p[11]}), (std::vector<int>{grab * 16, grab * 16 + 11}));
    }
    EXPECT_EQ(KStartAsyncGrab(instance, 50.0), K_OK);
    ASSERT_EQ(KGrabImageAsync(instance, 50.0, &image), K_OK);
    EXPECT_EQ(static_cast<const uint8_t*>(image.data)[0], 3 * 16);
    const HostInstance* hi = nullptr;
    ASSERT_EQ(KGetInstanceRecord(instance, &hi), K_OK);
    EXPECT_EQ(hi->asyncGrab, 1);
    EXPECT_EQ(KClearImage(&image), K_OK);
    EXPECT_EQ(
        (std::vector<KErr>{KGrabImage(instance, nullptr), KGrabImageAsync(instance, 1.0, nullptr),
                           KGrabImage(nullptr, &image), KStartAsyncGrab(nullptr, 1.0)}),
        std::vector<KErr>(4, K_ERR_NULL_POINTER));
    EXPECT_EQ(KCloseInstance(instance), K_OK);
}

TEST_F(KorlanInterface, ListsAreCopiedBeforeLocalMemoryIsFreed) {
    KAcqInstance* instance = openFake();
    int32_t blocks = blockCount();
    // The fake's texts are local memory; the copies outlive the operation
    // (the sanitizer build catches a use after free) and only the returned
    // block is left.
    HostValue* values = nullptr;
    int32_t count = 0;
    ASSERT_EQ(KGetParameter(instance, "volatile_values", &values, &count), K_OK);
    EXPECT_EQ(Show(values, count), "s:enable s:disable");
    EXPECT_EQ(blockCount(), blocks + 1);
    EXPECT_EQ(KXFree(nullptr, values), K_OK);
    char text[64];
    ASSERT_EQ(KQueryInfo(iface, 5, text, sizeof text, &values, &count), K_OK);
    EXPECT_STREQ(text, "Info about installed fakes");
    EXPECT_EQ(Show(values, count), "s:device:0 port:61696 i:61696");
    EXPECT_EQ(blockCount(), blocks + 1) << "module array and local texts are freed";
    EXPECT_EQ(KXFree(nullptr, values), K_OK);
    char small[5];
    ASSERT_EQ(KQueryInfo(iface, 7, small, sizeof small, &values, &count), K_OK);
    EXPECT_STREQ(small, "Unsu");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(values, nullptr);
    EXPECT_EQ(blockCount(), blocks);
    EXPECT_EQ(KCloseInstance(instance), K_OK);
}

TEST_F(KorlanInterface, ParametersTravelBothWaysAndModuleCodesPassUnchanged) {
    KAcqInstance* instance = openFake();
    HostValue v{};
    v.value.i = 1234;
    v.type = HOST_VALUE_INT;
    ASSERT_EQ(KSetParameter(instance, "grab_timeout", &v, 1), K_OK);
    HostValue* values = nullptr;
    int32_t count = 0;
    ASSERT_EQ(KGetParameter(instance, "grab_timeout", &values, &count), K_OK);
    EXPECT_EQ(Show(values, count), "i:1234");
    EXPECT_EQ(KXFree(nullptr, values), K_OK);
    EXPECT_EQ(KSetParameter(instance, "frobnicate", &v, 1), K_ERR_UNKNOWN_PARAM);
    EXPECT_EQ(KSetParameter(instance, "grab_timeout", &v, 0), K_ERR_BAD_PARAM_TYPE);
    EXPECT_EQ(KGetParameter(instance, "frobnicate", &values, &count), K_ERR_UNKNOWN_PARAM);
    EXPECT_EQ(values, nullptr);
    HostValue many[K_MAX_PARAM_VALUES + 1] = {};
    KAcqInstance* other = nullptr;
    char text[4];
    const char* gt = "grab_timeout";
    const KErr N = K_ERR_NULL_POINTER, S = K_ERR_BAD_SIZE;
    const std::vector<KErr> got = {KSetParameter(instance, gt, many, K_MAX_PARAM_VALUES + 1),
                                   KSetParameter(instance, gt, many, -1),
                                   KSetParameter(instance, gt, nullptr, 1),
                                   KSetParameter(instance, nullptr, &v, 1),
                                   KGetParameter(instance, nullptr, &values, &count),
                                   KGetParameter(instance, gt, nullptr, &count),
                                   KGetParameter(instance, gt, &values, nullptr),
                                   KOpenInstance(nullptr, nullptr, &other),
                                   KOpenInstance(iface, nullptr, nullptr),
                                   KQueryInfo(iface, 5, nullptr, 4, &values, &count),
                                   KQueryInfo(iface, 5, text, 0, &values, &count),
                                   KCloseInstance(nullptr)};
    EXPECT_EQ(got, (std::vector<KErr>{S, S, N, N, N, N, N, N, N, N, S, N}));
    // `instance` stays open: closing the interface closes it.
}

} // namespace

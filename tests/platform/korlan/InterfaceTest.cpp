// The application side driving interface modules: the real eXcite module
// (record, defaults, operations not offered yet) and a small fake module
// (calling order, slots, images, lists with local texts, failures).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "korlan/KorlanApp.h"

namespace {

int32_t blockCount() {
    int32_t n = -1;
    EXPECT_EQ(KMemCheckBlockCount(&n), K_OK);
    return n;
}

std::string lastMessage() {
    char text[1024];
    EXPECT_EQ(KGetLastErrorMessage(text, sizeof text), K_OK);
    return text;
}

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

    KInterface* iface = nullptr;
};

TEST_F(KorlanInterface, ExciteRecordGivesTheInstanceLimitAndDefaultList) {
    load("eXcite");
    int32_t max = 0;
    ASSERT_EQ(KGetMaxInstances(iface, &max), K_OK);
    EXPECT_EQ(max, 64);

    HostValue* values = nullptr;
    int32_t count = 0;
    ASSERT_EQ(KGetInterfaceDefaults(iface, &values, &count), K_OK);
    ASSERT_EQ(count, K_DEFAULT_COUNT);
    // The values themselves are the module's record defaults (checked with
    // FGInit) in the list's order (checked with KFgGetDefaults).
    // The same list straight from the record with KFgGetDefaults.
    HostValue* direct = nullptr;
    int32_t directCount = 0;
    ASSERT_EQ(KFgGetDefaults(nullptr, record(), &direct, &directCount), K_OK);
    ASSERT_EQ(directCount, count);
    for (int32_t i = 0; i < count; ++i) {
        ASSERT_EQ(direct[i].type, values[i].type) << i;
        if (values[i].type == HOST_VALUE_INT)
            EXPECT_EQ(direct[i].value.i, values[i].value.i) << i;
        else
            EXPECT_STREQ(direct[i].value.s, values[i].value.s) << i;
    }
    EXPECT_EQ(KXFree(nullptr, direct), K_OK);
    EXPECT_EQ(KXFree(nullptr, values), K_OK);

    HostOpenParameters params;
    ASSERT_EQ(KGetDefaultOpenParameters(iface, &params), K_OK);
    EXPECT_STREQ(params.device, "0");
    EXPECT_EQ(params.port, 61696);
}

TEST_F(KorlanInterface, NamesAndModuleDirectoryDecideWhatLoads) {
    const char* refused[] = {"", "../eXcite", "a/b", "e Xcite", "eXcite.so"};
    for (const char* name : refused) {
        KInterface* handle = reinterpret_cast<KInterface*>(0x10);
        EXPECT_EQ(KOpenInterface(name, &handle), K_ERR_NO_INTERFACE) << name;
        EXPECT_EQ(handle, nullptr) << name;
    }
    std::string longName(K_MAX_INTERFACE_NAME + 1, 'a');
    EXPECT_EQ(KOpenInterface(longName.c_str(), &iface), K_ERR_NO_INTERFACE);
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
    load("Fake");
    const InterfaceClass* ic = record();
    KAcqInstance* first = nullptr;
    KAcqInstance* second = nullptr;
    // The fake refuses to open unless its reserved cell already holds the
    // instance, so success proves the calling order.
    ASSERT_EQ(KOpenInstance(iface, nullptr, &first), K_OK);
    ASSERT_EQ(KOpenInstance(iface, nullptr, &second), K_OK);
    const HostInstance* hi = nullptr;
    ASSERT_EQ(KGetInstanceRecord(first, &hi), K_OK);
    EXPECT_EQ(ic->instances[0], hi);
    EXPECT_EQ(hi->params.imageWidth, 4) << "written back by open";
    EXPECT_STREQ(hi->params.device, "0") << "filled from the defaults";
    EXPECT_EQ(hi->params.externalTrigger, 1);

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
    EXPECT_EQ(image.kind, K_PIXEL_UINT2);
    EXPECT_EQ(image.significantBits, 12);
    EXPECT_EQ(static_cast<uint16_t*>(image.data)[5], (1 * 4 + 1) * 256 + 15);
    EXPECT_EQ(KClearImage(&image), K_OK);
    EXPECT_EQ(KCloseInstance(instance), K_OK);
}

TEST_F(KorlanInterface, GrabsFillTheCallersImageAgainAndAgain) {
    load("Fake");
    KAcqInstance* instance = nullptr;
    ASSERT_EQ(KOpenInstance(iface, nullptr, &instance), K_OK);
    HostImage image{};
    for (int grab = 0; grab < 3; ++grab) {
        ASSERT_EQ(KGrabImage(instance, &image), K_OK);
        ASSERT_EQ(image.kind, K_PIXEL_BYTE);
        ASSERT_EQ(image.width, 4);
        ASSERT_EQ(image.height, 3);
        const uint8_t* p = static_cast<const uint8_t*>(image.data);
        EXPECT_EQ(p[0], grab * 16);
        EXPECT_EQ(p[11], grab * 16 + 11);
    }
    EXPECT_EQ(KStartAsyncGrab(instance, 50.0), K_OK);
    ASSERT_EQ(KGrabImageAsync(instance, 50.0, &image), K_OK);
    EXPECT_EQ(static_cast<const uint8_t*>(image.data)[0], 3 * 16);
    const HostInstance* hi = nullptr;
    ASSERT_EQ(KGetInstanceRecord(instance, &hi), K_OK);
    EXPECT_EQ(hi->asyncGrab, 1);
    EXPECT_EQ(KClearImage(&image), K_OK);

    EXPECT_EQ(KGrabImage(instance, nullptr), K_ERR_NULL_POINTER);
    EXPECT_EQ(KGrabImageAsync(instance, 1.0, nullptr), K_ERR_NULL_POINTER);
    EXPECT_EQ(KGrabImage(nullptr, &image), K_ERR_NULL_POINTER);
    EXPECT_EQ(KStartAsyncGrab(nullptr, 1.0), K_ERR_NULL_POINTER);
    EXPECT_EQ(KCloseInstance(instance), K_OK);
}

TEST_F(KorlanInterface, ListsAreCopiedBeforeLocalMemoryIsFreed) {
    load("Fake");
    KAcqInstance* instance = nullptr;
    ASSERT_EQ(KOpenInstance(iface, nullptr, &instance), K_OK);
    int32_t blocks = blockCount();

    // The fake's texts are local memory; the copies outlive the operation
    // (the sanitizer build catches a use after free) and only the returned
    // block is left.
    HostValue* values = nullptr;
    int32_t count = 0;
    ASSERT_EQ(KGetParameter(instance, "volatile_values", &values, &count), K_OK);
    ASSERT_EQ(count, 2);
    EXPECT_STREQ(values[0].value.s, "enable");
    EXPECT_STREQ(values[1].value.s, "disable");
    EXPECT_EQ(blockCount(), blocks + 1);
    EXPECT_EQ(KXFree(nullptr, values), K_OK);

    char text[64];
    ASSERT_EQ(KQueryInfo(iface, 5, text, sizeof text, &values, &count), K_OK);
    EXPECT_STREQ(text, "Info about installed fakes");
    ASSERT_EQ(count, 2);
    EXPECT_EQ(values[0].type, HOST_VALUE_TEXT);
    EXPECT_STREQ(values[0].value.s, "device:0 port:61696");
    EXPECT_EQ(values[1].type, HOST_VALUE_INT);
    EXPECT_EQ(values[1].value.i, 61696);
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
    load("Fake");
    KAcqInstance* instance = nullptr;
    ASSERT_EQ(KOpenInstance(iface, nullptr, &instance), K_OK);
    HostValue v{};
    v.value.i = 1234;
    v.type = HOST_VALUE_INT;
    ASSERT_EQ(KSetParameter(instance, "grab_timeout", &v, 1), K_OK);
    HostValue* values = nullptr;
    int32_t count = 0;
    ASSERT_EQ(KGetParameter(instance, "grab_timeout", &values, &count), K_OK);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(values[0].type, HOST_VALUE_INT);
    EXPECT_EQ(values[0].value.i, 1234);
    EXPECT_EQ(KXFree(nullptr, values), K_OK);

    EXPECT_EQ(KSetParameter(instance, "frobnicate", &v, 1), K_ERR_UNKNOWN_PARAM);
    EXPECT_EQ(KSetParameter(instance, "grab_timeout", &v, 0), K_ERR_BAD_PARAM_TYPE);
    EXPECT_EQ(KGetParameter(instance, "frobnicate", &values, &count), K_ERR_UNKNOWN_PARAM);
    EXPECT_EQ(values, nullptr);

    HostValue many[K_MAX_PARAM_VALUES + 1] = {};
    EXPECT_EQ(KSetParameter(instance, "grab_timeout", many, K_MAX_PARAM_VALUES + 1),
              K_ERR_BAD_SIZE);
    EXPECT_EQ(KSetParameter(instance, "grab_timeout", many, -1), K_ERR_BAD_SIZE);
    EXPECT_EQ(KSetParameter(instance, "grab_timeout", nullptr, 1), K_ERR_NULL_POINTER);
    EXPECT_EQ(KSetParameter(instance, nullptr, &v, 1), K_ERR_NULL_POINTER);
    EXPECT_EQ(KGetParameter(instance, nullptr, &values, &count), K_ERR_NULL_POINTER);
    EXPECT_EQ(KGetParameter(instance, "grab_timeout", nullptr, &count), K_ERR_NULL_POINTER);
    EXPECT_EQ(KGetParameter(instance, "grab_timeout", &values, nullptr), K_ERR_NULL_POINTER);
    KAcqInstance* other = nullptr;
    EXPECT_EQ(KOpenInstance(nullptr, nullptr, &other), K_ERR_NULL_POINTER);
    EXPECT_EQ(KOpenInstance(iface, nullptr, nullptr), K_ERR_NULL_POINTER);
    EXPECT_EQ(KQueryInfo(iface, 5, nullptr, 4, &values, &count), K_ERR_NULL_POINTER);
    char text[4];
    EXPECT_EQ(KQueryInfo(iface, 5, text, 0, &values, &count), K_ERR_BAD_SIZE);
    EXPECT_EQ(KCloseInstance(nullptr), K_ERR_NULL_POINTER);
    // `instance` stays open: closing the interface closes it.
}

} // namespace

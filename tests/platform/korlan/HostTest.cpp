// Host services the module calls besides memory and images: the default
// list built from a record, global 64, error printing and host-code texts.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <limits>
#include <memory>
#include <set>
#include <string>

#include "korlan/KorlanApp.h"

namespace {

std::unique_ptr<InterfaceClass> recordWithDefaults() {
    std::unique_ptr<InterfaceClass> ic(new InterfaceClass());
    memset(ic.get(), 0, sizeof *ic);
    HostOpenParameters& d = ic->defaults;
    d.horizontalResolution = 2;
    d.verticalResolution = 3;
    d.imageWidth = 640;
    d.imageHeight = 480;
    d.startRow = 5;
    d.startColumn = 6;
    d.field = 4;
    d.bitsPerChannel = 12;
    strcpy(d.colorSpace, "bayer");
    d.gain = 2.5f;
    d.externalTrigger = 1;
    strcpy(d.cameraType, "default");
    strcpy(d.device, "cam7");
    d.port = 61696;
    d.lineIn = -1;
    return ic;
}

TEST(KorlanDefaults, ListFollowsTheRecordsDefaultBlockInOrder) {
    auto ic = recordWithDefaults();
    HostValue* values = nullptr;
    int32_t count = 0;
    ASSERT_EQ(KFgGetDefaults(nullptr, ic.get(), &values, &count), K_OK);
    ASSERT_EQ(count, K_DEFAULT_COUNT);
    struct Expected {
        const char* name;
        uint8_t type;
        int32_t i;
        const char* s;
    };
    const Expected expected[K_DEFAULT_COUNT] = {
        {"horizontal_resolution", HOST_VALUE_INT, 2, nullptr},
        {"vertical_resolution", HOST_VALUE_INT, 3, nullptr},
        {"image_width", HOST_VALUE_INT, 640, nullptr},
        {"image_height", HOST_VALUE_INT, 480, nullptr},
        {"start_row", HOST_VALUE_INT, 5, nullptr},
        {"start_column", HOST_VALUE_INT, 6, nullptr},
        {"field", HOST_VALUE_INT, 4, nullptr},
        {"bits_per_channel", HOST_VALUE_INT, 12, nullptr},
        {"color_space", HOST_VALUE_TEXT, 0, "bayer"},
        {"gain", HOST_VALUE_TEXT, 0, "2.5"},
        {"external_trigger", HOST_VALUE_TEXT, 0, "true"},
        {"camera_type", HOST_VALUE_TEXT, 0, "default"},
        {"device", HOST_VALUE_TEXT, 0, "cam7"},
        {"port", HOST_VALUE_INT, 61696, nullptr},
        {"line_in", HOST_VALUE_INT, -1, nullptr},
    };
    for (int32_t i = 0; i < K_DEFAULT_COUNT; ++i) {
        const Expected& e = expected[i];
        EXPECT_STREQ(KFgDefaultName(i), e.name) << i;
        ASSERT_EQ(values[i].type, e.type) << e.name;
        if (e.type == HOST_VALUE_INT)
            EXPECT_EQ(values[i].value.i, e.i) << e.name;
        else
            EXPECT_STREQ(values[i].value.s, e.s) << e.name;
    }
    EXPECT_EQ(KFgDefaultName(-1), nullptr);
    EXPECT_EQ(KFgDefaultName(K_DEFAULT_COUNT), nullptr);

    // The texts live in the list's own block: the record may change or go.
    strcpy(ic->defaults.device, "other");
    ic.reset();
    EXPECT_STREQ(values[12].value.s, "cam7");
    EXPECT_EQ(KXFree(nullptr, values), K_OK) << "one KXFree releases list and texts";
}

TEST(KorlanDefaults, UnterminatedTextFieldsAreCutAtTheFieldSize) {
    auto ic = recordWithDefaults();
    memset(ic->defaults.device, 'd', sizeof ic->defaults.device);
    memset(ic->defaults.colorSpace, 'c', sizeof ic->defaults.colorSpace);
    HostValue* values = nullptr;
    int32_t count = 0;
    ASSERT_EQ(KFgGetDefaults(nullptr, ic.get(), &values, &count), K_OK);
    EXPECT_EQ(std::string(values[8].value.s), std::string(1023, 'c'));
    EXPECT_EQ(std::string(values[12].value.s), std::string(1023, 'd'));
    EXPECT_EQ(KXFree(nullptr, values), K_OK);
}

TEST(KorlanDefaults, NullArgumentsAreCodes) {
    auto ic = recordWithDefaults();
    HostValue* values = reinterpret_cast<HostValue*>(0x10);
    int32_t count = 99;
    EXPECT_EQ(KFgGetDefaults(nullptr, nullptr, &values, &count), K_ERR_NULL_POINTER);
    EXPECT_EQ(values, nullptr);
    EXPECT_EQ(count, 99);
    EXPECT_EQ(KFgGetDefaults(nullptr, ic.get(), nullptr, &count), K_ERR_NULL_POINTER);
    EXPECT_EQ(KFgGetDefaults(nullptr, ic.get(), &values, nullptr), K_ERR_NULL_POINTER);
}

TEST(KorlanGlobals, Global64ReadsWritesAndRefusesTheRest) {
    int32_t saved = 0;
    ASSERT_EQ(KAccessGlVar(nullptr, K_GLOBAL_64, K_GLOBAL_READ, &saved, 0.0, 0, 0, 0), K_OK);
    struct Case {
        const char* what;
        int32_t variable;
        int32_t access;
        double value;
        KErr expected;
        int32_t after; // value read afterwards
    };
    const Case cases[] = {
        {"write 0", 64, 0, 0.0, K_OK, 0},
        {"write 7", 64, 0, 7.0, K_OK, 7},
        {"fraction truncated", 64, 0, 3.9, K_OK, 3},
        {"negative", 64, 0, -5.0, K_OK, -5},
        {"NaN refused", 64, 0, std::numeric_limits<double>::quiet_NaN(), K_ERR_BAD_GLOBAL, -5},
        {"infinity refused", 64, 0, std::numeric_limits<double>::infinity(), K_ERR_BAD_GLOBAL, -5},
        {"too big refused", 64, 0, 3e9, K_ERR_BAD_GLOBAL, -5},
        {"other variable", 63, 0, 1.0, K_ERR_BAD_GLOBAL, -5},
        {"mode 2", 64, 2, 1.0, K_ERR_BAD_GLOBAL, -5},
        {"mode -1", 64, -1, 1.0, K_ERR_BAD_GLOBAL, -5},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KAccessGlVar(nullptr, c.variable, c.access, nullptr, c.value, 0, 0, 0),
                  c.expected)
            << c.what;
        int32_t now = 1234;
        ASSERT_EQ(KAccessGlVar(nullptr, 64, 1, &now, 0.0, 0, 0, 0), K_OK);
        EXPECT_EQ(now, c.after) << c.what;
    }
    int32_t out = 42;
    EXPECT_EQ(KAccessGlVar(nullptr, 65, 1, &out, 0.0, 0, 0, 0), K_ERR_BAD_GLOBAL);
    EXPECT_EQ(out, 42);
    EXPECT_EQ(KAccessGlVar(nullptr, 64, 1, nullptr, 0.0, 0, 0, 0), K_ERR_NULL_POINTER);
    ASSERT_EQ(KAccessGlVar(nullptr, 64, 0, nullptr, saved, 0, 0, 0), K_OK);
}

TEST(KorlanErrors, PrintedMessageStaysReadableAndIsCutToTheCallersBuffer) {
    ASSERT_EQ(KClearLastErrorMessage(), K_OK);
    char text[64];
    ASSERT_EQ(KGetLastErrorMessage(text, sizeof text), K_OK);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(IOPrintErrorMessage("Timeout while waiting (CIOeXcite:512)"), K_OK);
    EXPECT_EQ(IOPrintErrorMessage("second message"), K_OK);
    ASSERT_EQ(KGetLastErrorMessage(text, sizeof text), K_OK);
    EXPECT_STREQ(text, "second message");
    char small[7];
    ASSERT_EQ(KGetLastErrorMessage(small, sizeof small), K_OK);
    EXPECT_STREQ(small, "second");

    // A huge message is kept up to 4095 characters.
    std::string huge(10000, 'm');
    EXPECT_EQ(IOPrintErrorMessage(huge.c_str()), K_OK);
    std::string back(5000, '\0');
    ASSERT_EQ(KGetLastErrorMessage(&back[0], back.size()), K_OK);
    EXPECT_EQ(strlen(back.c_str()), 4095u);

    EXPECT_EQ(IOPrintErrorMessage(nullptr), K_ERR_NULL_POINTER);
    EXPECT_EQ(KGetLastErrorMessage(nullptr, 10), K_ERR_NULL_POINTER);
    EXPECT_EQ(KGetLastErrorMessage(text, 0), K_ERR_BAD_SIZE);
}

TEST(KorlanErrors, EveryHostCodeHasItsOwnText) {
    const KErr codes[] = {
        K_ERR_NO_DEVICE,       K_ERR_BAD_BITS,      K_ERR_DEVICE_NOT_FOUND, K_ERR_GRAB_FAILED,
        K_ERR_BAD_COLOR_SPACE, K_ERR_DEVICE_BUSY,   K_ERR_UNKNOWN_PARAM,    K_ERR_BAD_PARAM_TYPE,
        K_ERR_BAD_PARAM_VALUE, K_ERR_GRAB_OTHER,    K_ERR_NOT_IMPLEMENTED,  K_ERR_NULL_POINTER,
        K_ERR_BAD_SIZE,        K_ERR_OUT_OF_MEMORY, K_ERR_UNKNOWN_POINTER,  K_ERR_BAD_PIXEL_KIND,
        K_ERR_BAD_GLOBAL,      K_ERR_NO_INTERFACE,  K_ERR_NO_INSTANCE,      K_ERR_FILE};
    std::set<std::string> seen;
    const std::string unknown = KErrorText(12345);
    for (KErr c : codes) {
        std::string text = KErrorText(c);
        EXPECT_NE(text, unknown) << c;
        EXPECT_TRUE(seen.insert(text).second) << c << " shares its text";
    }
    EXPECT_STREQ(KErrorText(K_ERR_NOT_IMPLEMENTED), "operation not implemented by the interface");
    EXPECT_STREQ(KErrorText(K_OK), "success");
}

} // namespace

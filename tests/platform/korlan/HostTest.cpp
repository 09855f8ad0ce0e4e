// Host services besides memory and images: the default list, global 64, error texts.
#include <string.h>

#include <limits>
#include <memory>
#include <set>
#include <tuple>

#include "KorlanTest.h"

namespace {

using namespace KorlanTest;

TEST(KorlanDefaults, ListFollowsTheRecordsDefaultBlockInOrderInItsOwnBlock) {
    std::unique_ptr<InterfaceClass> ic(new InterfaceClass()); // zeroed
    ic->defaults = HostOpenParameters{2,       3,    640, 480,       5,      6,  4,     12,
                                      "bayer", 2.5f, 1,   "default", "cam7", {}, 61696, -1};
    HostValue *values = nullptr, *cut = nullptr;
    int32_t count = 0;
    ASSERT_EQ(KFgGetDefaults(nullptr, ic.get(), &values, &count), K_OK);
    ASSERT_EQ(count, K_DEFAULT_COUNT);
    EXPECT_EQ(Show(values, count), "i:2 i:3 i:640 i:480 i:5 i:6 i:4 i:12 s:bayer s:2.5 s:true "
                                   "s:default s:cam7 i:61696 i:-1");
    std::string names;
    for (int32_t i = -1; i <= K_DEFAULT_COUNT; ++i)
        names += KFgDefaultName(i) ? std::string(KFgDefaultName(i)) + " " : "<null> ";
    EXPECT_EQ(names, "<null> horizontal_resolution vertical_resolution image_width image_height "
                     "start_row start_column field bits_per_channel color_space gain "
                     "external_trigger camera_type device port line_in <null> ");
    // Unterminated texts are cut; a list's texts live in its block, so the record may go.
    memset(ic->defaults.device, 'd', sizeof ic->defaults.device);
    memset(ic->defaults.colorSpace, 'c', sizeof ic->defaults.colorSpace);
    ic->defaults.externalTrigger = 0;
    ASSERT_EQ(KFgGetDefaults(nullptr, ic.get(), &cut, &count), K_OK);
    HostValue* none = reinterpret_cast<HostValue*>(0x10);
    int32_t untouched = 99;
    const KErr noRecord = KFgGetDefaults(nullptr, nullptr, &none, &untouched);
    EXPECT_EQ(std::make_tuple(noRecord, none, untouched),
              std::make_tuple(K_ERR_NULL_POINTER, nullptr, 99));
    EXPECT_EQ((std::vector<KErr>{KFgGetDefaults(nullptr, ic.get(), nullptr, &untouched),
                                 KFgGetDefaults(nullptr, ic.get(), &none, nullptr)}),
              std::vector<KErr>(2, K_ERR_NULL_POINTER));
    ic.reset();
    EXPECT_EQ(std::string(cut[8].value.s) + cut[10].value.s + cut[12].value.s + values[12].value.s,
              std::string(1023, 'c') + "false" + std::string(1023, 'd') + "cam7");
    EXPECT_EQ(KXFree(nullptr, cut) + KXFree(nullptr, values), 2 * K_OK) << "list and texts";
}

TEST(KorlanGlobals, Global64ReadsWritesAndRefusesTheRest) {
    int32_t saved = 0;
    ASSERT_EQ(KAccessGlVar(nullptr, K_GLOBAL_64, K_GLOBAL_READ, &saved, 0.0, 0, 0, 0), K_OK);
    EXPECT_EQ(saved, 1) << "new images are cleared unless told otherwise";
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const KErr G = K_ERR_BAD_GLOBAL;
    // Variable, access, value written; the code and the value read afterwards.
    const std::tuple<const char*, int32_t, int32_t, double, KErr, int32_t> cases[] = {
        {"write 0", 64, 0, 0.0, K_OK, 0},
        {"write 7", 64, 0, 7.0, K_OK, 7},
        {"fraction cut", 64, 0, 3.9, K_OK, 3},
        {"negative", 64, 0, -5.0, K_OK, -5},
        {"NaN", 64, 0, nan, G, -5},
        {"infinity", 64, 0, inf, G, -5},
        {"too big", 64, 0, 3e9, G, -5},
        {"other variable", 63, 0, 1.0, G, -5},
        {"mode 2", 64, 2, 1.0, G, -5},
        {"mode -1", 64, -1, 1.0, G, -5},
    };
    for (const auto& [what, variable, access, value, expected, after] : cases) {
        int32_t now = 1234;
        const KErr rc = KAccessGlVar(nullptr, variable, access, nullptr, value, 0, 0, 0);
        ASSERT_EQ(KAccessGlVar(nullptr, 64, 1, &now, 0.0, 0, 0, 0), K_OK);
        EXPECT_EQ(std::make_pair(rc, now), std::make_pair(expected, after)) << what;
    }
    int32_t out = 42;
    EXPECT_EQ(KAccessGlVar(nullptr, 65, 1, &out, 0.0, 0, 0, 0), K_ERR_BAD_GLOBAL);
    EXPECT_EQ(out, 42);
    EXPECT_EQ(KAccessGlVar(nullptr, 64, 1, nullptr, 0.0, 0, 0, 0), K_ERR_NULL_POINTER);
    ASSERT_EQ(KAccessGlVar(nullptr, 64, 0, nullptr, saved, 0, 0, 0), K_OK);
}

TEST(KorlanErrors, PrintedMessageIsCutToTheCallersBufferAndEveryCodeHasItsOwnText) {
    ASSERT_EQ(KClearLastErrorMessage(), K_OK);
    EXPECT_EQ(lastMessage(), "");
    EXPECT_EQ(IOPrintErrorMessage("second message"), K_OK);
    EXPECT_EQ(lastMessage(), "second message");
    char small[7];
    ASSERT_EQ(KGetLastErrorMessage(small, sizeof small), K_OK);
    EXPECT_STREQ(small, "second");
    std::string huge(10000, 'm');
    EXPECT_EQ(IOPrintErrorMessage(huge.c_str()), K_OK);
    std::string back(5000, '\0');
    ASSERT_EQ(KGetLastErrorMessage(&back[0], back.size()), K_OK);
    EXPECT_EQ(strlen(back.c_str()), 4095u);
    EXPECT_EQ((std::vector<KErr>{IOPrintErrorMessage(nullptr), KGetLastErrorMessage(nullptr, 10),
                                 KGetLastErrorMessage(small, 0)}),
              (std::vector<KErr>{K_ERR_NULL_POINTER, K_ERR_NULL_POINTER, K_ERR_BAD_SIZE}));
    const KErr codes[] = {
        K_ERR_NO_DEVICE,       K_ERR_BAD_BITS,      K_ERR_DEVICE_NOT_FOUND, K_ERR_GRAB_FAILED,
        K_ERR_BAD_COLOR_SPACE, K_ERR_DEVICE_BUSY,   K_ERR_UNKNOWN_PARAM,    K_ERR_BAD_PARAM_TYPE,
        K_ERR_BAD_PARAM_VALUE, K_ERR_GRAB_OTHER,    K_ERR_NOT_IMPLEMENTED,  K_ERR_NULL_POINTER,
        K_ERR_BAD_SIZE,        K_ERR_OUT_OF_MEMORY, K_ERR_UNKNOWN_POINTER,  K_ERR_BAD_PIXEL_KIND,
        K_ERR_BAD_GLOBAL,      K_ERR_NO_INTERFACE,  K_ERR_NO_INSTANCE,      K_ERR_FILE};
    std::set<std::string> seen{KErrorText(12345), KErrorText(K_OK)};
    for (KErr c : codes)
        EXPECT_TRUE(seen.insert(KErrorText(c)).second) << c << " shares its text";
    EXPECT_STREQ(KErrorText(K_ERR_NOT_IMPLEMENTED), "operation not implemented by the interface");
    EXPECT_STREQ(KErrorText(K_OK), "success");
}

} // namespace

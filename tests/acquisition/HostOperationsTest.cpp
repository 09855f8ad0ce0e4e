// The module's operations, called through the host's record over the recording transport and
// an emulated camera's register space.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "acquisition/HostCalls.h"
#include "acquisition/IOeXcite.h"
#include "acquisition/InstanceTable.h"
#include "acquisition/Operations.h"
#include "contracts/GTrans.h"
#include "contracts/Korlan.h"
#include "device/DeviceManager.h"
#include "platform/korlan/KorlanTest.h"
#include "support/transport/RecordingTransport.h"

using namespace IOeXcite;
using KorlanTest::lastMessage, KorlanTest::Text;
using P = HostOpenParameters;
using Edit = std::function<void(P&)>;
using Ints = std::vector<int64_t>;

namespace {

// Cells as text: texts quoted when asked, "?" for other kinds.
std::string Join(const HostValue* cells, int32_t count, bool quote) {
    std::string answer, q = quote ? "\"" : "";
    for (const HostValue* c = cells; c < cells + count; ++c)
        answer += (c > cells ? "," : "") + (c->type == HOST_VALUE_INT ? std::to_string(c->value.i)
                                            : c->type == HOST_VALUE_TEXT ? q + c->value.s + q
                                                                         : "?");
    return answer;
}

Edit With(std::string device, int32_t width = 0, int32_t height = 0, int32_t row = 0,
          int32_t column = 0, int32_t bits = 8) {
    return [=](P& p) {
        std::snprintf(p.device, sizeof p.device, "%s", device.c_str());
        std::tie(p.imageWidth, p.imageHeight, p.startRow, p.startColumn, p.bitsPerChannel) =
            std::tie(width, height, row, column, bits);
    };
}

struct HostOps : ::testing::Test {
    static KacqTest::RecordingTransport& Tr() { return KacqTest::RecordingTransport::Instance(); }
    static HostValue Int(int32_t v) { return HostValue{{v}, HOST_VALUE_INT, {}}; }

    std::unique_ptr<InterfaceClass> ic{new InterfaceClass()};
    int procCell = 0;
    KProcHandle proc = &procCell;
    std::vector<std::unique_ptr<HostInstance>> hosts;
    int32_t blocksAtStart = 0;

    void SetUp() override {
        Tr().Reset();
        Tr().Servers = {{"127.0.0.2:EMU0002", "eXcite"}, {"127.0.0.3:EMU0003", "eXcite"}};
        std::memset(ic.get(), 0xAB, sizeof(InterfaceClass)); // what the host had there
        ASSERT_EQ(FGInit(proc, ic.get()), K_OK);
        KDoLowError = KTraceMemory = 1;
        KClearLastErrorMessage();
        KMemCheckClearFaults();
        KMemCheckBlockCount(&blocksAtStart);
    }

    void TearDown() override {
        for (auto& hi : hosts)
            EXPECT_EQ(OpenSlotOf(hi.get()) ? ic->closeInstance(proc, hi.get()) : K_OK, K_OK);
        KFreeLocalMemory(proc);
        EXPECT_EQ(Left(), Ints(4, 0)) << "left behind";
        KDoLowError = KTraceMemory = 0;
    }

    // Host blocks, memory faults, created devices and open instances left.
    Ints Left() {
        int32_t blocks = -1, faults = -1;
        KMemCheckBlockCount(&blocks);
        KMemCheckFaultCount(&faults);
        return {blocks - blocksAtStart, faults,
                int64_t(XCamera::DeviceManager::Instance().CreatedDeviceCount()), g_openInstances};
    }

    HostInstance* Open(KErr expected = K_OK, const Edit& edit = With("0"), bool open = true) {
        HostInstance* hi = hosts.emplace_back(std::make_unique<HostInstance>()).get();
        hi->params = ic->defaults;
        HostInstance** cell = ic->reserveSlot(proc, hi);
        EXPECT_NE(cell, nullptr);
        if (cell != nullptr)
            *cell = hi;
        edit(hi->params);
        EXPECT_EQ(open ? ic->openInstance(proc, hi) : expected, expected) << lastMessage();
        return hi;
    }

    InstanceSlot& Slot(HostInstance* hi) { return *static_cast<InstanceSlot*>(hi->slot); }

    KErr Set(HostInstance* hi, const char* name, std::vector<HostValue> values) {
        return ic->setParameter(proc, hi, name, values.data(), static_cast<int32_t>(values.size()));
    }

    std::string Get(HostInstance* hi, const char* name, KErr expected = K_OK) {
        HostValue cells[4] = {};
        int32_t count = -1;
        EXPECT_EQ(ic->getParameter(proc, hi, name, cells, &count), expected) << name;
        return Join(cells, count > 4 ? 4 : count, true);
    }

    // QueryInfo's values, and its text after a '|' when asked.
    std::string Query(int32_t code, bool withText = false) {
        const char* text = nullptr;
        HostValue* values = nullptr;
        int32_t count = -1;
        EXPECT_EQ(ic->queryInfo(proc, code, &text, &values, &count), K_OK) << code;
        const std::string answer =
            Join(values, count, false) + (withText ? "|" + std::string(text ? text : "?") : "");
        EXPECT_EQ(values != nullptr ? HostFree(proc, values, __LINE__) : K_OK, K_OK);
        KFreeLocalMemory(proc);
        return answer;
    }

    static std::string Part(const HostInstance* hi) {
        const P& p = hi->params;
        return std::to_string(p.imageWidth) + "x" + std::to_string(p.imageHeight) + "+" +
               std::to_string(p.startRow) + "," + std::to_string(p.startColumn);
    }

    int32_t grabbed = 0;
    KErr Grab(HostInstance* hi, HostImage& im) { return ic->grabImage(proc, hi, &im, &grabbed); }
};

TEST_F(HostOps, FGInitWritesTheRecordAndLeavesHostFieldsAlone) {
    // Fields the module does not own keep the host's 0xAB.
    const std::vector<unsigned char> host(sizeof *ic, 0xAB);
    EXPECT_EQ(std::memcmp(ic->hostOwn, host.data(), sizeof ic->hostOwn), 0);
    EXPECT_EQ(std::memcmp(ic->instances, host.data(), sizeof ic->instances), 0);
    for (auto op : {ic->hostOp52C, ic->hostOp530, ic->hostOp548, ic->hostOp54C})
        EXPECT_EQ(std::memcmp(&op, host.data(), sizeof op), 0);

    const HostOpenParameters& d = ic->defaults;
    char got[4096];
    std::snprintf(got, sizeof got, "%d %d %d %d; %d %d %d %d %d %d %d %d %s %g %d %s %s %d %d",
                  ic->hostField404, ic->hostField408, ic->hostField40C, ic->maxInstances,
                  d.horizontalResolution, d.verticalResolution, d.imageWidth, d.imageHeight,
                  d.startRow, d.startColumn, d.field, d.bitsPerChannel, d.colorSpace, d.gain,
                  int(d.externalTrigger), d.cameraType, d.device, d.port, d.lineIn);
    EXPECT_STREQ(got, "4 1 0 64; 1 1 0 0 0 0 4 8 gray 1 0 default 0 61696 0");
    EXPECT_EQ(g_interfaceClass, ic.get());

    DeviceRecord record{};
    g_instances.slots[5].acquisitionActive = true;
    g_instances.slots[5].deviceRecord = &record;
    g_openInstances = 7;
    ASSERT_EQ(FGInit(proc, ic.get()), K_OK);
    for (const InstanceSlot& s : g_instances.slots)
        EXPECT_TRUE(s.index == &s - g_instances.slots && !s.deviceRecord && !s.camera &&
                    !s.acquisitionActive)
            << s.index;
    EXPECT_EQ(g_openInstances, 0);
    EXPECT_EQ(FGInit(proc, nullptr), K_ERR_NULL_POINTER);
}

TEST_F(HostOps, ReserveSlotHandsOutTheFirstFreeCellUntilFull) {
    HostInstance a{}, b{}, c{};
    DeviceRecord record{};
    ASSERT_EQ(ic->reserveSlot(proc, &a), &ic->instances[0]);
    EXPECT_EQ(a.slot, &g_instances.slots[0]);
    // A reserved slot stays free until an open succeeds: the next reservation gets it again.
    EXPECT_EQ(ic->reserveSlot(proc, &b), &ic->instances[0]);
    g_instances.slots[0].deviceRecord = g_instances.slots[1].deviceRecord = &record;
    EXPECT_EQ(ic->reserveSlot(proc, &b), &ic->instances[2]);
    EXPECT_EQ(b.slot, &g_instances.slots[2]);
    EXPECT_EQ(ic->reserveSlot(proc, nullptr), nullptr);

    // Null at 64 open instances although slots read free, and with every slot taken.
    g_openInstances = 64;
    EXPECT_EQ(ic->reserveSlot(proc, &c), nullptr);
    g_openInstances = 3;
    for (auto& s : g_instances.slots)
        s.deviceRecord = &record;
    EXPECT_EQ(ic->reserveSlot(proc, &c), nullptr);
    EXPECT_EQ(c.slot, nullptr);
    g_instances.slots[63].deviceRecord = nullptr;
    EXPECT_EQ(ic->reserveSlot(proc, &c), &ic->instances[63]);
    ASSERT_EQ(FGInit(proc, ic.get()), K_OK); // every slot free again

    HostInstance inst{};
    inst.params.imageWidth = 640;
    const HostInstance before = inst;
    int32_t a3 = 11, a4 = 22, a5 = 33, count = 99;
    EXPECT_EQ((std::vector<int32_t>{1, 1, 11, 22, 33, 0, 1}),
              (std::vector<int32_t>{
                  ic->acceptNoOp(proc, &inst),
                  ic->reportEmptyCount(proc, &inst, &a3, &a4, &a5, &count), a3, a4, a5, count,
                  ic->reportEmptyCount(proc, &inst, nullptr, nullptr, nullptr, nullptr)}));
    EXPECT_EQ(std::memcmp(&before, &inst, sizeof inst), 0);
}

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

TEST_F(HostOps, OpenAnswersTheCodeOfEachRefusalAndLeavesNothingBehind) {
    const auto color = [](const char* name) {
        return [=](P& p) { std::strcpy(p.colorSpace, name); };
    };
    // Name, open edit, cameras installed, code, a transport function that fails once.
    const std::tuple<const char*, Edit, int, KErr, const char*> cases[] = {
        {"bits 16", [](P& p) { p.bitsPerChannel = 16; }, 2, K_ERR_BAD_BITS, ""},
        {"bits 0", [](P& p) { p.bitsPerChannel = 0; }, 2, K_ERR_BAD_BITS, ""},
        {"rgb", color("rgb"), 2, K_ERR_BAD_COLOR_SPACE, ""},
        {"no device at all", With("0"), 0, K_ERR_NO_DEVICE, ""},
        {"no device of that name", With("127.0.0.9"), 2, K_ERR_DEVICE_NOT_FOUND, ""},
        {"unterminated device", [](P& p) { std::memset(p.device, 'x', sizeof p.device); }, 2,
         K_ERR_DEVICE_NOT_FOUND, ""},
        {"bayer, no raw data", color("Bayer"), 2, K_ERR_BAD_COLOR_SPACE, ""},
        {"camera does not open", With("0"), 2, K_ERR_DEVICE_BUSY, "GxOpen"},
        {"stream cannot be prepared", With("0"), 2, K_ERR_DEVICE_BUSY, "GxStreamGrabberCreate"},
    };
    for (const auto& [name, edit, servers, code, failing] : cases) {
        Tr().Servers.resize(servers);
        if (*failing != '\0')
            Tr().Script(failing, {0xC1020042u});
        EXPECT_EQ(Slot(Open(code, edit)).deviceRecord, nullptr) << name;
        EXPECT_EQ(Left(), Ints(4, 0)) << name << lastMessage();
    }
    EXPECT_NE(lastMessage().find("status 0xc1020042 (gxdevice/"), std::string::npos)
        << lastMessage();
}

// Query 12 and 5 tell slot 0's camera alone while it is open.
TEST_F(HostOps, OpenFindsTheDeviceByNameAndRefusesOneInUse) {
    HostInstance* first = Open();
    EXPECT_EQ(Open(K_ERR_DEVICE_BUSY)->params.device, std::string("0")) << "device \"0\" twice";
    HostInstance* byName = Open(K_OK, With("127.0.0.3"));
    EXPECT_EQ(Open(K_ERR_DEVICE_BUSY, With("127.0.0.3"))->params.device, std::string("127.0.0.3"));
    EXPECT_EQ(CameraOf(Slot(first)).GetDeviceInfo().Name + " " +
                  CameraOf(Slot(byName)).GetDeviceInfo().Name,
              "127.0.0.2:EMU0002 127.0.0.3:EMU0003");
    EXPECT_EQ((Ints{g_openInstances, first->channels, first->fullWidth, first->fullHeight}),
              (Ints{2, 1, 640, 480}));
    EXPECT_EQ(Query(12) + ";" + Query(5), "127.0.0.2;device:127.0.0.2 port:61696");
    EXPECT_EQ(ic->closeInstance(proc, first), K_OK);
    EXPECT_EQ(Query(12), "127.0.0.2,127.0.0.3");
}

TEST_F(HostOps, OpenClampsTheImagePart) {
    // The image part and the bytes each buffer holds.
    const std::tuple<const char*, int32_t, int32_t, int32_t, int32_t, const char*> cases[] = {
        {"full sensor", 0, 0, 0, 0, "640x480+0,0 307200"},
        // One row step less: this camera takes rows in pairs.
        {"width alone takes one row less", 640, 0, 0, 0, "640x478+0,0 305920"},
        {"inside", 320, 240, 8, 16, "320x240+8,16 76800"},
        {"too large", 5000, 5000, 0, 0, "640x480+0,0 307200"},
        {"below minimum", 1, 1, 0, 0, "8x2+0,0 16"},
    };
    for (const auto& [name, width, height, row, column, part] : cases) {
        Tr().Reset(); // a fresh camera each time
        Tr().Servers = {{"127.0.0.2:EMU0002", "eXcite"}};
        HostInstance* hi = Open(K_OK, With("0", width, height, row, column));
        EXPECT_EQ(Part(hi) + " " + std::to_string(Slot(hi).bufferCapacity), part) << name;
        EXPECT_EQ(ic->closeInstance(proc, hi), K_OK);
    }
}

TEST_F(HostOps, GrabDeliversCopiedOrVolatileImagesFromTheBufferRing) {
    HostInstance* hi = Open();
    InstanceSlot& slot = Slot(hi);
    std::memset(slot.frameBuffers[0], 0x5A, static_cast<size_t>(slot.bufferCapacity));
    HostImage image{};
    ASSERT_EQ(Grab(hi, image), K_OK) << lastMessage();
    // Kind, owned, a copy, its last byte, the next buffer, the bytes queued.
    EXPECT_EQ((Ints{image.kind, image.ownsData, image.data != slot.frameBuffers[0],
                    static_cast<uint8_t*>(image.data)[640 * 480 - 1], slot.currentBuffer,
                    int64_t(Tr().CallsOf("GxStreamGrabberReceiveAsync").back().Args.at(2))}),
              (Ints{K_PIXEL_BYTE, 1, 1, 0x5A, 1, 640 * 480}));
    KClearImage(&image);

    // Volatile images wrap the frame buffer, which the slot then owns.
    ASSERT_EQ(Set(hi, "volatile", {Text("enable")}), K_OK);
    ASSERT_EQ(Grab(hi, image), K_OK);
    EXPECT_EQ((Ints{slot.ownsBuffers, slot.deviceRecord->userCount,
                    image.data == slot.frameBuffers[1], image.ownsData}),
              (Ints{1, 0, 1, 0}));
    EXPECT_EQ(Get(hi, "volatile"), "\"enable\"");
    ASSERT_EQ(Set(hi, "volatile", {Text("disable")}), K_OK);
    EXPECT_FALSE(slot.ownsBuffers);
    EXPECT_EQ(slot.deviceRecord->frameBuffers[2], slot.frameBuffers[2]);
}

TEST_F(HostOps, GrabAndCloseFailuresAnswerTheirCodesAndNeverAnImage) {
    const char *wait = "GxStreamGrabberWaitForBuffer", *queue = "GxStreamGrabberReceiveAsync";
    const std::tuple<const char*, const char*, uint32_t, KErr, bool> cases[] = {
        {"time-out", wait, GX_STATUS_TIMEOUT, K_ERR_GRAB_FAILED, false},
        {"incomplete frame", wait, GX_STATUS_INCOMPLETE, K_ERR_GRAB_FAILED, false},
        {"nothing queued", wait, GX_STATUS_FLUSHED, K_ERR_GRAB_OTHER, false},
        {"camera-layer failure", queue, 0xC1020099u, K_ERR_GRAB_OTHER, true},
    };
    for (const auto& [name, function, status, code, printed] : cases) {
        HostInstance* hi = Open();
        KClearLastErrorMessage();
        Tr().Script(function, {status});
        HostImage image{};
        int32_t count = 0;
        EXPECT_EQ((Ints{ic->grabImage(proc, hi, &image, &count), count, image.data != nullptr,
                        !lastMessage().empty()}),
                  (Ints{code, 0, 0, printed}))
            << name;
        EXPECT_EQ(ic->closeInstance(proc, hi), K_OK);
    }
    HostInstance* hi = Open();
    Tr().Script("GxStreamGrabberFlush", {0xC1020077u});
    KClearLastErrorMessage();
    EXPECT_EQ((Ints{ic->closeInstance(proc, hi), lastMessage().empty(),
                    Slot(hi).deviceRecord != nullptr}),
              (Ints{K_OK, 0, 0}));
}

TEST_F(HostOps, AsynchronousGrabsFollowTheStartAndDelayRules) {
    HostInstance* hi = Open();
    std::string delays; // code and the delay kept, rounded to whole milliseconds
    for (double given : {99.6, -0.4, 0.0}) {
        const KErr code = ic->startAsyncGrab(proc, hi, given);
        delays += std::to_string(code) + ":" + std::to_string(Slot(hi).maxDelay) + " ";
    }
    EXPECT_EQ(delays, "1:100 1:0 1:0 ");
    EXPECT_TRUE(Slot(hi).acquisitionActive);
    // A plain grab discards the started acquisition: the stream is flushed,
    // after which the double hands back every later buffer as incomplete.
    const size_t flushes = Tr().CallsOf("GxStreamGrabberFlush").size();
    HostImage image{};
    EXPECT_EQ(Grab(hi, image), K_ERR_GRAB_FAILED);
    EXPECT_GT(Tr().CallsOf("GxStreamGrabberFlush").size(), flushes);
    EXPECT_EQ(ic->closeInstance(proc, hi), K_OK);

    // Within the delay the started frame is delivered and the next is started at once.
    hi = Open();
    EXPECT_EQ(ic->startAsyncGrab(proc, hi, 10000.0), K_OK);
    const size_t queued = Tr().CallsOf("GxStreamGrabberReceiveAsync").size();
    int32_t count = 0;
    EXPECT_EQ(ic->grabImageAsync(proc, hi, 10000.0, &image, &count), K_OK) << lastMessage();
    EXPECT_EQ((Ints{int64_t(Tr().CallsOf("GxStreamGrabberReceiveAsync").size() - queued),
                    Slot(hi).acquisitionActive, hi->asyncGrab}),
              (Ints{1, 1, 0}));
    EXPECT_EQ(Set(hi, "start_async_after_grab_async", {Text("disable")}), K_OK);
    EXPECT_EQ(ic->grabImageAsync(proc, hi, 10000.0, &image, &count), K_OK);
    EXPECT_FALSE(Slot(hi).acquisitionActive);
    KClearImage(&image);
}

TEST_F(HostOps, SetParameterAnswersEachCode) {
    HostInstance* hi = Open();
    const std::tuple<const char*, std::vector<HostValue>, KErr> cases[] = {
        {"continuous_grabbing", {Text("TRUE")}, K_OK},
        {"continuous_grabbing", {Text("on")}, K_ERR_BAD_PARAM_TYPE},
        {"continuous_grabbing", {Text("false")}, K_OK},
        {"trigger_signal", {Text("on")}, K_ERR_BAD_PARAM_VALUE},
        {"trigger_signal", {Text("Rising")}, K_OK},
        {"trigger_signal", {Int(1)}, K_ERR_BAD_PARAM_TYPE},
        {"start_async_after_grab_async", {Text("Enable")}, K_ERR_BAD_PARAM_VALUE},
        {"start_async_after_timeout", {Text("enable")}, K_OK},
        {"digital_output", {Int(1), Int(0), Int(1)}, K_ERR_BAD_PARAM_TYPE},
        {"digital_output", {Int(1), Int(0), Int(1), Text("1")}, K_ERR_BAD_PARAM_TYPE},
        {"digital_output", {Int(1), Int(0), Int(1), Int(1)}, K_OK},
        {"volatile", {Text("sometimes")}, K_ERR_BAD_PARAM_VALUE},
        {"external_trigger", {Text("maybe")}, K_ERR_BAD_PARAM_VALUE},
        {"grab_timeout", {Text("500")}, K_ERR_BAD_PARAM_TYPE},
        {"grab_timeout", {}, K_ERR_BAD_PARAM_TYPE},
        {"grab_timeout", {Int(250)}, K_OK},
        {"shutter", {Int(-5)}, K_OK},
        {"trigger_mode", {Int(9)}, K_OK},
        {"do_abort_grab", {Text("x")}, K_OK},
        {"software_trigger", {Int(1)}, K_ERR_UNKNOWN_PARAM},
        {"revision", {Text("5.0")}, K_ERR_UNKNOWN_PARAM},
        {"digital_input", {Int(1)}, K_ERR_UNKNOWN_PARAM},
    };
    for (const auto& [name, values, code] : cases)
        EXPECT_EQ(Set(hi, name, values), code) << name;
    EXPECT_EQ(CameraOf(Slot(hi)).PioOutput->GetValue(), 13);
    hi->params.bitsPerChannel = 10; // as if opened at 10 bits: buffers hold 2 bytes a pixel
    EXPECT_EQ(Set(hi, "volatile", {Text("enable")}), K_ERR_BAD_PARAM_VALUE);
    hi->params.bitsPerChannel = 8;
    std::string got; // trigger_mode: 9 changed nothing
    for (const char* name : {"digital_output", "grab_timeout", "trigger_signal",
                             "continuous_grabbing", "start_async_after_timeout", "trigger_mode"})
        got += Get(hi, name) + ";";
    EXPECT_EQ(got, R"(1,0,1,1;250;"rising";"disable";"enable";0;)");
}

TEST_F(HostOps, GetParameterAnswersValuesCompanionsAndUnknownNames) {
    HostInstance* hi = Open();
    const std::pair<const char*, const char*> cases[] = {
        {"revision", "\"4.0\""},
        {"REVISION", "\"4.0\""},
        {"volatile", "\"disable\""},
        {"grab_timeout", "500"},
        {"image_available", "1"},
        {"trigger_source", "0"},
        {"trigger_mode_range", "0,3,1,0"},
        {"image_width_range", "8,640,8,640"},
        {"image_height_range", "2,480,2,480"},
        {"volatile_values", "\"enable\",\"disable\""},
        {"software_trigger_values", "\"enable\",\"disable\""},
        {"trigger_signal_values", "\"rising\",\"falling\""},
        {"shutter_description", "\"Sets the shutter value of the camera\""},
        {"grab_timeout_description",
         "\"Specifies the desired time-out for aborting a pending grab in milliseconds\""},
        {"start_row_description",
         "\"Sets the row coordinate of the upper left corner of the image part\""},
    };
    for (auto [name, answer] : cases)
        EXPECT_EQ(Get(hi, name), answer) << name;
    for (const char* unknown : {"software_trigger", "external_trigger", "image_width",
                                "start_column", "do_abort_grab", "bogus"})
        EXPECT_EQ(Get(hi, unknown, K_ERR_UNKNOWN_PARAM), "?") << unknown;

    // A camera source outside 0-3 (the software trigger, 7) is answered as it is.
    CameraOf(Slot(hi)).TriggerSource->SetIntValue(7);
    EXPECT_EQ(Get(hi, "trigger_source") + ";" + Get(hi, "trigger_source_range"), "7;0,3,1,7");
    EXPECT_EQ(Set(hi, "external_trigger", {Text("TRUE")}), K_OK);
    EXPECT_EQ(Get(hi, "trigger_source") + " " + std::to_string(hi->params.externalTrigger), "0 1");
}

TEST_F(HostOps, ImagePartChangesKeepTheBuffersLargeEnough) {
    HostInstance* hi = Open(K_OK, With("0", 64, 32));
    InstanceSlot& slot = Slot(hi);
    EXPECT_EQ(slot.bufferCapacity, 64 * 32);
    const std::tuple<const char*, int32_t, const char*> steps[] = {
        {"image_width", 640, "640x32+0,0"},
        {"image_height", 0, "640x480+0,0"},
        {"start_row", 100000, "640x480+0,0"}, // no rows left below a full-height part
        {"start_column", 0, "640x480+0,0"},
        {"image_width", 320, "320x478+0,0"},  // narrower at full height: one row step less
        {"image_height", 480, "320x478+0,0"}, // full height only with full width
        {"image_width", 640, "640x478+0,0"},
        {"image_height", 480, "640x480+0,0"},
    };
    for (const auto& [name, value, part] : steps) {
        EXPECT_EQ(Set(hi, name, {Int(value)}), K_OK) << lastMessage();
        EXPECT_EQ(Part(hi), part) << name << " " << value;
        EXPECT_GE(slot.bufferCapacity, hi->params.imageWidth * hi->params.imageHeight);
    }
    // The emulated camera refuses image-part changes once a shot is pending: grab last.
    HostImage image{};
    EXPECT_EQ(Grab(hi, image), K_OK) << lastMessage();
    EXPECT_EQ(Tr().CallsOf("GxStreamGrabberReceiveAsync").back().Args.at(2), 640u * 480u);
    KClearImage(&image);

    // Not prepared: the finish raises, the text is printed, nothing changes.
    CameraOf(slot).FinishGrab();
    KClearLastErrorMessage();
    EXPECT_EQ(Set(hi, "image_width", {Int(64)}), K_OK);
    EXPECT_FALSE(lastMessage().empty());
    EXPECT_EQ(Part(hi) + " " + Get(hi, "image_available"), "640x480+0,0 0");
}

TEST_F(HostOps, QueriesAnswerTextsAndLists) {
    EXPECT_EQ(Query(7, true) + Query(99, true), "|Unsupported query!|Unsupported query!");
    EXPECT_EQ(Query(2, true), "|Korlan acquisition interface for eXcite.");
    EXPECT_EQ(Query(6) + ";" + Query(11) + ";" + Query(14) + ";" + Query(19) + ";" + Query(22),
              "4.0;false,true;do_abort_grab;1;digital_output");
    EXPECT_EQ(Query(13), "digital_input,image_available,revision");
    EXPECT_EQ(Query(4), "brightness,digital_input,digital_output,do_abort_grab,external_trigger,"
                        "grab_timeout,revision,shutter,trigger_mode,trigger_signal,trigger_source,"
                        "volatile,image_available,video_gain,image_width,image_height,start_row,"
                        "start_column,start_async_after_grab_async,start_async_after_timeout");
    EXPECT_EQ(Query(3).substr(0, 4), "1,1,");

    const std::string installed = "|Info about installed eXcites;";
    // Name, cameras installed; queries 5 (with its text), 12, 9 and 10.
    const std::tuple<const char*, decltype(Tr().Servers), std::string> cases[] = {
        {"no camera", {}, installed + ";8;gray"},
        {"one camera",
         {{"127.0.0.2:EMU0002", "x"}},
         "device:127.0.0.2 port:61696" + installed + "127.0.0.2;8,10,12;gray"},
        {"a name without ':'",
         {{"cam7", "x"}, {"127.0.0.4:EMU4", "x"}},
         "device:cam7 port:61696,device:127.0.0.4 port:61696" + installed +
             "cam7,127.0.0.4;8,10,12;gray"},
    };
    for (const auto& [name, servers, answers] : cases) {
        Tr().Servers = servers;
        EXPECT_EQ(Query(5, true) + ";" + Query(12) + ";" + Query(9) + ";" + Query(10), answers)
            << name;
    }
}

TEST_F(HostOps, OperationsRefuseInstancesThatAreNotOpen) {
    std::vector<unsigned char> garbage(sizeof(HostInstance), 0x3C);
    HostInstance* bogus = reinterpret_cast<HostInstance*>(garbage.data());
    for (HostInstance* hi :
         {bogus, Open(K_OK, With("0"), false), static_cast<HostInstance*>(nullptr)}) {
        HostImage image{};
        HostValue cells[4] = {};
        int32_t n = 5;
        EXPECT_EQ(
            (Ints{ic->closeInstance(proc, hi), ic->grabImage(proc, hi, &image, &n),
                  ic->startAsyncGrab(proc, hi, 1.0), ic->grabImageAsync(proc, hi, 1.0, &image, &n),
                  ic->setParameter(proc, hi, "shutter", cells, 1),
                  ic->getParameter(proc, hi, "shutter", cells, &n), n, image.data != nullptr}),
            (Ints{K_ERR_NO_INSTANCE, K_ERR_NO_INSTANCE, K_ERR_NO_INSTANCE, K_ERR_NO_INSTANCE,
                  K_ERR_NO_INSTANCE, K_ERR_NO_INSTANCE, 5, 0}));
    }
    EXPECT_EQ(ic->openInstance(proc, bogus), K_ERR_NULL_POINTER);
}

} // namespace

// The host operations over the recording transport and an emulated camera's
// register space: open and close codes and image part, grabbing codes and
// buffers, parameters, information queries, and the host memory they leave.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/HostCalls.h"
#include "acquisition/IOeXcite.h"
#include "acquisition/InstanceTable.h"
#include "acquisition/Operations.h"
#include "contracts/GTrans.h"
#include "contracts/Korlan.h"
#include "device/DeviceManager.h"
#include "platform/korlan/KorlanApp.h"
#include "support/transport/RecordingTransport.h"

using namespace IOeXcite;
using KacqTest::RecordingTransport;

namespace {

RecordingTransport& Tr() {
    return RecordingTransport::Instance();
}

int32_t Blocks() {
    int32_t count = -1;
    KMemCheckBlockCount(&count);
    return count;
}

HostValue Int(int32_t v) {
    HostValue cell{};
    cell.value.i = v;
    cell.type = HOST_VALUE_INT;
    return cell;
}

HostValue Text(const char* s) {
    HostValue cell{};
    cell.value.s = s;
    cell.type = HOST_VALUE_TEXT;
    return cell;
}

// Cells as text: integers as numbers, texts (quoted when asked), "?" else.
std::string Join(const HostValue* cells, int32_t count, bool quote) {
    std::string answer;
    for (int32_t i = 0; i < count; ++i) {
        const HostValue& c = cells[i];
        const std::string text = c.type == HOST_VALUE_TEXT ? c.value.s : "?";
        answer += (i > 0 ? "," : "") + (c.type == HOST_VALUE_INT ? std::to_string(c.value.i)
                                        : quote && c.type == HOST_VALUE_TEXT ? '"' + text + '"'
                                                                             : text);
    }
    return answer;
}

std::string LastMessage() {
    char text[1024];
    KGetLastErrorMessage(text, sizeof text);
    return text;
}

struct HostOps : ::testing::Test {
    std::unique_ptr<InterfaceClass> ic{new InterfaceClass()};
    int procCell = 0;
    KProcHandle proc = &procCell;
    std::vector<std::unique_ptr<HostInstance>> hosts;
    int32_t blocksAtStart = 0;

    void SetUp() override {
        Tr().Reset();
        Tr().Servers = {{"127.0.0.2:EMU0002", "eXcite"}, {"127.0.0.3:EMU0003", "eXcite"}};
        ASSERT_EQ(FGInit(proc, ic.get()), K_OK);
        KDoLowError = 1;
        KTraceMemory = 1;
        KClearLastErrorMessage();
        KMemCheckClearFaults();
        blocksAtStart = Blocks();
    }

    void TearDown() override {
        for (auto& hi : hosts) {
            if (OpenSlotOf(hi.get()) != nullptr) {
                EXPECT_EQ(CloseInstance(proc, hi.get()), K_OK);
            }
        }
        KFreeLocalMemory(proc);
        EXPECT_EQ(Blocks(), blocksAtStart) << "host blocks left behind";
        int32_t faults = -1;
        KMemCheckFaultCount(&faults);
        EXPECT_EQ(faults, 0);
        EXPECT_EQ(XCamera::DeviceManager::Instance().CreatedDeviceCount(), 0u);
        EXPECT_EQ(g_openInstances, 0);
        KTraceMemory = 0;
        KDoLowError = 0;
    }

    // A reserved instance with the record's defaults.
    HostInstance* Reserve() {
        hosts.push_back(std::make_unique<HostInstance>());
        HostInstance* hi = hosts.back().get();
        hi->params = ic->defaults;
        HostInstance** cell = ReserveSlot(proc, hi);
        EXPECT_NE(cell, nullptr);
        if (cell != nullptr)
            *cell = hi;
        return hi;
    }

    HostInstance* Open(KErr expected = K_OK, void (*edit)(HostOpenParameters&) = nullptr) {
        HostInstance* hi = Reserve();
        if (edit != nullptr)
            edit(hi->params);
        EXPECT_EQ(OpenInstance(proc, hi), expected);
        return hi;
    }

    InstanceSlot& Slot(HostInstance* hi) { return *static_cast<InstanceSlot*>(hi->slot); }

    KErr Set(HostInstance* hi, const char* name, std::vector<HostValue> values) {
        return SetParameter(proc, hi, name, values.data(), static_cast<int32_t>(values.size()));
    }

    // The answer of GetParameter as text: integers as numbers, texts quoted.
    std::string Get(HostInstance* hi, const char* name, KErr expected = K_OK) {
        HostValue cells[4] = {};
        int32_t count = -1;
        EXPECT_EQ(GetParameter(proc, hi, name, cells, &count), expected) << name;
        return Join(cells, std::min(count, 4), true);
    }

    std::string Query(int32_t code, std::string* text = nullptr) {
        const char* answerText = nullptr;
        HostValue* values = nullptr;
        int32_t count = -1;
        EXPECT_EQ(QueryInfo(proc, code, &answerText, &values, &count), K_OK) << code;
        if (text != nullptr)
            *text = answerText != nullptr ? answerText : "(null)";
        const std::string answer = Join(values, count, false);
        if (values != nullptr) {
            EXPECT_EQ(HostFree(proc, values, __LINE__), K_OK);
        }
        KFreeLocalMemory(proc);
        return answer;
    }

    // The image part as "width x height + row,column".
    static std::string Part(const HostInstance* hi) {
        const HostOpenParameters& p = hi->params;
        return std::to_string(p.imageWidth) + "x" + std::to_string(p.imageHeight) + "+" +
               std::to_string(p.startRow) + "," + std::to_string(p.startColumn);
    }

    KErr Grab(HostInstance* hi, HostImage& image) {
        int32_t count = 0;
        return GrabImage(proc, hi, &image, &count);
    }
};

TEST_F(HostOps, OpenAnswersTheCodeOfEachRefusalAndLeavesNothingBehind) {
    struct Case {
        const char* name;
        void (*edit)(HostOpenParameters&);
        int servers;
        KErr code;
        const char* failing = nullptr; // transport function that fails once
    } cases[] = {
        {"bits 16", [](HostOpenParameters& p) { p.bitsPerChannel = 16; }, 2, K_ERR_BAD_BITS},
        {"bits 0", [](HostOpenParameters& p) { p.bitsPerChannel = 0; }, 2, K_ERR_BAD_BITS},
        {"rgb", [](HostOpenParameters& p) { std::strcpy(p.colorSpace, "rgb"); }, 2,
         K_ERR_BAD_COLOR_SPACE},
        {"no device at all", nullptr, 0, K_ERR_NO_DEVICE},
        {"no device of that name",
         [](HostOpenParameters& p) { std::strcpy(p.device, "127.0.0.9"); }, 2,
         K_ERR_DEVICE_NOT_FOUND},
        {"unterminated device text",
         [](HostOpenParameters& p) { std::memset(p.device, 'x', sizeof p.device); }, 2,
         K_ERR_DEVICE_NOT_FOUND},
        {"bayer on a camera without raw data",
         [](HostOpenParameters& p) { std::strcpy(p.colorSpace, "Bayer"); }, 2,
         K_ERR_BAD_COLOR_SPACE},
        {"camera does not open", nullptr, 2, K_ERR_DEVICE_BUSY, "GxOpen"},
        {"stream cannot be prepared", nullptr, 2, K_ERR_DEVICE_BUSY, "GxStreamGrabberCreate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tr().Servers.resize(c.servers);
        if (c.failing != nullptr)
            Tr().Script(c.failing, {0xC1020042u});
        HostInstance* hi = Open(c.code, c.edit);
        EXPECT_EQ(Slot(hi).deviceRecord, nullptr);
        EXPECT_EQ(g_openInstances, 0);
        EXPECT_EQ(Blocks(), blocksAtStart);
        EXPECT_EQ(XCamera::DeviceManager::Instance().CreatedDeviceCount(), 0u) << LastMessage();
    }
    // The camera-layer failure was printed with its source.
    EXPECT_NE(LastMessage().find("status 0xc1020042 (gxdevice/"), std::string::npos)
        << LastMessage();
}

TEST_F(HostOps, OpenFindsTheDeviceByNameAndRefusesOneInUse) {
    HostInstance* first = Open(K_OK);
    EXPECT_EQ(Open(K_ERR_DEVICE_BUSY)->params.device, std::string("0")) << "device \"0\" twice";
    HostInstance* byName =
        Open(K_OK, [](HostOpenParameters& p) { std::strcpy(p.device, "127.0.0.3"); });
    EXPECT_EQ(CameraOf(Slot(byName)).GetDeviceInfo().Name, "127.0.0.3:EMU0003");
    EXPECT_EQ(
        Open(K_ERR_DEVICE_BUSY, [](HostOpenParameters& p) { std::strcpy(p.device, "127.0.0.3"); })
            ->params.device,
        std::string("127.0.0.3"));
    EXPECT_EQ(CameraOf(Slot(first)).GetDeviceInfo().Name, "127.0.0.2:EMU0002");
    EXPECT_EQ(g_openInstances, 2);
    EXPECT_EQ(first->channels, 1);
    EXPECT_EQ(first->fullWidth, 640);
    EXPECT_EQ(first->fullHeight, 480);
}

TEST_F(HostOps, OpenClampsTheImagePart) {
    struct Case {
        const char* name;
        int32_t width, height, row, column;
        const char* part;
        int32_t capacity;
    } cases[] = {
        {"full sensor", 0, 0, 0, 0, "640x480+0,0", 640 * 480},
        // One row step less: this camera takes rows in pairs.
        {"width alone takes one row less", 640, 0, 0, 0, "640x478+0,0", 640 * 478},
        {"inside", 320, 240, 8, 16, "320x240+8,16", 320 * 240},
        {"too large", 5000, 5000, 0, 0, "640x480+0,0", 640 * 480},
        {"below minimum", 1, 1, 0, 0, "8x2+0,0", 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Tr().Reset();
        Tr().Servers = {{"127.0.0.2:EMU0002", "eXcite"}};
        HostInstance* hi = Reserve();
        hi->params.imageWidth = c.width;
        hi->params.imageHeight = c.height;
        hi->params.startRow = c.row;
        hi->params.startColumn = c.column;
        ASSERT_EQ(OpenInstance(proc, hi), K_OK) << LastMessage();
        EXPECT_EQ(Part(hi), c.part);
        EXPECT_EQ(Slot(hi).bufferCapacity, c.capacity);
        EXPECT_EQ(CloseInstance(proc, hi), K_OK);
    }
}

TEST_F(HostOps, GrabDeliversCopiedOrVolatileImagesFromTheBufferRing) {
    HostInstance* hi = Open();
    InstanceSlot& slot = Slot(hi);
    std::memset(slot.frameBuffers[0], 0x5A, static_cast<size_t>(slot.bufferCapacity));
    HostImage image{};
    ASSERT_EQ(Grab(hi, image), K_OK) << LastMessage();
    EXPECT_EQ(image.kind, K_PIXEL_BYTE);
    EXPECT_EQ(image.ownsData, 1);
    EXPECT_NE(image.data, slot.frameBuffers[0]);
    EXPECT_EQ(static_cast<uint8_t*>(image.data)[640 * 480 - 1], 0x5A) << "copied, not cleared";
    EXPECT_EQ(slot.currentBuffer, 1);
    EXPECT_EQ(Tr().CallsOf("GxStreamGrabberReceiveAsync").back().Args.at(2), 640u * 480u);
    KClearImage(&image);

    ASSERT_EQ(Set(hi, "volatile", {Text("enable")}), K_OK);
    EXPECT_TRUE(slot.ownsBuffers);
    EXPECT_EQ(slot.deviceRecord->userCount, 0);
    ASSERT_EQ(Grab(hi, image), K_OK);
    EXPECT_EQ(image.data, slot.frameBuffers[1]) << "volatile images wrap the frame buffer";
    EXPECT_EQ(image.ownsData, 0);
    EXPECT_EQ(Get(hi, "volatile"), "\"enable\"");
    ASSERT_EQ(Set(hi, "volatile", {Text("disable")}), K_OK);
    EXPECT_FALSE(slot.ownsBuffers);
    EXPECT_EQ(slot.deviceRecord->frameBuffers[2], slot.frameBuffers[2]);

    HostInstance* deep =
        Open(K_OK, [](HostOpenParameters& p) { std::strcpy(p.device, "127.0.0.3"); });
    deep->params.bitsPerChannel = 10; // as if opened at 10 bits: buffers hold 2 bytes a pixel
    EXPECT_EQ(Set(deep, "volatile", {Text("enable")}), K_ERR_BAD_PARAM_VALUE);
}

TEST_F(HostOps, SixteenBitInstancesCopyTwoBytesAPixelAndNameTheirBits) {
    HostInstance* hi = Open(K_OK, [](HostOpenParameters& p) {
        p.bitsPerChannel = 12;
        p.imageWidth = 64;
        p.imageHeight = 8;
    });
    InstanceSlot& slot = Slot(hi);
    EXPECT_EQ(slot.bufferCapacity, 64 * 8 * 2);
    for (int32_t i = 0; i < slot.bufferCapacity; ++i)
        static_cast<uint8_t*>(slot.frameBuffers[0])[i] = static_cast<uint8_t>(i * 7);
    HostImage image{};
    ASSERT_EQ(Grab(hi, image), K_OK) << LastMessage();
    EXPECT_EQ(image.kind, K_PIXEL_UINT2);
    EXPECT_EQ(image.significantBits, 12);
    EXPECT_EQ(std::memcmp(image.data, slot.frameBuffers[0], 64 * 8 * 2), 0);
    KClearImage(&image);
}

TEST_F(HostOps, GrabFailuresAnswerTheirCodesAndNeverAnImage) {
    const char *wait = "GxStreamGrabberWaitForBuffer", *queue = "GxStreamGrabberReceiveAsync";
    struct Case {
        const char* name;
        const char* function;
        uint32_t status;
        KErr code;
        bool printed;
    } cases[] = {
        {"time-out", wait, GX_STATUS_TIMEOUT, K_ERR_GRAB_FAILED, false},
        {"incomplete frame", wait, GX_STATUS_INCOMPLETE, K_ERR_GRAB_FAILED, false},
        {"nothing queued", wait, GX_STATUS_FLUSHED, K_ERR_GRAB_OTHER, false},
        {"camera-layer failure", queue, 0xC1020099u, K_ERR_GRAB_OTHER, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostInstance* hi = Open();
        KClearLastErrorMessage();
        Tr().Script(c.function, {c.status});
        HostImage image{};
        int32_t count = 0;
        EXPECT_EQ(GrabImage(proc, hi, &image, &count), c.code);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(image.data, nullptr);
        EXPECT_EQ(!LastMessage().empty(), c.printed) << LastMessage();
        EXPECT_EQ(CloseInstance(proc, hi), K_OK);
    }
}

TEST_F(HostOps, AsynchronousGrabsFollowTheStartAndDelayRules) {
    HostInstance* hi = Open();
    InstanceSlot& slot = Slot(hi);
    for (auto [given, stored] : {std::pair<double, int32_t>{99.6, 100}, {-0.4, 0}, {0.0, 0}}) {
        EXPECT_EQ(StartAsyncGrab(proc, hi, given), K_OK);
        EXPECT_EQ(slot.maxDelay, stored) << given;
    }
    EXPECT_TRUE(slot.acquisitionActive);
    // A plain grab discards the started acquisition: the stream is flushed.
    const size_t flushes = Tr().CallsOf("GxStreamGrabberFlush").size();
    HostImage image{};
    EXPECT_EQ(Grab(hi, image), K_ERR_GRAB_FAILED) << "after a flush the double hands back "
                                                     "every later buffer as incomplete";
    EXPECT_GT(Tr().CallsOf("GxStreamGrabberFlush").size(), flushes);
    EXPECT_EQ(CloseInstance(proc, hi), K_OK);

    // Within the delay the started acquisition is delivered and the next is
    // started at once.
    hi = Open();
    InstanceSlot& again = Slot(hi);
    EXPECT_EQ(StartAsyncGrab(proc, hi, 10000.0), K_OK);
    const size_t queued = Tr().CallsOf("GxStreamGrabberReceiveAsync").size();
    int32_t count = 0;
    EXPECT_EQ(GrabImageAsync(proc, hi, 10000.0, &image, &count), K_OK) << LastMessage();
    EXPECT_EQ(Tr().CallsOf("GxStreamGrabberReceiveAsync").size(), queued + 1);
    EXPECT_TRUE(again.acquisitionActive) << "start after grab is on";
    EXPECT_EQ(hi->asyncGrab, 0);
    EXPECT_EQ(Set(hi, "start_async_after_grab_async", {Text("disable")}), K_OK);
    EXPECT_EQ(GrabImageAsync(proc, hi, 10000.0, &image, &count), K_OK);
    EXPECT_FALSE(again.acquisitionActive);
    KClearImage(&image);
}

TEST_F(HostOps, SetParameterAnswersEachCode) {
    HostInstance* hi = Open();
    struct Case {
        const char* name;
        std::vector<HostValue> values;
        KErr code;
    } cases[] = {
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
    for (const Case& c : cases)
        EXPECT_EQ(Set(hi, c.name, c.values), c.code) << c.name;
    EXPECT_EQ(CameraOf(Slot(hi)).PioOutput->GetValue(), 13);
    std::string got; // trigger_mode: 9 changed nothing
    for (const char* name : {"digital_output", "grab_timeout", "trigger_signal",
                             "continuous_grabbing", "start_async_after_timeout", "trigger_mode"})
        got += Get(hi, name) + ";";
    EXPECT_EQ(got, R"(1,0,1,1;250;"rising";"disable";"enable";0;)");
}

TEST_F(HostOps, GetParameterAnswersValuesCompanionsAndUnknownNames) {
    HostInstance* hi = Open();
    struct Case {
        const char* name;
        const char* answer;
    } cases[] = {
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
    for (const Case& c : cases)
        EXPECT_EQ(Get(hi, c.name), c.answer) << c.name;
    for (const char* unknown : {"software_trigger", "external_trigger", "image_width",
                                "start_column", "do_abort_grab", "bogus"})
        EXPECT_EQ(Get(hi, unknown, K_ERR_UNKNOWN_PARAM), "?") << unknown;

    // A camera source outside 0-3 (the software trigger, 7) is answered as
    // it is.
    CameraOf(Slot(hi)).TriggerSource->SetIntValue(7);
    EXPECT_EQ(Get(hi, "trigger_source"), "7");
    EXPECT_EQ(Get(hi, "trigger_source_range"), "0,3,1,7");
    EXPECT_EQ(Set(hi, "external_trigger", {Text("TRUE")}), K_OK);
    EXPECT_EQ(Get(hi, "trigger_source"), "0");
    EXPECT_EQ(hi->params.externalTrigger, 1);
}

TEST_F(HostOps, ImagePartChangesKeepTheBuffersLargeEnough) {
    HostInstance* hi = Open(K_OK, [](HostOpenParameters& p) {
        p.imageWidth = 64;
        p.imageHeight = 32;
    });
    InstanceSlot& slot = Slot(hi);
    EXPECT_EQ(slot.bufferCapacity, 64 * 32);
    struct Step {
        const char* name;
        int32_t value;
        const char* part; // after the change
    } steps[] = {
        {"image_width", 640, "640x32+0,0"},
        {"image_height", 0, "640x480+0,0"},
        {"start_row", 100000, "640x480+0,0"}, // no rows left below a full-height part
        {"start_column", 0, "640x480+0,0"},
        {"image_width", 320, "320x478+0,0"},  // narrower at full height: one row step less
        {"image_height", 480, "320x478+0,0"}, // full height only with full width
        {"image_width", 640, "640x478+0,0"},
        {"image_height", 480, "640x480+0,0"},
    };
    for (const Step& st : steps) {
        EXPECT_EQ(Set(hi, st.name, {Int(st.value)}), K_OK) << LastMessage();
        EXPECT_EQ(Part(hi), st.part) << st.name << " " << st.value;
        EXPECT_GE(slot.bufferCapacity, hi->params.imageWidth * hi->params.imageHeight);
    }
    // The emulated camera refuses image-part changes once a shot is pending,
    // so the grab comes last.
    HostImage image{};
    EXPECT_EQ(Grab(hi, image), K_OK) << LastMessage();
    EXPECT_EQ(Tr().CallsOf("GxStreamGrabberReceiveAsync").back().Args.at(2), 640u * 480u);
    KClearImage(&image);

    // Not prepared: the finish raises, the text is printed, nothing changes.
    CameraOf(slot).FinishGrab();
    KClearLastErrorMessage();
    EXPECT_EQ(Set(hi, "image_width", {Int(64)}), K_OK);
    EXPECT_FALSE(LastMessage().empty());
    EXPECT_EQ(hi->params.imageWidth, 640);
    EXPECT_EQ(Get(hi, "image_available"), "0");
}

TEST_F(HostOps, QueriesAnswerTextsAndLists) {
    std::string text;
    const auto full = [&](int32_t code) { return Query(code, &text) + "|" + text; };
    for (int32_t code : {7, 99})
        EXPECT_EQ(full(code), "|Unsupported query!") << code;
    EXPECT_EQ(full(2), "|Korlan acquisition interface for eXcite.");
    EXPECT_EQ(Query(6), "4.0");
    EXPECT_EQ(Query(11), "false,true");
    EXPECT_EQ(Query(13), "digital_input,image_available,revision");
    EXPECT_EQ(Query(14), "do_abort_grab");
    EXPECT_EQ(Query(19) + Query(22), "1digital_output");
    EXPECT_EQ(Query(4), "brightness,digital_input,digital_output,do_abort_grab,external_trigger,"
                        "grab_timeout,revision,shutter,trigger_mode,trigger_signal,trigger_source,"
                        "volatile,image_available,video_gain,image_width,image_height,start_row,"
                        "start_column,start_async_after_grab_async,start_async_after_timeout");
    EXPECT_EQ(Query(3).substr(0, 4), "1,1,");

    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> servers;
        const char* answers; // queries 5 (with its text), 12, 9 and 10
    } cases[] = {
        {"no camera", {}, "|Info about installed eXcites;;8;gray"},
        {"one camera",
         {{"127.0.0.2:EMU0002", "x"}},
         "device:127.0.0.2 port:61696|Info about installed eXcites;127.0.0.2;8,10,12;gray"},
        {"a name without ':'",
         {{"cam7", "x"}, {"127.0.0.4:EMU4", "x"}},
         "device:cam7 port:61696,device:127.0.0.4 port:61696|Info about installed eXcites;"
         "cam7,127.0.0.4;8,10,12;gray"},
    };
    for (const Case& c : cases) {
        Tr().Servers = c.servers;
        EXPECT_EQ(full(5) + ";" + Query(12) + ";" + Query(9) + ";" + Query(10), c.answers)
            << c.name;
    }

    // Slot 0 open: its camera alone, even with more installed; another slot
    // does not count.
    Tr().Servers = {{"127.0.0.2:EMU0002", "x"}, {"127.0.0.3:EMU0003", "x"}};
    HostInstance* first = Open();
    HostInstance* second =
        Open(K_OK, [](HostOpenParameters& p) { std::strcpy(p.device, "127.0.0.3"); });
    EXPECT_EQ(Query(12), "127.0.0.2");
    EXPECT_EQ(Query(5), "device:127.0.0.2 port:61696");
    EXPECT_EQ(CloseInstance(proc, first), K_OK);
    EXPECT_EQ(Query(12), "127.0.0.2,127.0.0.3");
    EXPECT_EQ(CloseInstance(proc, second), K_OK);
}

TEST_F(HostOps, CyclesAndManyInstancesLeaveNoHostMemory) {
    for (int cycle = 0; cycle < 100; ++cycle) {
        HostInstance* hi = Reserve();
        ASSERT_EQ(OpenInstance(proc, hi), K_OK) << cycle << LastMessage();
        HostImage image{};
        ASSERT_EQ(Grab(hi, image), K_OK) << cycle;
        KClearImage(&image);
        ASSERT_EQ(CloseInstance(proc, hi), K_OK) << cycle;
        hosts.clear();
    }
    EXPECT_EQ(Blocks(), blocksAtStart);

    Tr().Servers.clear();
    for (int i = 0; i < kMaxInstances; ++i)
        Tr().Servers.push_back({"127.0.1." + std::to_string(i) + ":S", "x"});
    for (int i = 0; i < kMaxInstances; ++i) {
        HostInstance* hi = Reserve();
        std::snprintf(hi->params.device, sizeof hi->params.device, "127.0.1.%d", i);
        hi->params.imageWidth = 64;
        hi->params.imageHeight = 8;
        ASSERT_EQ(OpenInstance(proc, hi), K_OK) << i;
        HostImage image{};
        ASSERT_EQ(Grab(hi, image), K_OK) << i;
        KClearImage(&image);
    }
    EXPECT_EQ(g_openInstances, 64);
    EXPECT_EQ(ReserveSlot(proc, hosts.back().get()), nullptr);
}

TEST_F(HostOps, OperationsRefuseInstancesThatAreNotOpen) {
    std::vector<unsigned char> garbage(sizeof(HostInstance), 0x3C);
    HostInstance* bogus = reinterpret_cast<HostInstance*>(garbage.data());
    HostInstance* reserved = Reserve();
    for (HostInstance* hi : {bogus, reserved, static_cast<HostInstance*>(nullptr)}) {
        HostImage image{};
        HostValue cells[4] = {};
        int32_t n = 5;
        EXPECT_EQ(CloseInstance(proc, hi), K_ERR_NO_INSTANCE);
        EXPECT_EQ(GrabImage(proc, hi, &image, &n), K_ERR_NO_INSTANCE);
        EXPECT_EQ(StartAsyncGrab(proc, hi, 1.0), K_ERR_NO_INSTANCE);
        EXPECT_EQ(GrabImageAsync(proc, hi, 1.0, &image, &n), K_ERR_NO_INSTANCE);
        EXPECT_EQ(SetParameter(proc, hi, "shutter", cells, 1), K_ERR_NO_INSTANCE);
        EXPECT_EQ(GetParameter(proc, hi, "shutter", cells, &n), K_ERR_NO_INSTANCE);
        EXPECT_EQ(n, 5);
        EXPECT_EQ(image.data, nullptr);
    }
    EXPECT_EQ(OpenInstance(proc, bogus), K_ERR_NULL_POINTER);
}

TEST_F(HostOps, CloseAfterAFailedFinishStillFreesEverything) {
    HostInstance* hi = Open();
    Tr().Script("GxStreamGrabberFlush", {0xC1020077u});
    KClearLastErrorMessage();
    EXPECT_EQ(CloseInstance(proc, hi), K_OK);
    EXPECT_FALSE(LastMessage().empty());
    EXPECT_EQ(Slot(hi).deviceRecord, nullptr);
}

} // namespace

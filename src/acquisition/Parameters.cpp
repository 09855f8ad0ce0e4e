// SetParameter and GetParameter: the module's own settings and a fixed set
// of camera features by name, with description, range and value-list
// companions.
#include <string.h>
#include <strings.h>

#include "acquisition/Grab.h"
#include "acquisition/HostCalls.h"
#include "acquisition/OpenClose.h"
#include "acquisition/Operations.h"
#include "contracts/Korlan.h"

namespace IOeXcite {

namespace {

using XCamera::CGxCamera;

constexpr const char* kEnable = "enable";
constexpr const char* kDisable = "disable";

struct NamedText {
    const char* name;
    const char* text;
};

const NamedText kDescriptions[] = {
    {"brightness_description", "Sets the brightness value of the camera"},
    {"continuous_grabbing_description", "Enables/disables continuous grabbing"},
    {"grab_timeout_description",
     "Specifies the desired time-out for aborting a pending grab in milliseconds"},
    {"image_height_description", "Sets the image height of the image part"},
    {"image_width_description", "Sets the image width of the image part"},
    {"shutter_description", "Sets the shutter value of the camera"},
    {"software_trigger_description", "Sets the software trigger"},
    {"start_column_description",
     "Sets the column coordinate of the upper left corner of the image part"},
    {"start_row_description", "Sets the row coordinate of the upper left corner of the image part"},
    {"trigger_mode_description", "Sets the trigger mode"},
    {"trigger_signal_description", "Sets the trigger polarity"},
    {"trigger_source_description", "Sets the trigger source"},
    {"video_gain_description", "Sets the gain value of the camera"},
    {"volatile_description", "Enables/disables volatile mode"},
};

// Value lists of two texts.
const NamedText kEnableLists[] = {
    {"start_async_after_grab_async_values", nullptr},
    {"continuous_grabbing_values", nullptr},
    {"software_trigger_values", nullptr},
    {"volatile_values", nullptr},
    {"start_async_after_timeout_values", nullptr},
};

bool Is(const char* name, const char* candidate) {
    return strcasecmp(name, candidate) == 0;
}

void SetInt(HostValue& cell, int32_t value) {
    cell.value.raw = 0;
    cell.value.i = value;
    cell.type = HOST_VALUE_INT;
}

void SetText(HostValue& cell, const char* text) {
    cell.value.raw = 0;
    cell.value.s = text;
    cell.type = HOST_VALUE_TEXT;
}

bool IsInt(const HostValue* values, int32_t count) {
    return count >= 1 && values[0].type == HOST_VALUE_INT;
}

// The first value as text, or null when it is not one.
const char* TextOf(const HostValue* values, int32_t count) {
    if (count < 1 || values[0].type != HOST_VALUE_TEXT || values[0].value.s == nullptr)
        return nullptr;
    return values[0].value.s;
}

NodeApi::IInteger* IntegerFeature(CGxCamera& camera, const char* name) {
    if (Is(name, "shutter"))
        return camera.Shutter;
    if (Is(name, "brightness"))
        return camera.Brightness;
    if (Is(name, "video_gain"))
        return camera.Gain;
    return nullptr;
}

// The image part changed: the frame buffers must hold it before the stream
// is prepared again.
KErr Reframe(KProcHandle proc, HostInstance& instance, InstanceSlot& slot) {
    if (ImageBytes(instance) <= slot.bufferCapacity)
        return K_OK;
    if (slot.acquisitionActive) {
        DrainStream(slot);
        slot.acquisitionActive = false;
    }
    return EnsureFrameBuffers(proc, instance, slot);
}

KErr SetVolatile(HostInstance& instance, InstanceSlot& slot, const char* text) {
    if (text == nullptr)
        return K_ERR_BAD_PARAM_TYPE;
    DeviceRecord& record = *slot.deviceRecord;
    const int32_t bits = instance.params.bitsPerChannel;
    if (Is(text, kEnable)) {
        if ((bits != 8 && bits != 16 && bits != 32) || instance.channels != 1)
            return K_ERR_BAD_PARAM_VALUE;
        if (slot.volatileMode)
            return K_OK;
        slot.ownsBuffers = true;
        record.userCount = 0;
        record.bufferSize = 0;
        for (void*& buffer : record.frameBuffers)
            buffer = nullptr;
        slot.volatileMode = true;
        instance.volatileFlag = 0;
        instance.volatileMode = 0;
        return K_OK;
    }
    if (Is(text, kDisable)) {
        if (!slot.volatileMode)
            return K_OK;
        for (int i = 0; i < kFrameBuffers; ++i)
            record.frameBuffers[i] = slot.frameBuffers[i];
        record.userCount = 1;
        record.bufferSize = slot.bufferCapacity;
        slot.ownsBuffers = false;
        slot.volatileMode = false;
        instance.volatileFlag = 1;
        return K_OK;
    }
    return K_ERR_BAD_PARAM_VALUE;
}

// Runs the guarded part of SetParameter; camera-layer exceptions leave.
KErr SetGuarded(KProcHandle proc, HostInstance& instance, InstanceSlot& slot, const char* name,
                const HostValue* values, int32_t count) {
    CGxCamera& camera = CameraOf(slot);
    HostOpenParameters& p = instance.params;
    const char* text = TextOf(values, count);
    const bool isInt = IsInt(values, count);
    const int32_t value = isInt ? values[0].value.i : 0;

    if (Is(name, "volatile"))
        return SetVolatile(instance, slot, text);
    if (Is(name, "continuous_grabbing")) {
        if (text == nullptr)
            return K_ERR_BAD_PARAM_TYPE;
        bool on;
        if (Is(text, "enable") || Is(text, "true"))
            on = true;
        else if (Is(text, "disable") || Is(text, "false"))
            on = false;
        else
            return K_ERR_BAD_PARAM_TYPE;
        camera.ContinuousShot->SetValue(on);
        slot.continuous = on;
        return K_OK;
    }
    if (Is(name, "grab_timeout")) {
        if (!isInt)
            return K_ERR_BAD_PARAM_TYPE;
        slot.grabTimeout = value;
        return K_OK;
    }
    if (Is(name, "trigger_signal")) {
        if (text == nullptr)
            return K_ERR_BAD_PARAM_TYPE;
        if (Is(text, "falling"))
            camera.TriggerPolarity->SetIntValue(0);
        else if (Is(text, "rising"))
            camera.TriggerPolarity->SetIntValue(1);
        else
            return K_ERR_BAD_PARAM_VALUE;
        return K_OK;
    }
    if (Is(name, "external_trigger")) {
        if (text == nullptr)
            return K_ERR_BAD_PARAM_TYPE;
        if (Is(text, "true")) {
            if (camera.TriggerSource->GetIntValue() == 7)
                camera.TriggerSource->SetIntValue(0);
            camera.TriggerEnable->SetValue(true);
            p.externalTrigger = 1;
        } else if (Is(text, "false")) {
            camera.OneShot->SetValue(false);
            camera.TriggerEnable->SetValue(false);
            p.externalTrigger = 0;
        } else {
            return K_ERR_BAD_PARAM_VALUE;
        }
        DrainStream(slot);
        slot.acquisitionActive = false;
        return K_OK;
    }
    if (NodeApi::IInteger* feature = IntegerFeature(camera, name)) {
        if (!isInt)
            return K_ERR_BAD_PARAM_TYPE;
        if (feature->GetMin() <= value && value <= feature->GetMax())
            feature->SetValue(value);
        return K_OK;
    }
    if (Is(name, "do_abort_grab")) {
        if (isInt)
            camera.ContinuousShot->SetValue(false);
        return K_OK;
    }
    if (Is(name, "digital_output")) {
        if (count != 4)
            return K_ERR_BAD_PARAM_TYPE;
        int64_t bits = 0;
        for (int i = 0; i < 4; ++i) {
            if (values[i].type != HOST_VALUE_INT)
                return K_ERR_BAD_PARAM_TYPE;
            bits += static_cast<int64_t>(values[i].value.i) * (int64_t(1) << i);
        }
        camera.PioOutput->SetValue(static_cast<int32_t>(bits));
        return K_OK;
    }
    if (Is(name, "trigger_mode") || Is(name, "trigger_source")) {
        if (!isInt)
            return K_ERR_BAD_PARAM_TYPE;
        if (value >= 0 && value <= 3) {
            if (Is(name, "trigger_mode"))
                camera.TriggerMode->SetIntValue(value);
            else
                camera.TriggerSource->SetIntValue(value);
        }
        return K_OK;
    }
    if (Is(name, "image_width")) {
        if (!isInt)
            return K_ERR_BAD_PARAM_TYPE;
        camera.FinishGrab();
        slot.acquisitionActive = false;
        const int32_t w = ClampWidth(camera, value);
        try {
            if (w != camera.Width->GetMax() && camera.Height->GetValue() == camera.Height->GetMax())
                camera.Height->SetValue(HeightBelowMaximum(camera));
            camera.Width->SetValue(w);
        } catch (const std::exception& error) {
            PrintException(error);
        }
        p.imageWidth = static_cast<int32_t>(camera.Width->GetValue());
        p.imageHeight = static_cast<int32_t>(camera.Height->GetValue());
        const KErr rc = Reframe(proc, instance, slot);
        camera.PrepareGrab();
        return rc;
    }
    if (Is(name, "image_height")) {
        if (!isInt)
            return K_ERR_BAD_PARAM_TYPE;
        camera.FinishGrab();
        slot.acquisitionActive = false;
        int32_t h = ClampHeight(camera, value);
        if (p.imageWidth != camera.Width->GetMax() && h == camera.Height->GetMax())
            h = HeightBelowMaximum(camera);
        try {
            camera.Height->SetValue(h);
        } catch (const std::exception& error) {
            PrintException(error);
        }
        p.imageHeight = static_cast<int32_t>(camera.Height->GetValue());
        const KErr rc = Reframe(proc, instance, slot);
        camera.PrepareGrab();
        return rc;
    }
    if (Is(name, "start_row") || Is(name, "start_column")) {
        if (!isInt)
            return K_ERR_BAD_PARAM_TYPE;
        if (Is(name, "start_row")) {
            camera.YPosition->SetValue(ClampRow(camera, value));
            p.startRow = static_cast<int32_t>(camera.YPosition->GetValue());
        } else {
            camera.XPosition->SetValue(ClampColumn(camera, value));
            p.startColumn = static_cast<int32_t>(camera.XPosition->GetValue());
        }
        p.imageWidth = static_cast<int32_t>(camera.Width->GetValue());
        p.imageHeight = static_cast<int32_t>(camera.Height->GetValue());
        return Reframe(proc, instance, slot);
    }
    if (Is(name, "start_async_after_grab_async") || Is(name, "start_async_after_timeout")) {
        if (text == nullptr)
            return K_ERR_BAD_PARAM_TYPE;
        bool on;
        if (strcmp(text, kEnable) == 0)
            on = true;
        else if (strcmp(text, kDisable) == 0)
            on = false;
        else
            return K_ERR_BAD_PARAM_VALUE;
        if (Is(name, "start_async_after_grab_async"))
            slot.startAfterGrab = on;
        else
            slot.startAfterTimeout = on;
        return K_OK;
    }
    return K_ERR_UNKNOWN_PARAM;
}

void AnswerBits(HostValue* values, int64_t bits) {
    for (int i = 0; i < 4; ++i)
        SetInt(values[i], static_cast<int32_t>((bits >> i) & 1));
}

void AnswerRange(HostValue* values, NodeApi::IInteger& feature) {
    SetInt(values[0], static_cast<int32_t>(feature.GetMin()));
    SetInt(values[1], static_cast<int32_t>(feature.GetMax()));
    SetInt(values[2], static_cast<int32_t>(feature.GetInc()));
    SetInt(values[3], static_cast<int32_t>(feature.GetValue()));
}

NodeApi::IInteger* RangeFeature(CGxCamera& camera, const char* name) {
    if (Is(name, "brightness_range"))
        return camera.Brightness;
    if (Is(name, "image_width_range"))
        return camera.Width;
    if (Is(name, "image_height_range"))
        return camera.Height;
    if (Is(name, "start_row_range"))
        return camera.YPosition;
    if (Is(name, "start_column_range"))
        return camera.XPosition;
    if (Is(name, "shutter_range"))
        return camera.Shutter;
    if (Is(name, "video_gain_range"))
        return camera.Gain;
    return nullptr;
}

KErr GetGuarded(HostInstance& instance, InstanceSlot& slot, const char* name, HostValue* values,
                int32_t* count) {
    (void)instance;
    CGxCamera& camera = CameraOf(slot);
    if (Is(name, "volatile")) {
        SetText(values[0], slot.volatileMode ? kEnable : kDisable);
    } else if (Is(name, "revision")) {
        SetText(values[0], "4.0");
    } else if (Is(name, "continuous_grabbing")) {
        SetText(values[0], slot.continuous ? kEnable : kDisable);
    } else if (Is(name, "grab_timeout")) {
        SetInt(values[0], slot.grabTimeout);
    } else if (Is(name, "trigger_signal")) {
        const int32_t polarity = camera.TriggerPolarity->GetIntValue();
        SetText(values[0], polarity == 1 ? "rising" : polarity == 0 ? "falling" : "unknown");
    } else if (Is(name, "trigger_source")) {
        // Values outside 0-3 (7 is the software trigger) are answered as
        // they are rather than leaving the caller's cell unset.
        SetInt(values[0], camera.TriggerSource->GetIntValue());
    } else if (Is(name, "trigger_mode")) {
        SetInt(values[0], camera.TriggerMode->GetIntValue());
    } else if (Is(name, "camera_pointer")) {
        SetInt(values[0], static_cast<int32_t>(reinterpret_cast<uintptr_t>(slot.camera)));
    } else if (Is(name, "image_available")) {
        SetInt(values[0], camera.IsPrepared() ? 1 : 0);
    } else if (NodeApi::IInteger* feature = IntegerFeature(camera, name)) {
        SetInt(values[0], static_cast<int32_t>(feature->GetValue()));
    } else if (Is(name, "digital_input")) {
        AnswerBits(values, camera.PioInput->GetValue());
        *count = 4;
    } else if (Is(name, "digital_output")) {
        AnswerBits(values, camera.PioOutput->GetValue());
        *count = 4;
    } else if (Is(name, "start_async_after_grab_async")) {
        SetText(values[0], slot.startAfterGrab ? kEnable : kDisable);
    } else if (Is(name, "start_async_after_timeout")) {
        SetText(values[0], slot.startAfterTimeout ? kEnable : kDisable);
    } else if (NodeApi::IInteger* feature = RangeFeature(camera, name)) {
        AnswerRange(values, *feature);
        *count = 4;
    } else if (Is(name, "trigger_mode_range") || Is(name, "trigger_source_range")) {
        SetInt(values[0], 0);
        SetInt(values[1], 3);
        SetInt(values[2], 1);
        SetInt(values[3], Is(name, "trigger_mode_range") ? camera.TriggerMode->GetIntValue()
                                                         : camera.TriggerSource->GetIntValue());
        *count = 4;
    } else if (Is(name, "trigger_signal_values")) {
        SetText(values[0], "rising");
        SetText(values[1], "falling");
        *count = 2;
    } else {
        for (const NamedText& list : kEnableLists)
            if (Is(name, list.name)) {
                SetText(values[0], kEnable);
                SetText(values[1], kDisable);
                *count = 2;
                return K_OK;
            }
        for (const NamedText& description : kDescriptions)
            if (Is(name, description.name)) {
                SetText(values[0], description.text);
                return K_OK;
            }
        return K_ERR_UNKNOWN_PARAM;
    }
    return K_OK;
}

} // namespace

KErr SetParameter(KProcHandle proc, HostInstance* instance, const char* name,
                  const HostValue* values, int32_t count) {
    InstanceSlot* slot = OpenSlotOf(instance);
    if (slot == nullptr)
        return K_ERR_NO_INSTANCE;
    if (name == nullptr)
        return K_ERR_UNKNOWN_PARAM;
    if (count < 0 || (count > 0 && values == nullptr))
        return K_ERR_BAD_PARAM_TYPE;
    // A camera-layer failure is printed and the call still succeeds.
    KErr rc = K_OK;
    RunOrPrint([&] { rc = SetGuarded(proc, *instance, *slot, name, values, count); });
    return rc;
}

KErr GetParameter(KProcHandle /*proc*/, HostInstance* instance, const char* name, HostValue* values,
                  int32_t* count) {
    InstanceSlot* slot = OpenSlotOf(instance);
    if (slot == nullptr)
        return K_ERR_NO_INSTANCE;
    if (values == nullptr || count == nullptr)
        return K_ERR_NULL_POINTER;
    *count = 1;
    if (name == nullptr)
        return K_ERR_UNKNOWN_PARAM;
    KErr rc = K_OK;
    RunOrPrint([&] { rc = GetGuarded(*instance, *slot, name, values, count); });
    return rc;
}

} // namespace IOeXcite

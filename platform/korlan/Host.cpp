// Host globals, the default open-parameter list, value-list copies, error
// output with the last printed message, and the texts of host codes.
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <mutex>
#include <string>

#include "korlan/HostInternal.h"

namespace korlan {
namespace {

// Host global 64, read, cleared and restored around image creation.
std::atomic<int32_t> g_global64{1};

struct LastMessage {
    std::mutex lock;
    std::string text;
};

LastMessage& lastMessage() {
    static LastMessage* m = new LastMessage(); // never destroyed: used until exit
    return *m;
}

void printMessage(const char* text, size_t length) {
    fprintf(stderr, "%.*s\n", static_cast<int>(length), text);
    LastMessage& m = lastMessage();
    std::lock_guard<std::mutex> guard(m.lock);
    m.text.assign(text, length);
}

const char* const kDefaultNames[K_DEFAULT_COUNT] = {
    "horizontal_resolution",
    "vertical_resolution",
    "image_width",
    "image_height",
    "start_row",
    "start_column",
    "field",
    "bits_per_channel",
    "color_space",
    "gain",
    "external_trigger",
    "camera_type",
    "device",
    "port",
    "line_in",
};

HostValue intValue(int32_t v) {
    HostValue h;
    memset(&h, 0, sizeof h);
    h.value.i = v;
    h.type = HOST_VALUE_INT;
    return h;
}

HostValue textValue(const char* s) {
    HostValue h;
    memset(&h, 0, sizeof h);
    h.value.s = s;
    h.type = HOST_VALUE_TEXT;
    return h;
}

// A text field of the record may lack its terminator: copy at most the
// field's size minus one.
std::string fieldText(const char* field, size_t size) {
    return std::string(field, strnlen(field, size - 1));
}

} // namespace

int32_t clearNewImages() {
    return g_global64.load();
}

void printHostError(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0)
        return;
    printMessage(text, strnlen(text, sizeof text - 1));
}

KErr copyValueList(const HostValue* values, int32_t count, const char* source, int32_t line,
                   HostValue** out) {
    if (out == nullptr)
        return K_ERR_NULL_POINTER;
    *out = nullptr;
    if (count < 0 || count > K_MAX_QUERY_VALUES)
        return K_ERR_BAD_SIZE;
    if (count == 0)
        return K_OK;
    if (values == nullptr)
        return K_ERR_NULL_POINTER;
    size_t total = static_cast<size_t>(count) * sizeof(HostValue);
    for (int32_t i = 0; i < count; ++i) {
        if (values[i].type == HOST_VALUE_TEXT) {
            if (values[i].value.s == nullptr)
                return K_ERR_NULL_POINTER;
            total += strnlen(values[i].value.s, kMaxTextLength) + 1;
        } else if (values[i].type != HOST_VALUE_INT) {
            return K_ERR_BAD_PARAM_TYPE;
        }
    }
    void* block = nullptr;
    KErr rc = allocBlock(total, K_BLOCK_CHECKED, source, line, nullptr, &block);
    if (rc != K_OK)
        return rc;
    HostValue* list = static_cast<HostValue*>(block);
    char* texts = reinterpret_cast<char*>(list + count);
    for (int32_t i = 0; i < count; ++i) {
        if (values[i].type == HOST_VALUE_TEXT) {
            size_t n = strnlen(values[i].value.s, kMaxTextLength);
            memcpy(texts, values[i].value.s, n);
            texts[n] = '\0';
            list[i] = textValue(texts);
            texts += n + 1;
        } else {
            list[i] = intValue(values[i].value.i);
        }
    }
    *out = list;
    return K_OK;
}

} // namespace korlan

using namespace korlan;

extern "C" {

KErr KAccessGlVar(KProcHandle /*proc*/, int32_t variable, int32_t access, int32_t* out,
                  double value, int32_t /*reserved1*/, int32_t /*reserved2*/,
                  int32_t /*reserved3*/) {
    if (variable != K_GLOBAL_64)
        return K_ERR_BAD_GLOBAL;
    if (access == K_GLOBAL_READ) {
        if (out == nullptr)
            return K_ERR_NULL_POINTER;
        *out = g_global64.load();
        return K_OK;
    }
    if (access == K_GLOBAL_WRITE) {
        // The variable is an int32: refuse what does not convert to one.
        if (!isfinite(value) || value < static_cast<double>(INT32_MIN) ||
            value > static_cast<double>(INT32_MAX))
            return K_ERR_BAD_GLOBAL;
        g_global64.store(static_cast<int32_t>(value));
        return K_OK;
    }
    return K_ERR_BAD_GLOBAL;
}

KErr KFgGetDefaults(KProcHandle /*proc*/, const InterfaceClass* ic, HostValue** values,
                    int32_t* count) {
    if (values != nullptr)
        *values = nullptr;
    if (ic == nullptr || values == nullptr || count == nullptr)
        return K_ERR_NULL_POINTER;
    const HostOpenParameters& d = ic->defaults;
    std::string colorSpace = fieldText(d.colorSpace, sizeof d.colorSpace);
    std::string cameraType = fieldText(d.cameraType, sizeof d.cameraType);
    std::string device = fieldText(d.device, sizeof d.device);
    char gain[32];
    snprintf(gain, sizeof gain, "%g", static_cast<double>(d.gain));
    const HostValue list[K_DEFAULT_COUNT] = {
        intValue(d.horizontalResolution),
        intValue(d.verticalResolution),
        intValue(d.imageWidth),
        intValue(d.imageHeight),
        intValue(d.startRow),
        intValue(d.startColumn),
        intValue(d.field),
        intValue(d.bitsPerChannel),
        textValue(colorSpace.c_str()),
        textValue(gain),
        textValue(d.externalTrigger != 0 ? "true" : "false"),
        textValue(cameraType.c_str()),
        textValue(device.c_str()),
        intValue(d.port),
        intValue(d.lineIn),
    };
    KErr rc = copyValueList(list, K_DEFAULT_COUNT, "KFgGetDefaults", __LINE__, values);
    if (rc != K_OK)
        return rc;
    *count = K_DEFAULT_COUNT;
    return K_OK;
}

KErr IOPrintErrorMessage(const char* text) {
    if (text == nullptr)
        return K_ERR_NULL_POINTER;
    printMessage(text, strnlen(text, kMaxTextLength));
    return K_OK;
}

KErr KGetLastErrorMessage(char* text, size_t capacity) {
    if (text == nullptr)
        return K_ERR_NULL_POINTER;
    if (capacity == 0)
        return K_ERR_BAD_SIZE;
    LastMessage& m = lastMessage();
    std::lock_guard<std::mutex> guard(m.lock);
    size_t n = m.text.size() < capacity - 1 ? m.text.size() : capacity - 1;
    memcpy(text, m.text.data(), n);
    text[n] = '\0';
    return K_OK;
}

KErr KClearLastErrorMessage(void) {
    LastMessage& m = lastMessage();
    std::lock_guard<std::mutex> guard(m.lock);
    m.text.clear();
    return K_OK;
}

const char* KFgDefaultName(int32_t index) {
    if (index < 0 || index >= K_DEFAULT_COUNT)
        return nullptr;
    return kDefaultNames[index];
}

const char* KErrorText(KErr code) {
    switch (code) {
    case K_OK:
        return "success";
    case K_ERR_NO_DEVICE:
        return "no device found";
    case K_ERR_BAD_BITS:
        return "bits per channel not supported";
    case K_ERR_DEVICE_NOT_FOUND:
        return "no device has the requested name";
    case K_ERR_GRAB_FAILED:
        return "grabbing the image failed";
    case K_ERR_BAD_COLOR_SPACE:
        return "color space not supported";
    case K_ERR_DEVICE_BUSY:
        return "device busy or cannot be opened";
    case K_ERR_UNKNOWN_PARAM:
        return "unknown parameter name";
    case K_ERR_BAD_PARAM_TYPE:
        return "wrong parameter value type or count";
    case K_ERR_BAD_PARAM_VALUE:
        return "parameter value not accepted";
    case K_ERR_GRAB_OTHER:
        return "waiting for the image failed";
    case K_ERR_NOT_IMPLEMENTED:
        return "operation not implemented by the interface";
    case K_ERR_NULL_POINTER:
        return "null pointer argument";
    case K_ERR_BAD_SIZE:
        return "size or count out of range";
    case K_ERR_OUT_OF_MEMORY:
        return "out of memory";
    case K_ERR_UNKNOWN_POINTER:
        return "free of a block the host did not hand out, or freed twice";
    case K_ERR_BAD_PIXEL_KIND:
        return "pixel kind not supported";
    case K_ERR_BAD_GLOBAL:
        return "unknown host global variable, access mode or value";
    case K_ERR_NO_INTERFACE:
        return "acquisition interface cannot be loaded";
    case K_ERR_NO_INSTANCE:
        return "no free instance slot, or instance not open";
    case K_ERR_FILE:
        return "image file cannot be written";
    default:
        return "unknown host error";
    }
}

} // extern "C"

// QueryInfo: texts and value lists about the interface, its parameters and
// the installed cameras; needs no open instance.
#include <stdio.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "acquisition/HostCalls.h"
#include "acquisition/Operations.h"
#include "contracts/Korlan.h"
#include "device/DeviceManager.h"

namespace IOeXcite {

namespace {

using XCamera::CGxCamera;
using XCamera::DeviceManager;

constexpr const char* kNotAvailable = "camera not available";

const char* const kParameterNames[] = {
    "brightness",
    "digital_input",
    "digital_output",
    "do_abort_grab",
    "external_trigger",
    "grab_timeout",
    "revision",
    "shutter",
    "trigger_mode",
    "trigger_signal",
    "trigger_source",
    "volatile",
    "image_available",
    "video_gain",
    "image_width",
    "image_height",
    "start_row",
    "start_column",
    "start_async_after_grab_async",
    "start_async_after_timeout",
};
const char* const kReadOnly[] = {"digital_input", "image_available", "revision"};
const char* const kWriteOnly[] = {"do_abort_grab"};
const char* const kHidden[] = {"digital_output"};
const char* const kTriggerValues[] = {"false", "true"};
const char* const kRevision[] = {"4.0"};

// One answer cell before it is copied into host memory.
struct Cell {
    bool isText;
    int32_t number;
    const char* constant; // a text of the module's own, handed out as is
    std::string text;     // a text built per device: copied into local host memory
};

Cell Number(int32_t value) {
    return Cell{false, value, nullptr, std::string()};
}
Cell Constant(const char* text) {
    return Cell{true, 0, text, std::string()};
}
Cell Local(const std::string& text) {
    return Cell{true, 0, nullptr, text};
}

std::string NamePart(const std::string& name) {
    return name.substr(0, name.find(':'));
}

// "device:<name part> port:61696", assembled in the module's text buffer.
std::string DeviceEntry(const std::string& name) {
    snprintf(g_textBuffer, sizeof g_textBuffer, "device:%s port:61696", NamePart(name).c_str());
    return g_textBuffer;
}

bool SlotZeroOpen() {
    const InstanceSlot& slot = g_instances.slots[0];
    return slot.deviceRecord != nullptr && slot.camera != nullptr;
}

// A camera created for a query, destroyed (and closed if it was opened) when
// the query is done.
struct TemporaryCamera {
    XCamera::IDevice* device = nullptr;
    CGxCamera* camera = nullptr;
    ~TemporaryCamera() { DiscardDevice(device); }
};

// Queries 5 and 12: one cell per installed camera (slot 0's alone while it
// is open). Enumeration failures answer as no camera; a camera that cannot
// be created answers "camera not available".
std::vector<Cell> DeviceCells(bool entries) {
    std::vector<Cell> cells;
    if (SlotZeroOpen()) {
        const std::string& name = CameraOf(g_instances.slots[0]).GetDeviceInfo().Name;
        cells.push_back(Local(entries ? DeviceEntry(name) : NamePart(name)));
        return cells;
    }
    XCamera::DeviceInfoList devices;
    try {
        devices = DeviceManager::Instance().EnumerateDevices(XCamera::kGxCamClassName);
    } catch (const std::exception& error) {
        PrintException(error);
        return cells;
    }
    for (const XCamera::DeviceInfo& info : devices) {
        TemporaryCamera held;
        try {
            held.device = DeviceManager::Instance().CreateDevice(info);
            held.camera = dynamic_cast<CGxCamera*>(held.device);
        } catch (const std::exception& error) {
            PrintException(error);
        }
        if (held.camera == nullptr) {
            cells.push_back(Local(kNotAvailable));
            continue;
        }
        const std::string& name = held.camera->GetDeviceInfo().Name;
        cells.push_back(Local(entries ? DeviceEntry(name) : NamePart(name)));
    }
    return cells;
}

// Queries 9 and 10: the ColorCoding entries the camera offers (slot 0's
// camera, else the first installed one, opened for the query) and its
// DataDepth when it offers any. Failures answer as no camera.
bool ReadCodings(std::vector<std::string>& codings, int64_t& dataDepth) {
    codings.clear();
    dataDepth = 0;
    TemporaryCamera held;
    try {
        CGxCamera* camera = nullptr;
        if (SlotZeroOpen()) {
            camera = &CameraOf(g_instances.slots[0]);
        } else {
            const XCamera::DeviceInfoList devices =
                DeviceManager::Instance().EnumerateDevices(XCamera::kGxCamClassName);
            if (devices.empty())
                return false;
            held.device = DeviceManager::Instance().CreateDevice(devices.front());
            held.camera = dynamic_cast<CGxCamera*>(held.device);
            if (held.camera == nullptr)
                return false;
            held.camera->Open();
            camera = held.camera;
        }
        NodeApi::StringList_t symbolics;
        camera->ColorCoding->GetSymbolics(symbolics);
        codings.assign(symbolics.begin(), symbolics.end());
        if (!codings.empty())
            dataDepth = camera->DataDepth->GetValue();
        return true;
    } catch (const std::exception& error) {
        PrintException(error);
    }
    codings.clear();
    return false;
}

bool AnyContains(const std::vector<std::string>& names, const char* part) {
    for (const std::string& name : names)
        if (name.find(part) != std::string::npos)
            return true;
    return false;
}

std::vector<Cell> BitsCells() {
    std::vector<std::string> codings;
    int64_t depth = 0;
    ReadCodings(codings, depth);
    if (!AnyContains(codings, "16"))
        return {Number(8)};
    if (depth == 8)
        return {Number(8), Number(10), Number(12)};
    return {Number(8), Number(static_cast<int32_t>(depth))};
}

std::vector<Cell> ColorSpaceCells() {
    std::vector<std::string> codings;
    int64_t depth = 0;
    ReadCodings(codings, depth);
    if (AnyContains(codings, "Raw"))
        return {Constant("gray"), Constant("bayer")};
    return {Constant("gray")};
}

template <size_t N>
std::vector<Cell> Constants(const char* const (&texts)[N]) {
    std::vector<Cell> cells;
    for (const char* text : texts)
        cells.push_back(Constant(text));
    return cells;
}

// Copies the cells into one host array (texts built per device into local
// host memory). Nothing is handed out on a failure.
KErr Answer(KProcHandle proc, const std::vector<Cell>& cells, HostValue** values, int32_t* count) {
    if (cells.empty())
        return K_OK;
    void* block = nullptr;
    KErr rc = HostAlloc(proc, cells.size() * sizeof(HostValue), &block, __LINE__);
    if (rc != K_OK)
        return rc;
    if (block == nullptr)
        return K_ERR_OUT_OF_MEMORY;
    HostValue* array = static_cast<HostValue*>(block);
    memset(array, 0, cells.size() * sizeof(HostValue));
    for (size_t i = 0; i < cells.size(); ++i) {
        const Cell& cell = cells[i];
        if (!cell.isText) {
            array[i].value.i = cell.number;
            array[i].type = HOST_VALUE_INT;
            continue;
        }
        const char* text = cell.constant;
        if (text == nullptr) {
            void* copy = nullptr;
            rc = KXAllocLocal(proc, cell.text.size() + 1, kMemCheckSource, __LINE__, &copy);
            if (rc != K_OK || copy == nullptr) {
                HostFree(proc, array, __LINE__);
                return rc != K_OK ? rc : K_ERR_OUT_OF_MEMORY;
            }
            memcpy(copy, cell.text.c_str(), cell.text.size() + 1);
            text = static_cast<const char*>(copy);
        }
        array[i].value.s = text;
        array[i].type = HOST_VALUE_TEXT;
    }
    *values = array;
    *count = static_cast<int32_t>(cells.size());
    return K_OK;
}

} // namespace

KErr QueryInfo(KProcHandle proc, int32_t query, const char** text, HostValue** values,
               int32_t* count) {
    if (text == nullptr || values == nullptr || count == nullptr)
        return K_ERR_NULL_POINTER;
    *values = nullptr;
    *count = 0;
    std::vector<Cell> cells;
    try {
        switch (query) {
        case 0:
        case 1:
        case 8:
            *text = "Unused.";
            return K_OK;
        case 2:
            *text = "Korlan acquisition interface for eXcite.";
            return K_OK;
        case 3:
            *text = "Default values (as used for opening an instance).";
            return KFgGetDefaults(proc, g_interfaceClass, values, count);
        case 4:
            *text = "Additional parameters for eXcite.";
            cells = Constants(kParameterNames);
            break;
        case 5:
            *text = "Info about installed eXcites";
            cells = DeviceCells(true);
            break;
        case 6:
            *text = "Current interface revision.";
            cells = Constants(kRevision);
            break;
        case 9:
            *text = "Value list for bits per channel parameter.";
            cells = BitsCells();
            break;
        case 10:
            *text = "Value list for color space parameter.";
            cells = ColorSpaceCells();
            break;
        case 11:
            *text = "Value list for external trigger parameter.";
            cells = Constants(kTriggerValues);
            break;
        case 12:
            *text = "Value list for device parameter.";
            cells = DeviceCells(false);
            break;
        case 13:
            *text = "Additional read-only parameters for this interface.";
            cells = Constants(kReadOnly);
            break;
        case 14:
            *text = "Additional write-only parameters for this interface.";
            cells = Constants(kWriteOnly);
            break;
        case 19:
            *text = "Value list for horizontal resolution parameter.";
            cells = {Number(1)};
            break;
        case 20:
            *text = "Value list for vertical resolution parameter.";
            cells = {Number(1)};
            break;
        case 22:
            *text = "Hidden parameters for this interface.";
            cells = Constants(kHidden);
            break;
        default:
            *text = "Unsupported query!";
            return K_OK;
        }
    } catch (const std::exception& error) {
        PrintException(error);
        return K_OK;
    } catch (...) {
        PrintUnknownException();
        return K_OK;
    }
    return Answer(proc, cells, values, count);
}

} // namespace IOeXcite

// The application side of the host library: loads acquisition interface
// modules, keeps their interface-class records and drives their operations
// in the host's calling order, freeing local memory after each operation.
#include <ctype.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "korlan/HostInternal.h"

#ifndef KORLAN_DEFAULT_MODULE_DIR
#define KORLAN_DEFAULT_MODULE_DIR "."
#endif

// The handles handed to callers are not these objects' addresses but numbers
// from a counter that never repeats (see newHandle), so a closed handle stays
// refused however the memory of its object is reused.
struct KInterface {
    KInterface* handle = nullptr; // what the caller holds
    std::string name;
    void* library = nullptr;
    int32_t references = 1;
    InterfaceClass* record = nullptr; // host-owned, filled by FGInit
    // The instance count FGInit declared (1 to HOST_MAX_INSTANCES), kept so a
    // module that changes its record later cannot widen the cell range.
    int32_t maxInstances = 0;
    // Handed to the module as the procedure handle; local memory is tied to
    // it.
    int32_t procTag = 0;
    std::vector<KAcqInstance*> instances;
};

struct KAcqInstance {
    KAcqInstance* handle = nullptr; // what the caller holds
    KInterface* iface = nullptr;
    HostInstance* record = nullptr; // host-owned, zeroed at creation
    int32_t cell = -1;              // index of the record's instance cell
};

namespace korlan {
namespace {

using FGInitFn = KErr (*)(KProcHandle, InterfaceClass*);

// Guards the handle sets, every interface and instance, and serialises the
// module operations of all interfaces (a module takes no lock itself). Held
// for the whole of each application call.
std::recursive_mutex g_lock;

// Live handles and their objects, so a stale or foreign handle is refused
// instead of followed.
std::map<const KInterface*, KInterface*>& interfaces() {
    static auto* m = new std::map<const KInterface*, KInterface*>();
    return *m;
}
std::map<const KAcqInstance*, KAcqInstance*>& instances() {
    static auto* m = new std::map<const KAcqInstance*, KAcqInstance*>();
    return *m;
}

// A handle value never handed out before, with g_lock held: interfaces and
// instances draw from one counter, so neither a closed handle nor one of the
// other kind ever matches a live one. The values are never dereferenced; they
// are odd, so they are no object's address either. A 64-bit counter does not
// wrap.
uintptr_t g_lastHandle = 1;

template <class Handle>
Handle* newHandle() {
    g_lastHandle += 2;
    return reinterpret_cast<Handle*>(g_lastHandle);
}

// The index of the instance cell `cell` points to, or -1 when it is not
// exactly one of the record's first `max` cells (null, outside, or between
// two cells). Compared as numbers, so a wild pointer is never dereferenced.
int32_t cellIndex(const InterfaceClass* ic, int32_t max, HostInstance* const* cell) {
    const uintptr_t first = reinterpret_cast<uintptr_t>(&ic->instances[0]);
    const uintptr_t at = reinterpret_cast<uintptr_t>(cell);
    const uintptr_t size = sizeof ic->instances[0];
    if (cell == nullptr || at < first || (at - first) % size != 0 ||
        (at - first) / size >= static_cast<uintptr_t>(max))
        return -1;
    return static_cast<int32_t>((at - first) / size);
}

bool validName(const char* name) {
    size_t n = strnlen(name, K_MAX_INTERFACE_NAME + 1);
    if (n == 0 || n > K_MAX_INTERFACE_NAME)
        return false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (!isalnum(c) && c != '_')
            return false;
    }
    return true;
}

std::string moduleDirectory() {
    const char* dir = getenv("KORLAN_MODULE_DIR");
    if (dir != nullptr && dir[0] != '\0')
        return dir;
    return KORLAN_DEFAULT_MODULE_DIR;
}

KProcHandle procOf(KInterface* iface) {
    return &iface->procTag;
}

// Runs after every module operation, with g_lock held.
void endOperation(KInterface* iface) {
    KFreeLocalMemory(procOf(iface));
}

void unload(KInterface* iface) {
    if (iface->library != nullptr)
        dlclose(iface->library);
    free(iface->record);
    delete iface;
}

using Held = std::unique_lock<std::recursive_mutex>;

// Takes g_lock and finds the live instance of `handle`.
KErr lockInstance(const KAcqInstance* handle, Held* held, KAcqInstance** instance) {
    if (handle == nullptr)
        return K_ERR_NULL_POINTER;
    *held = Held(g_lock);
    auto found = instances().find(handle);
    if (found == instances().end())
        return K_ERR_NO_INSTANCE;
    *instance = found->second;
    return K_OK;
}

// Takes g_lock and finds the live interface of `handle`.
KErr lockInterface(const KInterface* handle, Held* held, KInterface** iface) {
    if (handle == nullptr)
        return K_ERR_NULL_POINTER;
    *held = Held(g_lock);
    auto found = interfaces().find(handle);
    if (found == interfaces().end())
        return K_ERR_NO_INTERFACE;
    *iface = found->second;
    return K_OK;
}

void forgetInstance(KAcqInstance* instance) {
    KInterface* iface = instance->iface;
    if (instance->cell >= 0)
        iface->record->instances[instance->cell] = nullptr;
    auto& list = iface->instances;
    list.erase(std::remove(list.begin(), list.end(), instance), list.end());
    free(instance->record);
    delete instance;
}

// Copies a list a module operation returned into one host block, while the
// local memory its texts may live in is still there.
KErr takeList(HostValue* moduleValues, int32_t moduleCount, const char* source, int32_t line,
              HostValue** values, int32_t* count) {
    KErr rc = copyValueList(moduleValues, moduleCount, source, line, values);
    if (rc == K_OK)
        *count = moduleCount;
    return rc;
}

KErr closeInterfaceLocked(KInterface* iface) {
    KErr result = K_OK;
    std::vector<KAcqInstance*> open = iface->instances;
    for (KAcqInstance* instance : open) {
        KErr rc = K_ERR_NOT_IMPLEMENTED;
        if (iface->record->closeInstance != nullptr) {
            rc = iface->record->closeInstance(procOf(iface), instance->record);
            endOperation(iface);
        }
        if (rc != K_OK && result == K_OK)
            result = rc;
        // The module goes away with the interface: the instance goes too.
        instances().erase(instance->handle);
        forgetInstance(instance);
    }
    return result;
}

} // namespace
} // namespace korlan

using namespace korlan;

extern "C" {

KErr KOpenInterface(const char* name, KInterface** iface) {
    if (iface != nullptr)
        *iface = nullptr;
    if (name == nullptr || iface == nullptr)
        return K_ERR_NULL_POINTER;
    if (!validName(name)) {
        printHostError("korlan: invalid interface name");
        return K_ERR_NO_INTERFACE;
    }
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    for (const auto& live : interfaces()) {
        KInterface* loaded = live.second;
        if (loaded->name == name) {
            ++loaded->references;
            *iface = loaded->handle;
            return K_OK;
        }
    }
    std::string path = moduleDirectory() + "/libkAcq" + name + ".so";
    KInterface* created = new KInterface();
    created->name = name;
    // Kept mapped after the last close: texts and other pointers the module
    // handed out stay valid, and its static state stays reachable.
    created->library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (created->library == nullptr) {
        const char* why = dlerror();
        printHostError("korlan: cannot load interface '%s': %.512s", name,
                       why != nullptr ? why : path.c_str());
        unload(created);
        return K_ERR_NO_INTERFACE;
    }
    FGInitFn init = reinterpret_cast<FGInitFn>(dlsym(created->library, "FGInit"));
    if (init == nullptr) {
        printHostError("korlan: interface '%s' has no FGInit", name);
        unload(created);
        return K_ERR_NO_INTERFACE;
    }
    created->record = static_cast<InterfaceClass*>(calloc(1, sizeof(InterfaceClass)));
    if (created->record == nullptr) {
        unload(created);
        return K_ERR_OUT_OF_MEMORY;
    }
    KErr rc = init(procOf(created), created->record);
    endOperation(created);
    if (rc != K_OK) {
        printHostError("korlan: FGInit of interface '%s' failed with %d", name, rc);
        unload(created);
        return rc;
    }
    int32_t max = created->record->maxInstances;
    if (max < 1 || max > HOST_MAX_INSTANCES) {
        printHostError("korlan: interface '%s' declares %d instances (1 to %d allowed)", name, max,
                       HOST_MAX_INSTANCES);
        unload(created);
        return K_ERR_NO_INTERFACE;
    }
    created->maxInstances = max;
    created->handle = newHandle<KInterface>();
    interfaces()[created->handle] = created;
    *iface = created->handle;
    return K_OK;
}

KErr KCloseInterface(KInterface* handle) {
    Held held;
    KInterface* iface = nullptr;
    KErr rc = lockInterface(handle, &held, &iface);
    if (rc != K_OK)
        return rc;
    if (--iface->references > 0)
        return K_OK;
    interfaces().erase(handle);
    KErr result = closeInterfaceLocked(iface);
    unload(iface);
    return result;
}

KErr KGetInterfaceRecord(const KInterface* handle, const InterfaceClass** record) {
    if (record != nullptr)
        *record = nullptr;
    if (record == nullptr)
        return K_ERR_NULL_POINTER;
    Held held;
    KInterface* iface = nullptr;
    KErr rc = lockInterface(handle, &held, &iface);
    if (rc != K_OK)
        return rc;
    *record = iface->record;
    return K_OK;
}

KErr KGetMaxInstances(const KInterface* handle, int32_t* count) {
    if (count == nullptr)
        return K_ERR_NULL_POINTER;
    Held held;
    KInterface* iface = nullptr;
    KErr rc = lockInterface(handle, &held, &iface);
    if (rc != K_OK)
        return rc;
    *count = iface->maxInstances;
    return K_OK;
}

KErr KGetDefaultOpenParameters(const KInterface* handle, HostOpenParameters* params) {
    if (params == nullptr)
        return K_ERR_NULL_POINTER;
    Held held;
    KInterface* iface = nullptr;
    KErr rc = lockInterface(handle, &held, &iface);
    if (rc != K_OK)
        return rc;
    *params = iface->record->defaults;
    return K_OK;
}

KErr KGetInterfaceDefaults(const KInterface* handle, HostValue** values, int32_t* count) {
    if (values != nullptr)
        *values = nullptr;
    if (values == nullptr || count == nullptr)
        return K_ERR_NULL_POINTER;
    Held held;
    KInterface* iface = nullptr;
    KErr rc = lockInterface(handle, &held, &iface);
    if (rc != K_OK)
        return rc;
    return KFgGetDefaults(procOf(iface), iface->record, values, count);
}

KErr KOpenInstance(KInterface* handle, const HostOpenParameters* params, KAcqInstance** instance) {
    if (instance != nullptr)
        *instance = nullptr;
    if (instance == nullptr)
        return K_ERR_NULL_POINTER;
    Held held;
    KInterface* iface = nullptr;
    KErr rc = lockInterface(handle, &held, &iface);
    if (rc != K_OK)
        return rc;
    InterfaceClass* ic = iface->record;
    if (ic->reserveSlot == nullptr || ic->openInstance == nullptr)
        return K_ERR_NOT_IMPLEMENTED;

    HostInstance* record = static_cast<HostInstance*>(calloc(1, sizeof(HostInstance)));
    if (record == nullptr)
        return K_ERR_OUT_OF_MEMORY;
    record->params = params != nullptr ? *params : ic->defaults;
    // The module reads these as zero-terminated texts.
    HostOpenParameters& p = record->params;
    p.colorSpace[sizeof p.colorSpace - 1] = '\0';
    p.cameraType[sizeof p.cameraType - 1] = '\0';
    p.device[sizeof p.device - 1] = '\0';

    KProcHandle proc = procOf(iface);
    HostInstance** cell = ic->reserveSlot(proc, record);
    endOperation(iface);
    // The cell must be one of the record's free instance cells, exactly.
    const int32_t max = iface->maxInstances;
    const int32_t index = cellIndex(ic, max, cell);
    if (cell == nullptr) {
        free(record);
        printHostError("korlan: interface '%s' has no free instance slot (%d at most)",
                       iface->name.c_str(), max);
        return K_ERR_NO_INSTANCE;
    }
    if (index < 0 || ic->instances[index] != nullptr) {
        free(record);
        printHostError("korlan: interface '%s' reserved a cell that is not a free instance cell",
                       iface->name.c_str());
        return K_ERR_NO_INSTANCE;
    }
    cell = &ic->instances[index];
    *cell = record;
    rc = ic->openInstance(proc, record);
    endOperation(iface);
    if (rc != K_OK) {
        *cell = nullptr;
        free(record);
        return rc;
    }
    KAcqInstance* created = new KAcqInstance();
    created->handle = newHandle<KAcqInstance>();
    created->iface = iface;
    created->record = record;
    created->cell = index;
    instances()[created->handle] = created;
    iface->instances.push_back(created);
    *instance = created->handle;
    return K_OK;
}

KErr KCloseInstance(KAcqInstance* handle) {
    Held held;
    KAcqInstance* instance = nullptr;
    KErr rc = lockInstance(handle, &held, &instance);
    if (rc != K_OK)
        return rc;
    KInterface* iface = instance->iface;
    if (iface->record->closeInstance == nullptr)
        return K_ERR_NOT_IMPLEMENTED;
    rc = iface->record->closeInstance(procOf(iface), instance->record);
    endOperation(iface);
    if (rc != K_OK)
        return rc;
    instances().erase(handle);
    forgetInstance(instance);
    return K_OK;
}

KErr KGetInstanceRecord(const KAcqInstance* handle, const HostInstance** record) {
    if (record == nullptr)
        return K_ERR_NULL_POINTER;
    *record = nullptr;
    Held held;
    KAcqInstance* instance = nullptr;
    KErr rc = lockInstance(handle, &held, &instance);
    if (rc != K_OK)
        return rc;
    *record = instance->record;
    return K_OK;
}

KErr KGrabImage(KAcqInstance* handle, HostImage* image) {
    if (image == nullptr)
        return K_ERR_NULL_POINTER;
    Held held;
    KAcqInstance* instance = nullptr;
    KErr rc = lockInstance(handle, &held, &instance);
    if (rc != K_OK)
        return rc;
    KInterface* iface = instance->iface;
    if (iface->record->grabImage == nullptr)
        return K_ERR_NOT_IMPLEMENTED;
    int32_t count = 0;
    rc = iface->record->grabImage(procOf(iface), instance->record, image, &count);
    endOperation(iface);
    return rc;
}

KErr KStartAsyncGrab(KAcqInstance* handle, double maxDelayMs) {
    Held held;
    KAcqInstance* instance = nullptr;
    KErr rc = lockInstance(handle, &held, &instance);
    if (rc != K_OK)
        return rc;
    KInterface* iface = instance->iface;
    if (iface->record->startAsyncGrab == nullptr)
        return K_ERR_NOT_IMPLEMENTED;
    rc = iface->record->startAsyncGrab(procOf(iface), instance->record, maxDelayMs);
    endOperation(iface);
    return rc;
}

KErr KGrabImageAsync(KAcqInstance* handle, double maxDelayMs, HostImage* image) {
    if (image == nullptr)
        return K_ERR_NULL_POINTER;
    Held held;
    KAcqInstance* instance = nullptr;
    KErr rc = lockInstance(handle, &held, &instance);
    if (rc != K_OK)
        return rc;
    KInterface* iface = instance->iface;
    if (iface->record->grabImageAsync == nullptr)
        return K_ERR_NOT_IMPLEMENTED;
    int32_t count = 0;
    rc = iface->record->grabImageAsync(procOf(iface), instance->record, maxDelayMs, image, &count);
    endOperation(iface);
    return rc;
}

KErr KSetParameter(KAcqInstance* handle, const char* name, const HostValue* values, int32_t count) {
    if (name == nullptr || (values == nullptr && count > 0))
        return K_ERR_NULL_POINTER;
    if (count < 0 || count > K_MAX_PARAM_VALUES)
        return K_ERR_BAD_SIZE;
    Held held;
    KAcqInstance* instance = nullptr;
    KErr rc = lockInstance(handle, &held, &instance);
    if (rc != K_OK)
        return rc;
    KInterface* iface = instance->iface;
    if (iface->record->setParameter == nullptr)
        return K_ERR_NOT_IMPLEMENTED;
    rc = iface->record->setParameter(procOf(iface), instance->record, name, values, count);
    endOperation(iface);
    return rc;
}

KErr KGetParameter(KAcqInstance* handle, const char* name, HostValue** values, int32_t* count) {
    if (values != nullptr)
        *values = nullptr;
    if (name == nullptr || values == nullptr || count == nullptr)
        return K_ERR_NULL_POINTER;
    Held held;
    KAcqInstance* instance = nullptr;
    KErr rc = lockInstance(handle, &held, &instance);
    if (rc != K_OK)
        return rc;
    KInterface* iface = instance->iface;
    if (iface->record->getParameter == nullptr)
        return K_ERR_NOT_IMPLEMENTED;
    // The module fills up to 4 cells of the caller's array; room for more.
    HostValue cells[K_MAX_PARAM_VALUES];
    memset(cells, 0, sizeof cells);
    int32_t n = 0;
    rc = iface->record->getParameter(procOf(iface), instance->record, name, cells, &n);
    if (rc == K_OK) {
        if (n < 0 || n > K_MAX_PARAM_VALUES)
            rc = K_ERR_BAD_SIZE;
        else
            rc = takeList(cells, n, "KGetParameter", __LINE__, values, count);
    }
    endOperation(iface);
    return rc;
}

KErr KQueryInfo(KInterface* handle, int32_t query, char* text, size_t capacity, HostValue** values,
                int32_t* count) {
    if (values != nullptr)
        *values = nullptr;
    if (text == nullptr || values == nullptr || count == nullptr)
        return K_ERR_NULL_POINTER;
    if (capacity == 0)
        return K_ERR_BAD_SIZE;
    Held held;
    KInterface* iface = nullptr;
    KErr rc = lockInterface(handle, &held, &iface);
    if (rc != K_OK)
        return rc;
    if (iface->record->queryInfo == nullptr)
        return K_ERR_NOT_IMPLEMENTED;
    const char* moduleText = nullptr;
    HostValue* moduleValues = nullptr;
    int32_t n = 0;
    rc = iface->record->queryInfo(procOf(iface), query, &moduleText, &moduleValues, &n);
    if (rc == K_OK) {
        size_t len = moduleText != nullptr ? strnlen(moduleText, capacity - 1) : 0;
        if (len > 0)
            memcpy(text, moduleText, len);
        text[len] = '\0';
        rc = takeList(moduleValues, n, "KQueryInfo", __LINE__, values, count);
    }
    // The module's array is host memory whose ownership passed to us.
    if (moduleValues != nullptr)
        KXFree(procOf(iface), moduleValues);
    endOperation(iface);
    return rc;
}

} // extern "C"

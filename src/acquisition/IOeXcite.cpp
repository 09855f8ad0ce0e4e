// Interface entry: FGInit, slot reservation and the two stub operations.
#include "acquisition/IOeXcite.h"

#include <stdlib.h>
#include <string.h>

#include "acquisition/InstanceTable.h"
#include "acquisition/Operations.h"
#include "contracts/Korlan.h"

namespace IOeXcite {

HostInstance** ReserveSlot(KProcHandle /*proc*/, HostInstance* instance) {
    if (g_openInstances >= kMaxInstances || g_interfaceClass == nullptr || instance == nullptr)
        return nullptr;
    for (int i = 0; i < kMaxInstances; ++i) {
        InstanceSlot& slot = g_instances.slots[i];
        if (slot.deviceRecord == nullptr) {
            instance->slot = &slot;
            return &g_interfaceClass->instances[i];
        }
    }
    return nullptr;
}

KErr AcceptNoOp(KProcHandle, HostInstance*) {
    return K_OK;
}

KErr ReportEmptyCount(KProcHandle, HostInstance*, const void*, const void*, const void*,
                      int32_t* count) {
    if (count != nullptr)
        *count = 0;
    return K_OK;
}

} // namespace IOeXcite

using namespace IOeXcite;

extern "C" KErr FGInit(KProcHandle /*proc*/, InterfaceClass* ic) {
    if (ic == nullptr)
        return K_ERR_NULL_POINTER;
    for (int i = 0; i < kMaxInstances; ++i) {
        g_instances.slots[i] = InstanceSlot();
        g_instances.slots[i].index = i;
    }
    g_openInstances = 0;

    ic->hostField404 = 4;
    ic->hostField408 = 1;
    ic->hostField40C = 0;
    ic->maxInstances = kMaxInstances;

    ic->reserveSlot = ReserveSlot;
    ic->openInstance = OpenInstance;
    ic->closeInstance = CloseInstance;
    ic->grabImage = GrabImage;
    ic->startAsyncGrab = StartAsyncGrab;
    ic->grabImageAsync = GrabImageAsync;
    ic->queryInfo = QueryInfo;
    ic->setParameter = SetParameter;
    ic->getParameter = GetParameter;
    ic->acceptNoOp = AcceptNoOp;
    ic->reportEmptyCount = ReportEmptyCount;

    HostOpenParameters& d = ic->defaults;
    d.horizontalResolution = 1;
    d.verticalResolution = 1;
    d.imageWidth = 0;
    d.imageHeight = 0;
    d.startRow = 0;
    d.startColumn = 0;
    d.field = 4;
    d.bitsPerChannel = 8;
    strcpy(d.colorSpace, "gray");
    d.gain = 1.0f;
    d.externalTrigger = 0;
    strcpy(d.cameraType, "default");
    strcpy(d.device, "0");
    d.port = atoi("61696");
    d.lineIn = 0;

    g_interfaceClass = ic;
    return K_OK;
}

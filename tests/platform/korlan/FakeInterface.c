/* A small interface module toward the host (libkAcqFake.so, "Fake"): two slots, 8-bit
   images, value lists in host memory with texts in local memory, no asynchronous grabs. */
#include <stdlib.h>
#include <string.h>

#include "acquisition/HostRecords.h"
#include "contracts/Korlan.h"

/* Operations take the host's whole argument list, used or not. */
#pragma GCC diagnostic ignored "-Wunused-parameter"

#define FAKE_SLOTS 2

static InterfaceClass* g_record;
static int g_open[FAKE_SLOTS]; /* whether each slot holds an open instance */

static int slotIndex(HostInstance* instance) {
    int* slot = instance != NULL ? (int*)instance->slot : NULL;
    return slot >= &g_open[0] && slot < &g_open[FAKE_SLOTS] ? (int)(slot - g_open) : -1;
}

static int* openSlot(HostInstance* instance) {
    int i = slotIndex(instance);
    return i >= 0 && g_open[i] ? &g_open[i] : NULL;
}

static HostInstance** reserveSlot(KProcHandle proc, HostInstance* instance) {
    for (int i = 0; i < FAKE_SLOTS && instance != NULL; ++i) {
        if (!g_open[i]) {
            instance->slot = &g_open[i];
            return &g_record->instances[i];
        }
    }
    return NULL;
}

static KErr openInstance(KProcHandle proc, HostInstance* instance) {
    int i = slotIndex(instance);
    /* The host stores the instance in the reserved cell before opening. */
    if (i < 0 || g_record->instances[i] != instance)
        return K_ERR_NO_INSTANCE;
    if (strcmp(instance->params.device, "0") != 0)
        return K_ERR_DEVICE_NOT_FOUND;
    if (instance->params.bitsPerChannel != 8)
        return K_ERR_BAD_BITS;
    g_open[i] = 1;
    instance->params.imageWidth = 4;
    instance->params.imageHeight = 3;
    return K_OK;
}

static KErr closeInstance(KProcHandle proc, HostInstance* instance) {
    int* slot = openSlot(instance);
    return slot != NULL ? (*slot = 0, K_OK) : K_ERR_NO_INSTANCE;
}

static KErr grabImage(KProcHandle proc, HostInstance* instance, HostImage* images, int32_t* count) {
    if (openSlot(instance) == NULL)
        return K_ERR_NO_INSTANCE;
    if (images == NULL || count == NULL)
        return K_ERR_NULL_POINTER;
    KErr rc = KNewImage(proc, &images[0], K_PIXEL_BYTE, 4, 3);
    *count = rc == K_OK ? 1 : 0;
    return rc;
}

/* A text cell in the operation's local memory, as the module builds them; null if refused. */
static HostValue localText(KProcHandle proc, const char* text) {
    HostValue cell = {{0}, HOST_VALUE_TEXT, {0}};
    void* block = NULL;
    if (KXAllocLocal(proc, strlen(text) + 1, "FakeInterface", __LINE__, &block) == K_OK)
        cell.value.s = strcpy((char*)block, text);
    return cell;
}

static KErr queryInfo(KProcHandle proc, int32_t query, const char** text, HostValue** values,
                      int32_t* count) {
    HostValue* list = NULL;
    if (text == NULL || values == NULL || count == NULL)
        return K_ERR_NULL_POINTER;
    *count = 0;
    *text = query == 5 ? "Info about installed fakes" : "Unsupported query!";
    if (query != 5)
        return K_OK;
    KErr rc = KXAlloc(proc, 2 * sizeof(HostValue), (void**)&list);
    if (rc != K_OK)
        return rc;
    list[0] = localText(proc, "device:0 port:61696");
    list[1] = (HostValue){{61696}, HOST_VALUE_INT, {0}};
    *values = list;
    *count = 2;
    return list[0].value.s != NULL ? K_OK : K_ERR_OUT_OF_MEMORY;
}

static KErr setParameter(KProcHandle proc, HostInstance* instance, const char* name,
                         const HostValue* values, int32_t count) {
    if (openSlot(instance) == NULL)
        return K_ERR_NO_INSTANCE;
    if (strcmp(name, "grab_timeout") != 0)
        return K_ERR_UNKNOWN_PARAM;
    return count == 1 && values[0].type == HOST_VALUE_INT ? K_OK : K_ERR_BAD_PARAM_TYPE;
}

static KErr getParameter(KProcHandle proc, HostInstance* instance, const char* name,
                         HostValue* values, int32_t* count) {
    if (openSlot(instance) == NULL)
        return K_ERR_NO_INSTANCE;
    if (strcmp(name, "volatile_values") != 0)
        return K_ERR_UNKNOWN_PARAM;
    values[0] = localText(proc, "enable");
    values[1] = localText(proc, "disable");
    *count = 2;
    return values[0].value.s != NULL && values[1].value.s != NULL ? K_OK : K_ERR_OUT_OF_MEMORY;
}

__attribute__((visibility("default"))) KErr FGInit(KProcHandle proc, InterfaceClass* ic) {
    if (ic == NULL)
        return K_ERR_NULL_POINTER;
    memset(g_open, 0, sizeof g_open);
    ic->maxInstances = FAKE_SLOTS;
    ic->reserveSlot = reserveSlot;
    ic->openInstance = openInstance;
    ic->closeInstance = closeInstance;
    ic->grabImage = grabImage;
    ic->queryInfo = queryInfo;
    ic->setParameter = setParameter;
    ic->getParameter = getParameter;
    ic->defaults.bitsPerChannel = 8;
    ic->defaults.externalTrigger = 1;
    strcpy(ic->defaults.device, "0");
    g_record = ic;
    return K_OK;
}

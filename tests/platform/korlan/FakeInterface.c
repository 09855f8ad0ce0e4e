/* A small acquisition interface that behaves like a real one toward the
   host: two instance slots, a slot bound by ReserveSlot and checked at open,
   images from the host's image functions, value lists in host memory with
   texts in local memory, and the host's error codes. Built as
   libkAcqFake.so for the host library's tests; loaded as interface "Fake". */
#include <stdlib.h>
#include <string.h>

#include "acquisition/HostRecords.h"
#include "contracts/Korlan.h"

#define FAKE_SLOTS 2

typedef struct FakeSlot {
    int open;
    int32_t grabTimeout;
    int32_t grabs;
} FakeSlot;

static InterfaceClass* g_record;
static FakeSlot g_slots[FAKE_SLOTS];
static int32_t g_openCount;

static FakeSlot* slotOf(HostInstance* instance) {
    FakeSlot* slot;
    if (instance == NULL)
        return NULL;
    slot = (FakeSlot*)instance->slot;
    if (slot < &g_slots[0] || slot >= &g_slots[FAKE_SLOTS] || !slot->open)
        return NULL;
    return slot;
}

static HostInstance** reserveSlot(KProcHandle proc, HostInstance* instance) {
    int i;
    (void)proc;
    if (g_openCount >= FAKE_SLOTS || instance == NULL)
        return NULL;
    for (i = 0; i < FAKE_SLOTS; ++i) {
        if (!g_slots[i].open) {
            instance->slot = &g_slots[i];
            return &g_record->instances[i];
        }
    }
    return NULL;
}

static KErr openInstance(KProcHandle proc, HostInstance* instance) {
    FakeSlot* slot;
    int index;
    (void)proc;
    if (instance == NULL)
        return K_ERR_NULL_POINTER;
    slot = (FakeSlot*)instance->slot;
    if (slot < &g_slots[0] || slot >= &g_slots[FAKE_SLOTS])
        return K_ERR_NO_INSTANCE;
    index = (int)(slot - g_slots);
    /* The host stores the instance in the reserved cell before opening. */
    if (g_record->instances[index] != instance)
        return K_ERR_NO_INSTANCE;
    if (strcmp(instance->params.device, "0") != 0)
        return K_ERR_DEVICE_NOT_FOUND;
    if (instance->params.bitsPerChannel != 8 && instance->params.bitsPerChannel != 12)
        return K_ERR_BAD_BITS;
    slot->open = 1;
    slot->grabTimeout = 500;
    slot->grabs = 0;
    instance->params.imageWidth = 4;
    instance->params.imageHeight = 3;
    instance->channels = 1;
    ++g_openCount;
    return K_OK;
}

static KErr closeInstance(KProcHandle proc, HostInstance* instance) {
    FakeSlot* slot = slotOf(instance);
    (void)proc;
    if (slot == NULL)
        return K_ERR_NO_INSTANCE;
    slot->open = 0;
    --g_openCount;
    return K_OK;
}

/* Pixel (x, y) of grab n: n * 16 + y * 4 + x, in the instance's depth. */
static KErr grabImage(KProcHandle proc, HostInstance* instance, HostImage* images, int32_t* count) {
    FakeSlot* slot = slotOf(instance);
    int32_t w, h, x, y, bits;
    KErr rc;
    if (slot == NULL)
        return K_ERR_NO_INSTANCE;
    if (images == NULL || count == NULL)
        return K_ERR_NULL_POINTER;
    w = instance->params.imageWidth;
    h = instance->params.imageHeight;
    bits = instance->params.bitsPerChannel;
    rc = KNewImage(proc, &images[0], bits > 8 ? K_PIXEL_UINT2 : K_PIXEL_BYTE, w, h);
    if (rc != K_OK)
        return rc;
    for (y = 0; y < h; ++y) {
        for (x = 0; x < w; ++x) {
            int32_t v = slot->grabs * 16 + y * 4 + x;
            if (bits > 8)
                ((uint16_t*)images[0].data)[y * w + x] = (uint16_t)(v * 256 + 15);
            else
                ((uint8_t*)images[0].data)[y * w + x] = (uint8_t)v;
        }
    }
    if (bits > 8)
        images[0].significantBits = (uint8_t)bits;
    ++slot->grabs;
    *count = 1;
    return K_OK;
}

static KErr startAsyncGrab(KProcHandle proc, HostInstance* instance, double maxDelay) {
    (void)proc;
    (void)maxDelay;
    return slotOf(instance) != NULL ? K_OK : K_ERR_NO_INSTANCE;
}

static KErr grabImageAsync(KProcHandle proc, HostInstance* instance, double maxDelay,
                           HostImage* images, int32_t* count) {
    (void)maxDelay;
    if (slotOf(instance) == NULL)
        return K_ERR_NO_INSTANCE;
    instance->asyncGrab = 1;
    return grabImage(proc, instance, images, count);
}

/* A text in the operation's local memory, as the module does for texts it
   builds; null when the host refuses. */
static const char* localText(KProcHandle proc, const char* text) {
    void* block = NULL;
    size_t n = strlen(text) + 1;
    if (KXAllocLocal(proc, n, "FakeInterface", __LINE__, &block) != K_OK)
        return NULL;
    memcpy(block, text, n);
    return (const char*)block;
}

static KErr queryInfo(KProcHandle proc, int32_t query, const char** text, HostValue** values,
                      int32_t* count) {
    HostValue* list = NULL;
    KErr rc;
    if (text == NULL || values == NULL || count == NULL)
        return K_ERR_NULL_POINTER;
    *count = 0;
    if (query != 5) {
        *text = "Unsupported query!";
        return K_OK;
    }
    *text = "Info about installed fakes";
    rc = KXAlloc(proc, 2 * sizeof(HostValue), (void**)&list);
    if (rc != K_OK)
        return rc;
    list[0].value.s = localText(proc, "device:0 port:61696");
    list[0].type = HOST_VALUE_TEXT;
    list[1].value.i = 61696;
    list[1].type = HOST_VALUE_INT;
    if (list[0].value.s == NULL) {
        KXFree(proc, list);
        return K_ERR_OUT_OF_MEMORY;
    }
    *values = list;
    *count = 2;
    return K_OK;
}

static KErr setParameter(KProcHandle proc, HostInstance* instance, const char* name,
                         const HostValue* values, int32_t count) {
    FakeSlot* slot = slotOf(instance);
    (void)proc;
    if (slot == NULL)
        return K_ERR_NO_INSTANCE;
    if (strcmp(name, "grab_timeout") != 0)
        return K_ERR_UNKNOWN_PARAM;
    if (count != 1 || values[0].type != HOST_VALUE_INT)
        return K_ERR_BAD_PARAM_TYPE;
    slot->grabTimeout = values[0].value.i;
    return K_OK;
}

static KErr getParameter(KProcHandle proc, HostInstance* instance, const char* name,
                         HostValue* values, int32_t* count) {
    FakeSlot* slot = slotOf(instance);
    if (slot == NULL)
        return K_ERR_NO_INSTANCE;
    *count = 1;
    if (strcmp(name, "grab_timeout") == 0) {
        values[0].value.i = slot->grabTimeout;
        values[0].type = HOST_VALUE_INT;
        return K_OK;
    }
    if (strcmp(name, "volatile_values") == 0) {
        values[0].value.s = localText(proc, "enable");
        values[0].type = HOST_VALUE_TEXT;
        values[1].value.s = localText(proc, "disable");
        values[1].type = HOST_VALUE_TEXT;
        *count = 2;
        return values[0].value.s != NULL && values[1].value.s != NULL ? K_OK : K_ERR_OUT_OF_MEMORY;
    }
    return K_ERR_UNKNOWN_PARAM;
}

__attribute__((visibility("default"))) KErr FGInit(KProcHandle proc, InterfaceClass* ic) {
    (void)proc;
    if (ic == NULL)
        return K_ERR_NULL_POINTER;
    memset(g_slots, 0, sizeof g_slots);
    g_openCount = 0;
    ic->maxInstances = FAKE_SLOTS;
    ic->reserveSlot = reserveSlot;
    ic->openInstance = openInstance;
    ic->closeInstance = closeInstance;
    ic->grabImage = grabImage;
    ic->startAsyncGrab = startAsyncGrab;
    ic->grabImageAsync = grabImageAsync;
    ic->queryInfo = queryInfo;
    ic->setParameter = setParameter;
    ic->getParameter = getParameter;
    ic->defaults.horizontalResolution = 1;
    ic->defaults.verticalResolution = 1;
    ic->defaults.bitsPerChannel = 8;
    strcpy(ic->defaults.colorSpace, "gray");
    ic->defaults.gain = 0.5f;
    ic->defaults.externalTrigger = 1;
    strcpy(ic->defaults.cameraType, "default");
    strcpy(ic->defaults.device, "0");
    ic->defaults.port = 61696;
    g_record = ic;
    return K_OK;
}

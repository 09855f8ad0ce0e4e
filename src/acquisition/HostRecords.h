// The records the host and the module exchange: the interface-class record,
// the per-instance record, the 16-byte value cell and the image object.
//
// Offsets are those of the host's 32-bit layout (ILP32, little-endian, 4-byte
// pointers) and are proven below when compiled for such a target. On a 64-bit
// build the same declarations take natural pointer sizes; HostValue stays 16
// bytes on both.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "contracts/HostTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

struct HostInstance;
struct HostImage;
struct HostValue;

// Value cell type codes: the module produces and accepts only these two.
enum { HOST_VALUE_INT = 1, HOST_VALUE_TEXT = 4 };

// 16-byte value cell; arrays of them have a stride of 16 bytes.
typedef struct HostValue {
    union {
        int32_t i;     // type HOST_VALUE_INT
        const char* s; // type HOST_VALUE_TEXT: zero-terminated text
        int64_t raw;   // the whole 8-byte value slot
    } value;
    uint8_t type; // HOST_VALUE_INT or HOST_VALUE_TEXT
    uint8_t reserved[7];
} HostValue;

// Pixel kinds the module asks the host for.
enum { HOST_PIXEL_BYTE = 1, HOST_PIXEL_UINT2 = 1024 };

// The host's 40-byte image object. The module reads only `data` (after the
// host created the image) and writes only `significantBits`.
typedef struct HostImage {
    int32_t kind;            // HOST_PIXEL_BYTE or HOST_PIXEL_UINT2; 0 while empty
    void* data;              // pixel memory, row after row
    uint8_t significantBits; // bits per pixel that carry data
    uint8_t ownsData;        // 1: the host allocated `data` and frees it
    uint8_t reserved0[2];
    int32_t width;
    int32_t height;
    int32_t bytesPerPixel;
    int32_t reserved1[4];
} HostImage;

// The generic open parameters. The host instance holds them from offset 0x04;
// the interface class holds their defaults at the same relative positions
// from offset 0x550.
typedef struct HostOpenParameters {
    int32_t horizontalResolution; // not read by the module
    int32_t verticalResolution;   // not read by the module
    int32_t imageWidth;           // requested at open, actual value written back
    int32_t imageHeight;
    int32_t startRow;
    int32_t startColumn;
    int32_t field; // host parameter, not read by the module
    int32_t bitsPerChannel;
    char colorSpace[1024];   // "gray" or "bayer"
    float gain;              // host parameter, not read by the module
    uint8_t externalTrigger; // 0 or 1
    char cameraType[1024];   // host parameter, not read by the module
    char device[1024];       // device name, "0" for the first camera
    uint8_t reserved[3];
    int32_t port;   // not read: the module always uses 61696
    int32_t lineIn; // host parameter, not read by the module
} HostOpenParameters;

// The host's per-instance record.
typedef struct HostInstance {
    int32_t hostField0;
    HostOpenParameters params; // 0x004
    int32_t reserved0[3];
    int32_t fullWidth;  // 0xC40: maximum of the camera's Width
    int32_t fullHeight; // 0xC44: maximum of the camera's Height
    int32_t channels;   // 0xC48: always 1
    uint8_t asyncGrab;  // 0xC4C: an asynchronous grab is pending
    uint8_t reserved1[7];
    void* slot;           // 0xC54: the module's InstanceSlot
    uint8_t volatileFlag; // 0xC58: written by the "volatile" parameter
    uint8_t reserved2[3];
    int32_t volatileMode; // 0xC5C: written by the "volatile" parameter
} HostInstance;

typedef struct InterfaceClass InterfaceClass;

typedef HostInstance** (*KReserveSlotOp)(KProcHandle, HostInstance*);
typedef KErr (*KInstanceOp)(KProcHandle, HostInstance*);
typedef KErr (*KGrabOp)(KProcHandle, HostInstance*, HostImage*, int32_t*);
typedef KErr (*KStartAsyncOp)(KProcHandle, HostInstance*, double);
typedef KErr (*KGrabAsyncOp)(KProcHandle, HostInstance*, double, HostImage*, int32_t*);
typedef KErr (*KQueryInfoOp)(KProcHandle, int32_t, const char**, HostValue**, int32_t*);
typedef KErr (*KSetParamOp)(KProcHandle, HostInstance*, const char*, const HostValue*, int32_t);
typedef KErr (*KGetParamOp)(KProcHandle, HostInstance*, const char*, HostValue*, int32_t*);
typedef KErr (*KNoOp)(KProcHandle, HostInstance*);
typedef KErr (*KCountOp)(KProcHandle, HostInstance*, const void*, const void*, const void*,
                         int32_t*);
typedef KErr (*KUnusedOp)(void);

enum { HOST_MAX_INSTANCES = 64 };

// The host's interface-class record. The module writes only the fields from
// 0x404 on that FGInit documents; the rest belongs to the host.
struct InterfaceClass {
    uint8_t hostOwn[0x404];
    int32_t hostField404; // FGInit: 4
    uint8_t hostField408; // FGInit: 1
    uint8_t reserved0[3];
    int32_t hostField40C;                        // FGInit: 0
    int32_t maxInstances;                        // FGInit: 64
    HostInstance* instances[HOST_MAX_INSTANCES]; // filled by the host
    KReserveSlotOp reserveSlot;                  // 0x514
    KInstanceOp openInstance;
    KInstanceOp closeInstance;
    KGrabOp grabImage;
    KStartAsyncOp startAsyncGrab;
    KGrabAsyncOp grabImageAsync;
    KUnusedOp hostOp52C; // not provided by the module
    KUnusedOp hostOp530;
    KQueryInfoOp queryInfo; // 0x534
    KSetParamOp setParameter;
    KGetParamOp getParameter;
    KNoOp acceptNoOp;          // 0x540
    KCountOp reportEmptyCount; // 0x544
    KUnusedOp hostOp548;       // not provided by the module
    KUnusedOp hostOp54C;
    HostOpenParameters defaults; // 0x550
};

#ifdef __cplusplus
}
#endif

#if UINTPTR_MAX == 0xFFFFFFFFu
// The host's 32-bit layout, to the byte.
#define KACQ_CHECK_OFFSET(T, f, off) static_assert(offsetof(T, f) == (off), #T "." #f)
KACQ_CHECK_OFFSET(HostValue, type, 0x8);
static_assert(sizeof(HostValue) == 16, "HostValue is 16 bytes");
KACQ_CHECK_OFFSET(HostImage, data, 0x4);
KACQ_CHECK_OFFSET(HostImage, significantBits, 0x8);
static_assert(sizeof(HostImage) == 40, "HostImage is 40 bytes");
KACQ_CHECK_OFFSET(HostInstance, params.horizontalResolution, 0x04);
KACQ_CHECK_OFFSET(HostInstance, params.verticalResolution, 0x08);
KACQ_CHECK_OFFSET(HostInstance, params.imageWidth, 0x0C);
KACQ_CHECK_OFFSET(HostInstance, params.imageHeight, 0x10);
KACQ_CHECK_OFFSET(HostInstance, params.startRow, 0x14);
KACQ_CHECK_OFFSET(HostInstance, params.startColumn, 0x18);
KACQ_CHECK_OFFSET(HostInstance, params.bitsPerChannel, 0x20);
KACQ_CHECK_OFFSET(HostInstance, params.colorSpace, 0x24);
KACQ_CHECK_OFFSET(HostInstance, params.externalTrigger, 0x428);
KACQ_CHECK_OFFSET(HostInstance, params.device, 0x829);
KACQ_CHECK_OFFSET(HostInstance, params.port, 0xC2C);
KACQ_CHECK_OFFSET(HostInstance, fullWidth, 0xC40);
KACQ_CHECK_OFFSET(HostInstance, fullHeight, 0xC44);
KACQ_CHECK_OFFSET(HostInstance, channels, 0xC48);
KACQ_CHECK_OFFSET(HostInstance, asyncGrab, 0xC4C);
KACQ_CHECK_OFFSET(HostInstance, slot, 0xC54);
KACQ_CHECK_OFFSET(HostInstance, volatileFlag, 0xC58);
KACQ_CHECK_OFFSET(HostInstance, volatileMode, 0xC5C);
KACQ_CHECK_OFFSET(InterfaceClass, hostField404, 0x404);
KACQ_CHECK_OFFSET(InterfaceClass, hostField408, 0x408);
KACQ_CHECK_OFFSET(InterfaceClass, hostField40C, 0x40C);
KACQ_CHECK_OFFSET(InterfaceClass, maxInstances, 0x410);
KACQ_CHECK_OFFSET(InterfaceClass, instances, 0x414);
KACQ_CHECK_OFFSET(InterfaceClass, reserveSlot, 0x514);
KACQ_CHECK_OFFSET(InterfaceClass, openInstance, 0x518);
KACQ_CHECK_OFFSET(InterfaceClass, closeInstance, 0x51C);
KACQ_CHECK_OFFSET(InterfaceClass, grabImage, 0x520);
KACQ_CHECK_OFFSET(InterfaceClass, startAsyncGrab, 0x524);
KACQ_CHECK_OFFSET(InterfaceClass, grabImageAsync, 0x528);
KACQ_CHECK_OFFSET(InterfaceClass, hostOp52C, 0x52C);
KACQ_CHECK_OFFSET(InterfaceClass, hostOp530, 0x530);
KACQ_CHECK_OFFSET(InterfaceClass, queryInfo, 0x534);
KACQ_CHECK_OFFSET(InterfaceClass, setParameter, 0x538);
KACQ_CHECK_OFFSET(InterfaceClass, getParameter, 0x53C);
KACQ_CHECK_OFFSET(InterfaceClass, acceptNoOp, 0x540);
KACQ_CHECK_OFFSET(InterfaceClass, reportEmptyCount, 0x544);
KACQ_CHECK_OFFSET(InterfaceClass, hostOp548, 0x548);
KACQ_CHECK_OFFSET(InterfaceClass, hostOp54C, 0x54C);
KACQ_CHECK_OFFSET(InterfaceClass, defaults.horizontalResolution, 0x550);
KACQ_CHECK_OFFSET(InterfaceClass, defaults.verticalResolution, 0x554);
KACQ_CHECK_OFFSET(InterfaceClass, defaults.imageWidth, 0x558);
KACQ_CHECK_OFFSET(InterfaceClass, defaults.imageHeight, 0x55C);
KACQ_CHECK_OFFSET(InterfaceClass, defaults.startRow, 0x560);
KACQ_CHECK_OFFSET(InterfaceClass, defaults.startColumn, 0x564);
KACQ_CHECK_OFFSET(InterfaceClass, defaults.field, 0x568);
KACQ_CHECK_OFFSET(InterfaceClass, defaults.bitsPerChannel, 0x56C);
KACQ_CHECK_OFFSET(InterfaceClass, defaults.colorSpace, 0x570);
KACQ_CHECK_OFFSET(InterfaceClass, defaults.gain, 0x970);
KACQ_CHECK_OFFSET(InterfaceClass, defaults.externalTrigger, 0x974);
KACQ_CHECK_OFFSET(InterfaceClass, defaults.cameraType, 0x975);
KACQ_CHECK_OFFSET(InterfaceClass, defaults.device, 0xD75);
KACQ_CHECK_OFFSET(InterfaceClass, defaults.port, 0x1178);
KACQ_CHECK_OFFSET(InterfaceClass, defaults.lineIn, 0x117C);
#undef KACQ_CHECK_OFFSET
#endif

#ifdef __cplusplus
static_assert(sizeof(HostValue) == 16, "HostValue is 16 bytes on every target");
#endif

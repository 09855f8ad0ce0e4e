// The host library's functions and variables, as the module calls them.
// Every function but IOPrintErrorMessage takes the procedure handle first and
// returns 1 (K_OK) or a host error code, which the caller passes on unchanged.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "contracts/HostTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

struct InterfaceClass;
struct HostImage;
struct HostValue;

#ifndef KORLAN_API
#define KORLAN_API __attribute__((visibility("default")))
#endif

enum {
    K_OK = 1,

    // Codes the module itself returns.
    K_ERR_NO_DEVICE = 5104,        // open found no device at all
    K_ERR_BAD_BITS = 5301,         // bits per channel is not 8, 10 or 12
    K_ERR_DEVICE_NOT_FOUND = 5302, // no device has the requested name
    K_ERR_GRAB_FAILED = 5306,      // the wait for an image ended with result 2 or 3
    K_ERR_BAD_COLOR_SPACE = 5315,  // color space is neither "gray" nor "bayer"
    K_ERR_DEVICE_BUSY = 5319,      // device open in another instance, or did not open
    K_ERR_UNKNOWN_PARAM = 5321,    // the parameter name is not one the module handles
    K_ERR_BAD_PARAM_TYPE = 5325,   // wrong value type or count
    K_ERR_BAD_PARAM_VALUE = 5326,  // a value that the parameter does not accept
    K_ERR_GRAB_OTHER = 5327,       // the wait for an image returned any other result

    // Codes of the host library itself.
    K_ERR_NOT_IMPLEMENTED = 5330, // the interface does not offer this operation
    K_ERR_NULL_POINTER = 6001,    // a required pointer argument is null
    K_ERR_BAD_SIZE = 6002,        // a size or count is out of range
    K_ERR_OUT_OF_MEMORY = 6003,   // the allocation could not be satisfied
    K_ERR_UNKNOWN_POINTER = 6004, // free of a block the host did not hand out (or twice)
    K_ERR_BAD_PIXEL_KIND = 6005,  // pixel kind other than 1 or 1024
    K_ERR_BAD_GLOBAL = 6006,      // unknown host global variable or access mode
    K_ERR_NO_INTERFACE = 6007,    // the interface module cannot be loaded
    K_ERR_NO_INSTANCE = 6008,     // no free instance slot, or the instance is not open
    K_ERR_FILE = 6009             // an image file cannot be written or read
};

// Pixel kinds of KNewImage / KNewImagePtr.
enum { K_PIXEL_BYTE = 1, K_PIXEL_UINT2 = 1024 };

// Host global variable read and written around grabbing.
enum { K_GLOBAL_64 = 64 };
enum { K_GLOBAL_WRITE = 0, K_GLOBAL_READ = 1 };

// Memory-check kind the module passes to KXAllocMemCheck.
enum { K_MEMCHECK_KIND = -112 };

KORLAN_API KErr KXAlloc(KProcHandle proc, size_t size, void** out);
KORLAN_API KErr KXAllocMemCheck(KProcHandle proc, size_t size, const char* source, int32_t line,
                                int32_t kind, void** out);
KORLAN_API KErr KXFree(KProcHandle proc, void* block);
KORLAN_API KErr KXFreeMemCheck(KProcHandle proc, void* block, const char* source, int32_t line);
// Temporary memory for texts returned to the host: the host frees it after
// the operation returns.
KORLAN_API KErr KXAllocLocal(KProcHandle proc, size_t size, const char* source, int32_t line,
                             void** out);

KORLAN_API KErr KNewImage(KProcHandle proc, struct HostImage* image, int32_t kind, int32_t width,
                          int32_t height);
// Creates the image over `data` without taking ownership of it.
KORLAN_API KErr KNewImagePtr(KProcHandle proc, struct HostImage* image, int32_t kind, int32_t width,
                             int32_t height, void* data, int32_t copy);

// Reads (access K_GLOBAL_READ: *out = value) or writes (K_GLOBAL_WRITE:
// value) a host global variable. The last three arguments are 0.
KORLAN_API KErr KAccessGlVar(KProcHandle proc, int32_t variable, int32_t access, int32_t* out,
                             double value, int32_t reserved1, int32_t reserved2, int32_t reserved3);

// The default-value list of the generic open parameters, built from the
// record's default block. The list is host memory: free it with KXFree.
KORLAN_API KErr KFgGetDefaults(KProcHandle proc, const struct InterfaceClass* ic,
                               struct HostValue** values, int32_t* count);

KORLAN_API KErr IOPrintErrorMessage(const char* text);

// While non-zero, the module prints the texts of the exceptions it catches.
KORLAN_API extern int32_t KDoLowError;
// While non-zero, the checked allocator variants must be used.
KORLAN_API extern uint8_t KTraceMemory;

#ifdef __cplusplus
}
#endif

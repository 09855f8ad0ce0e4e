// The host library's application side: memory-check reports, local memory,
// image objects and image files, error texts, and loading and driving
// acquisition interface modules. Every function returns 1 (K_OK) or a host
// error code; a null pointer or a bad size is an error code, never a crash.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "acquisition/HostRecords.h"
#include "contracts/Korlan.h"

#ifdef __cplusplus
extern "C" {
#endif

// ---------------------------------------------------------------------------
// Memory
//
// Every block KXAlloc, KXAllocMemCheck or KXAllocLocal hands out is recorded,
// so freeing a block the host did not hand out (or freeing it twice) returns
// K_ERR_UNKNOWN_POINTER and is recorded as a fault instead of corrupting the
// heap. A block may be freed with KXFree or KXFreeMemCheck whichever variant
// allocated it. Blocks are at most K_MAX_BLOCK_SIZE bytes and come zeroed.

enum { K_MAX_BLOCK_SIZE = 0x7FFFFFFF };
enum { K_SOURCE_NAME_MAX = 128 };

// How a block was allocated.
enum { K_BLOCK_PLAIN = 0, K_BLOCK_CHECKED = 1, K_BLOCK_LOCAL = 2 };

typedef struct KMemBlockInfo {
    const void* block;
    size_t size;
    int32_t kind;                   // K_BLOCK_*
    int32_t line;                   // 0 for plain blocks
    char source[K_SOURCE_NAME_MAX]; // "" for plain blocks; cut to fit
} KMemBlockInfo;

typedef struct KMemFaultInfo {
    const void* block;              // the pointer that was passed to the free
    int32_t doubleFree;             // 1: the block had been freed before
    int32_t line;                   // 0 when freed with KXFree
    char source[K_SOURCE_NAME_MAX]; // "" when freed with KXFree
} KMemFaultInfo;

// Host blocks still allocated (leaks, once the application is done), and one
// of them by index in allocation order.
KORLAN_API KErr KMemCheckBlockCount(int32_t* count);
KORLAN_API KErr KMemCheckGetBlock(int32_t index, KMemBlockInfo* info);
// Frees of unknown pointers and double frees recorded so far (the first
// K_MAX_MEM_FAULTS are kept), and one of them by index in order.
enum { K_MAX_MEM_FAULTS = 1024 };
KORLAN_API KErr KMemCheckFaultCount(int32_t* count);
KORLAN_API KErr KMemCheckGetFault(int32_t index, KMemFaultInfo* info);
KORLAN_API KErr KMemCheckClearFaults(void);
// Writes one line per checked or local block still allocated ("leak: <size>
// bytes from <source>:<line>"), per plain block ("leak: <size> bytes
// (unchecked)") and per fault ("double free: <address> at <source>:<line>" or
// "free of unknown block: ..."). The text is always terminated; a report that
// does not fit is cut and K_ERR_BAD_SIZE returned.
KORLAN_API KErr KMemCheckReport(char* text, size_t capacity);

// Frees every KXAllocLocal block allocated under `proc`. The application
// side calls it after each module operation returns.
KORLAN_API KErr KFreeLocalMemory(KProcHandle proc);

// ---------------------------------------------------------------------------
// Images
//
// KNewImage gives the image its own pixel memory (ownsData 1); KNewImagePtr
// wraps the caller's memory (ownsData 0) and never frees it. Creating an
// image over one that owns pixel memory from KNewImage releases that memory
// first, so an image object can be reused grab after grab; do not copy image
// objects that own their pixels. Images hold at most K_MAX_BLOCK_SIZE bytes.
//
// Host global 64 says whether KNewImage clears new pixel memory (non-zero,
// the default 1) or leaves it as allocated (0, for callers that fill it).

// Releases the pixel memory the image owns and empties the image.
KORLAN_API KErr KClearImage(struct HostImage* image);

// Image files are written whole or not at all: the new file is written next
// to the target and renamed over it when complete (symbolic links are
// followed, the link stays; an existing file's permissions are kept), so a
// failed write (K_ERR_FILE) leaves what was at the path as it was. A target
// that exists and is not a regular file (a device, a pipe) is written
// directly and never removed; a pipe without a reader is refused.
//
// Writes a binary PGM: 8-bit images with maxval 255; 16-bit images with their
// samples big-endian and maxval 2^bits - 1 when the significant bits are 9 to
// 16 and every sample fits, else 65535.
KORLAN_API KErr KWritePgm(const struct HostImage* image, const char* path);
// Writes an 8- or 16-bit gray PNG; 16-bit samples are stored unscaled.
KORLAN_API KErr KWritePng(const struct HostImage* image, const char* path);

// ---------------------------------------------------------------------------
// Error texts

// Copies the text last printed with IOPrintErrorMessage ("" if none); cut to
// fit `capacity` and always terminated.
KORLAN_API KErr KGetLastErrorMessage(char* text, size_t capacity);
KORLAN_API KErr KClearLastErrorMessage(void);
// A short description of a host code (never null).
KORLAN_API const char* KErrorText(KErr code);

// ---------------------------------------------------------------------------
// Default open parameters
//
// KFgGetDefaults lists the record's default block in record order:
//   0 horizontal_resolution, 1 vertical_resolution, 2 image_width,
//   3 image_height, 4 start_row, 5 start_column, 6 field, 7 bits_per_channel
//   (integers); 8 color_space (text); 9 gain, a float in the record, listed as
//   text ("%g", e.g. "1") since value cells carry only integers and texts;
//   10 external_trigger (text "false" or "true"); 11 camera_type, 12 device
//   (texts); 13 port, 14 line_in (integers).
// The list and its texts are one host block: free the array with KXFree.

enum { K_DEFAULT_COUNT = 15 };
// The name of default number `index`, or null outside 0 .. K_DEFAULT_COUNT-1.
KORLAN_API const char* KFgDefaultName(int32_t index);

// ---------------------------------------------------------------------------
// Acquisition interfaces
//
// KOpenInterface("eXcite", ...) loads libkAcqeXcite.so from the module
// directory (the KORLAN_MODULE_DIR environment variable if set and not empty,
// else the build's library folder), calls its FGInit on a host-owned
// interface-class record and returns a handle. Opening a loaded interface
// again returns the same handle with one more reference. The operations of
// one interface are serialised: the module must not run two at once. Local
// memory is freed after each module operation returns; texts and lists a
// module operation returns are copied into one host block before that.

typedef struct KInterface KInterface;
typedef struct KAcqInstance KAcqInstance;

enum { K_MAX_INTERFACE_NAME = 64 };
// Most values a parameter read or a query may return.
enum { K_MAX_PARAM_VALUES = 16, K_MAX_QUERY_VALUES = 4096 };

// `name`: 1 to K_MAX_INTERFACE_NAME letters, digits or '_'.
KORLAN_API KErr KOpenInterface(const char* name, KInterface** iface);
// Drops one reference; the last one closes every instance still open
// (forgetting them even if the module's close fails; the first failure is
// returned) and releases the handle. The module stays mapped, so pointers it
// handed out stay valid; opening it again runs its FGInit again.
KORLAN_API KErr KCloseInterface(KInterface* iface);
// The interface-class record as the module's FGInit filled it; valid until
// the interface's last close.
KORLAN_API KErr KGetInterfaceRecord(const KInterface* iface, const InterfaceClass** record);
KORLAN_API KErr KGetMaxInstances(const KInterface* iface, int32_t* count);
// A copy of the record's default block: the parameters KOpenInstance uses
// when given none. Change fields of the copy to open with other values.
KORLAN_API KErr KGetDefaultOpenParameters(const KInterface* iface, HostOpenParameters* params);
// KFgGetDefaults for the interface's record.
KORLAN_API KErr KGetInterfaceDefaults(const KInterface* iface, HostValue** values, int32_t* count);

// Reserves a slot, stores the new instance in the returned cell and opens
// it with `params` (null: the defaults). No free slot gives
// K_ERR_NO_INSTANCE; a failed open leaves nothing behind.
KORLAN_API KErr KOpenInstance(KInterface* iface, const HostOpenParameters* params,
                              KAcqInstance** instance);
// On success the handle is gone; on failure the instance stays open.
KORLAN_API KErr KCloseInstance(KAcqInstance* instance);
// The host instance record (image part and other fields the module wrote);
// valid while the instance is open.
KORLAN_API KErr KGetInstanceRecord(const KAcqInstance* instance, const HostInstance** record);

KORLAN_API KErr KGrabImage(KAcqInstance* instance, struct HostImage* image);
KORLAN_API KErr KStartAsyncGrab(KAcqInstance* instance, double maxDelayMs);
KORLAN_API KErr KGrabImageAsync(KAcqInstance* instance, double maxDelayMs, struct HostImage* image);
// `count` 0 to K_MAX_PARAM_VALUES values.
KORLAN_API KErr KSetParameter(KAcqInstance* instance, const char* name,
                              const struct HostValue* values, int32_t count);
// On success *values is a host block with *count values (null when 0): free
// it with KXFree.
KORLAN_API KErr KGetParameter(KAcqInstance* instance, const char* name, struct HostValue** values,
                              int32_t* count);
// The query's text is copied into `text` (cut to fit); the values as for
// KGetParameter.
KORLAN_API KErr KQueryInfo(KInterface* iface, int32_t query, char* text, size_t capacity,
                           struct HostValue** values, int32_t* count);

#ifdef __cplusplus
}
#endif

// The transport library's functions, as the transport delegate calls them.
// All but GxExit return a 32-bit status, 0 meaning success. Device and
// grabber handles are 32-bit values.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef GTRANS_API
#define GTRANS_API __attribute__((visibility("default")))
#endif

typedef uint32_t GxStatus;
typedef uint32_t GxHandle;

enum : uint32_t {
    GX_OK = 0,
    GX_STATUS_FLUSHED = 0xC1010005u,         // wait: the grabber has been flushed and is empty
    GX_STATUS_TIMEOUT = 0xC1010001u,         // wait: no buffer arrived in time
    GX_STATUS_INCOMPLETE = 0x41010012u,      // wait: a buffer came back incomplete
    GX_STATUS_BUFFER_TOO_SMALL = 0x8101000Bu // GxGetStatusMessage: needed size stored
};

// Called once per enumerated device, in order; returns 0.
typedef int32_t (*GxEnumCallback)(const char* first, const char* second, void* context);

// Opaque stream address record, up to 16 bytes.
typedef struct GxStreamAddress {
    uint8_t bytes[16];
} GxStreamAddress;

GTRANS_API GxStatus GxInit(void);
GTRANS_API void GxExit(void);
GTRANS_API GxStatus GxEnumServer(const char* port, uint32_t timeoutMs, GxEnumCallback callback,
                                 void* context);
GTRANS_API GxStatus GxOpen(const char* deviceName, uint32_t mode, GxHandle* device);
GTRANS_API GxStatus GxClose(GxHandle device);
// `count` quadlets (1..32) at 32-bit addresses; values in host byte order.
GTRANS_API GxStatus GxReadReg(GxHandle device, const uint32_t* addresses, uint32_t* values,
                              uint32_t count);
GTRANS_API GxStatus GxWriteReg(GxHandle device, const uint32_t* addresses, const uint32_t* values,
                               uint32_t count);
GTRANS_API GxStatus GxStreamGrabberCreate(GxHandle* grabber);
GTRANS_API GxStatus GxStreamGrabberAllocResourcesEx(GxHandle grabber, uint32_t maxBuffers,
                                                    uint32_t* bufferSize, uint32_t packetMode,
                                                    uint32_t packetSize, uint32_t sixteenBit);
GTRANS_API GxStatus GxStreamGrabberGetAddress(GxHandle grabber, GxStreamAddress* address);
GTRANS_API GxStatus GxOpenStream(GxHandle device, uint32_t channel, const GxStreamAddress* address,
                                 uint32_t packetSize);
GTRANS_API GxStatus GxStreamGrabberReceiveAsync(GxHandle grabber, void* buffer, uint32_t size,
                                                void* context, uint32_t flags);
GTRANS_API GxStatus GxStreamGrabberWaitForBuffer(GxHandle grabber, uint32_t timeoutMs,
                                                 void** context);
GTRANS_API GxStatus GxStreamGrabberFlush(GxHandle grabber);
GTRANS_API GxStatus GxStreamGrabberDestroy(GxHandle grabber);
GTRANS_API GxStatus GxCloseStream(GxHandle device, uint32_t channel);
// Writes the text of `status` into `text` (size bytes); `needed` receives the
// size the text needs. GX_STATUS_BUFFER_TOO_SMALL when it does not fit.
GTRANS_API GxStatus GxGetStatusMessage(GxStatus status, char* text, uint32_t size,
                                       uint32_t* needed);

#ifdef __cplusplus
}
#endif

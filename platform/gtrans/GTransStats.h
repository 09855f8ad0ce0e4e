// Statistics of one stream grabber of the transport library, for tools and
// benchmarks. Not part of what the module calls.
#pragma once

#include "contracts/GTrans.h"

#ifdef __cplusplus
extern "C" {
#endif

// Counters since the grabber was created. Packets are GVSP datagrams that
// reached the grabber's socket.
typedef struct GxGrabberStatistics {
    uint64_t framesCompleted;  // buffers delivered complete (status 0)
    uint64_t framesIncomplete; // buffers delivered incomplete or cancelled
    uint64_t packetsReceived;  // every datagram read from the socket
    uint64_t packetsResent;    // missing packets that arrived after a resend request
    uint64_t packetsRequested; // packets asked for again with PACKETRESEND
    uint64_t resendCommands;   // PACKETRESEND commands sent
    uint64_t packetsDropped;   // foreign, malformed, stale, duplicate or out-of-buffer packets
    uint64_t bytesCompleted;   // image bytes of the complete frames
} GxGrabberStatistics;

// Copies the grabber's counters; GX_OK, or the status of an unknown handle or
// a null pointer.
GTRANS_API GxStatus GxStreamGrabberGetStatistics(GxHandle grabber, GxGrabberStatistics* stats);

#ifdef __cplusplus
}
#endif

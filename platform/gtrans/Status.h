// The transport library's own status codes and their texts.
//
// A failing status names what failed; the details (camera, register address)
// of the most recent failure with a given status value are kept in a small
// library-wide table keyed by that value, so GxGetStatusMessage, asked for
// the status right after the failing call (on any thread), adds them to the
// text. A later failure with the same value replaces the details.
#pragma once

#include <stdint.h>

#include <string>

namespace gtrans {

enum : uint32_t {
    kNotInitialised = 0xC1020001u,  // GxInit was not called
    kInvalidArgument = 0xC1020002u, // null pointer, count or size out of range, bad text
    kInvalidHandle = 0xC1020003u,   // no live device or grabber with that handle
    kTimeout = 0xC1020004u,         // the camera did not answer a command
    kUnreachable = 0xC1020005u,     // nothing listens at the camera's address and port
    kSocketError = 0xC1020006u,     // the operating system refused a socket operation
    kBadDeviceName = 0xC1020007u,   // the device name is no loopback IPv4 address
    kWrongDevice = 0xC1020008u,     // the camera at that address has another serial number
    kBadState = 0xC1020009u,        // grabber without resources, or not bound to a camera
    kQueueFull = 0xC102000Au,       // more buffers queued than allocated
    kBadAnswer = 0xC102000Bu,       // the camera's acknowledge is inconsistent with the command
    // A camera's failing acknowledge: the low 16 bits hold its GVCP status,
    // e.g. 0xC1038006 for ACCESS_DENIED.
    kAckStatusBase = 0xC1030000u,
};

inline uint32_t AckStatus(uint16_t gvcpStatus) {
    return kAckStatusBase | gvcpStatus;
}

// Remembers the details of a failure and answers the status.
uint32_t Fail(uint32_t status, const std::string& detail);
// The full text of a status (base text, then ": " and the details if any).
std::string StatusText(uint32_t status);

} // namespace gtrans

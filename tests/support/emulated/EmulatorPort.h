// Node-framework port over the emulated camera's register space, and a
// stand-in for the grabber side, so the feature tree can run on the emulator.
#pragma once

#include <atomic>
#include <cstdint>

#include "camera/PortNodeImpl.h"
#include "camera/TliPortBase.h"
#include "emulator/Model.h"
#include "emulator/RegisterSpace.h"
#include "nodeapi/Interfaces.h"

namespace Emulator {

// A camera port: register bytes at 64-bit addresses, big-endian quadlets as
// the register space keeps them. The register space is not owned. Like a
// transport device it starts closed: the feature tree is built over a closed
// port (every camera feature is then "NP" and nothing is read), and opened
// afterwards. Accesses while closed and failed accesses raise
// NodeApi::RuntimeException naming the address; nothing is transferred then.
// Counts every access.
class EmulatorPort : public XCameraPrivate::PortNodeImpl<EmulatorPort>, public NodeApi::IPort {
public:
    explicit EmulatorPort(RegisterSpace& space) : m_Space(space) {}

    void Read(void* destination, int64_t address, int64_t length) override;
    void Write(const void* source, int64_t address, int64_t length) override;

    // "RW" while open, "NP" when closed (like a device that is not open).
    bool IsDeviceOpen() const { return m_Open; }
    void SetOpen(bool open) { m_Open = open; }

    uint64_t ReadCount() const { return m_Reads; }
    uint64_t WriteCount() const { return m_Writes; }
    void ResetCounts() {
        m_Reads = 0;
        m_Writes = 0;
    }

    RegisterSpace& Space() const { return m_Space; }

private:
    RegisterSpace& m_Space;
    std::atomic<bool> m_Open{false};
    std::atomic<uint64_t> m_Reads{0};
    std::atomic<uint64_t> m_Writes{0};
};

// Stands in for the transport delegate on the grabber side until the real one
// exists: open and prepared for grabbing only when told so.
class GrabberStandIn {
public:
    bool IsOpen() const { return open; }
    bool IsPrepared() const { return prepared; }

    bool open = false;
    bool prepared = false;
};

using StandInGrabberPort = XCameraPrivate::TliPortBase<GrabberStandIn>;

// An emulated camera with both ports, closed, ready to hand to the feature
// tree; Open it once the tree is built.
struct EmulatedCamera {
    explicit EmulatedCamera(const ModelSpec& model)
        : space(model), cameraPort(space), grabberPort(&grabber) {}
    void Open() {
        cameraPort.SetOpen(true);
        grabber.open = true;
    }
    EmulatedCamera(const EmulatedCamera&) = delete;
    EmulatedCamera& operator=(const EmulatedCamera&) = delete;

    RegisterSpace space;
    EmulatorPort cameraPort;
    GrabberStandIn grabber;
    StandInGrabberPort grabberPort;
};

} // namespace Emulator

// The feature tree's two ports over an emulated camera: its register space and a grabber stand-in.
#pragma once

#include <atomic>
#include <cstdint>

#include "camera/PortNodeImpl.h"
#include "camera/TliPortBase.h"
#include "emulator/Model.h"
#include "emulator/RegisterSpace.h"
#include "nodeapi/Interfaces.h"

namespace Emulator {

// Big-endian quadlets; the space is not owned. Starts closed, as a transport device does; a closed
// or failed access raises RuntimeException naming the address and transfers nothing.
class EmulatorPort : public XCameraPrivate::PortNodeImpl<EmulatorPort>, public NodeApi::IPort {
public:
    explicit EmulatorPort(RegisterSpace& space) : m_Space(space) {}

    void Read(void* destination, int64_t address, int64_t length) override;
    void Write(const void* source, int64_t address, int64_t length) override;

    bool IsDeviceOpen() const { return m_Open; }
    void SetOpen(bool open) { m_Open = open; }

    uint64_t ReadCount() const { return m_Reads; }
    uint64_t WriteCount() const { return m_Writes; }
    void ResetCounts() { m_Reads = m_Writes = 0; }

    RegisterSpace& Space() const { return m_Space; }

private:
    RegisterSpace& m_Space;
    std::atomic<bool> m_Open{false};
    std::atomic<uint64_t> m_Reads{0};
    std::atomic<uint64_t> m_Writes{0};
};

struct GrabberStandIn {
    bool IsOpen() const { return open; }
    bool IsPrepared() const { return prepared; }
    bool open = false, prepared = false;
};

using StandInGrabberPort = XCameraPrivate::TliPortBase<GrabberStandIn>;

// Open it once the feature tree is built.
struct EmulatedCamera {
    explicit EmulatedCamera(const ModelSpec& model)
        : space(model), cameraPort(space), grabberPort(&grabber) {}
    void Open() {
        cameraPort.SetOpen(true);
        grabber.open = true;
    }

    RegisterSpace space;
    EmulatorPort cameraPort;
    GrabberStandIn grabber;
    StandInGrabberPort grabberPort;
};

} // namespace Emulator

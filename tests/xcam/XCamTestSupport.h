// The feature tree over an emulated camera, and the walk over the features reachable from Root.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "camera/PortNodeImpl.h"
#include "emulator/AddressMap.h"
#include "emulator/Model.h"
#include "nodeapi/Interfaces.h"
#include "support/emulated/EmulatorPort.h"
#include "xcam/FeatureTree.h"
#include "xcam/XCamInterface.h"

namespace XCamTest {

constexpr int64_t kCmd = Emulator::kCommandBase, kF7 = 0xFFFFF0F08000; // vga-mono's mode 0 CSRs

// The Rig's camera port: answers chosen quadlets (address to value) as a faulty camera would, and
// counts the reads that fetched each.
class TamperPort : public XCameraPrivate::PortNodeImpl<TamperPort>, public NodeApi::IPort {
public:
    TamperPort(Emulator::EmulatorPort& inner, std::map<int64_t, uint32_t> overrides)
        : m_Inner(inner), m_Overrides(std::move(overrides)) {}
    bool IsDeviceOpen() const { return m_Inner.IsDeviceOpen(); }

    void Read(void* destination, int64_t address, int64_t length) override {
        m_Inner.Read(destination, address, length);
        auto* bytes = static_cast<uint8_t*>(destination);
        for (const auto& [at, value] : m_Overrides) {
            hits[at] += at >= address && at + 4 <= address + length;
            for (int i = 0; at >= address && at + 4 <= address + length && i < 4; ++i)
                bytes[at - address + i] = uint8_t(value >> (24 - 8 * i)); // big-endian
        }
    }
    void Write(const void* source, int64_t address, int64_t length) override {
        m_Inner.Write(source, address, length);
    }
    std::map<int64_t, int> hits;

private:
    Emulator::EmulatorPort& m_Inner;
    std::map<int64_t, uint32_t> m_Overrides;
};

struct Rig {
    explicit Rig(const char* model, std::map<int64_t, uint32_t> overrides = {})
        : camera(*Emulator::FindModel(model)), tampered(camera.cameraPort, overrides),
          xcam(std::make_unique<XCamInterface::CXCamInterface>(&tampered, &camera.grabberPort)) {
        camera.Open();
    }

    XCamInterface::CXCamNodeMap& Map() { return xcam->GetNodeMap(); }
    NodeApi::INode* Node(const std::string& name) { return Map().GetNode(name); }
    template <class T>
    T& As(const std::string& name) {
        return Map().Member<T>(name);
    }
    uint64_t Reads() const { return camera.cameraPort.ReadCount(); }
    uint64_t Writes() const { return camera.cameraPort.WriteCount(); }
    void ResetCounts() { camera.cameraPort.ResetCounts(); }
    uint32_t F7(uint32_t offset) {
        const uint32_t mode = Quadlet(Emulator::kCommandBase + Emulator::Cmd::kCurVMode) >> 29;
        return Quadlet(camera.space.ModeBase(mode) + offset);
    }
    uint32_t Quadlet(uint64_t address) { return camera.space.ReadQuadlet(address); }

    Emulator::EmulatedCamera camera;
    TamperPort tampered;
    std::unique_ptr<XCamInterface::CXCamInterface> xcam;
};

// A category's "pFeature" rows in order (its presence link is a child but not a member).
inline std::vector<std::string> Members(const std::string& category) {
    std::size_t count = 0;
    const XCamInterface::FeaturePropertyRow* rows = XCamInterface::FeatureProperties(&count);
    std::vector<std::string> members;
    for (std::size_t i = 0; i < count; ++i) {
        if (category == rows[i].node && std::strcmp(rows[i].name, "pFeature") == 0)
            members.push_back(rows[i].value);
    }
    return members;
}

inline std::vector<NodeApi::INode*> Features(NodeApi::CNodeMap& map) {
    std::vector<NodeApi::INode*> features;
    for (const std::string& name : Members("Root")) {
        const std::vector<std::string> members = Members(name);
        for (const std::string& member : members.empty() ? std::vector{name} : members)
            features.push_back(map.GetNode(member));
    }
    return features;
}

} // namespace XCamTest

// Shared helpers of the feature tree tests: the tree over an emulated camera
// (optionally behind a port that replaces some register answers), and the
// walk over the features reachable from Root.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "camera/PortNodeImpl.h"
#include "emulator/AddressMap.h"
#include "emulator/Model.h"
#include "nodeapi/Category.h"
#include "nodeapi/Interfaces.h"
#include "support/emulated/EmulatorPort.h"
#include "xcam/FeatureTree.h"
#include "xcam/XCamInterface.h"

namespace XCamTest {

inline const Emulator::ModelSpec& Model(const char* key) {
    return *Emulator::FindModel(key);
}

// Forwards to the emulator's port but answers chosen quadlets with fixed
// values, as a camera with faulty registers would.
class TamperPort : public XCameraPrivate::PortNodeImpl<TamperPort>, public NodeApi::IPort {
public:
    explicit TamperPort(Emulator::EmulatorPort& inner) : m_Inner(inner) {}
    bool IsDeviceOpen() const { return m_Inner.IsDeviceOpen(); }
    void Override(uint64_t address, uint32_t value) { m_Overrides[address] = value; }

    void Read(void* destination, int64_t address, int64_t length) override {
        m_Inner.Read(destination, address, length);
        auto* bytes = static_cast<uint8_t*>(destination);
        for (const auto& o : m_Overrides) {
            const int64_t at = static_cast<int64_t>(o.first);
            if (at >= address && at + 4 <= address + length) {
                const uint8_t be[4] = {uint8_t(o.second >> 24), uint8_t(o.second >> 16),
                                       uint8_t(o.second >> 8), uint8_t(o.second)};
                std::memcpy(bytes + (at - address), be, 4);
            }
        }
    }
    void Write(const void* source, int64_t address, int64_t length) override {
        m_Inner.Write(source, address, length);
    }

private:
    Emulator::EmulatorPort& m_Inner;
    std::map<uint64_t, uint32_t> m_Overrides;
};

// An emulated camera with its feature tree, built over closed ports and then
// opened, as the camera object does.
struct Rig {
    explicit Rig(const Emulator::ModelSpec& model,
                 std::function<void(TamperPort&)> tamper = nullptr)
        : camera(model), tampered(camera.cameraPort) {
        if (tamper)
            tamper(tampered);
        NodeApi::IPort* port = tamper ? static_cast<NodeApi::IPort*>(&tampered)
                                      : static_cast<NodeApi::IPort*>(&camera.cameraPort);
        xcam = std::make_unique<XCamInterface::CXCamInterface>(port, &camera.grabberPort);
        camera.Open();
    }
    explicit Rig(const char* key) : Rig(Model(key)) {}

    XCamInterface::CXCamNodeMap& Map() { return xcam->GetNodeMap(); }
    NodeApi::INode* Node(const std::string& name) { return Map().GetNode(name); }
    template <class T>
    T& As(const std::string& name) {
        return Map().Member<T>(name);
    }
    uint64_t Reads() const { return camera.cameraPort.ReadCount(); }
    uint64_t Writes() const { return camera.cameraPort.WriteCount(); }
    void ResetCounts() { camera.cameraPort.ResetCounts(); }
    // Quadlet of the current Format 7 mode's CSR block.
    uint32_t F7(uint32_t offset) {
        return camera.space.ReadQuadlet(camera.space.ModeBase(CurrentMode()) + offset);
    }
    unsigned CurrentMode() {
        return camera.space.ReadQuadlet(Emulator::kCommandBase + Emulator::Cmd::kCurVMode) >> 29;
    }

    Emulator::EmulatedCamera camera;
    TamperPort tampered;
    std::unique_ptr<XCamInterface::CXCamInterface> xcam;
};

// The members of a category as the tree's rows list them ("pFeature", in
// order); a category's presence link is a child but not a member.
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

// The features reachable from Root, in tree order (categories excluded).
inline std::vector<NodeApi::INode*> Features(NodeApi::CNodeMap& map) {
    std::vector<NodeApi::INode*> features;
    for (const std::string& name : Members("Root")) {
        NodeApi::INode* node = map.GetNode(name);
        if (dynamic_cast<NodeApi::CCategory*>(node) == nullptr) {
            features.push_back(node);
            continue;
        }
        for (const std::string& member : Members(name))
            features.push_back(map.GetNode(member));
    }
    return features;
}

} // namespace XCamTest

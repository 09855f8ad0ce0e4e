// PortNodeImpl: the node identity of a register port (camera or grabber side).
#pragma once

#include <atomic>

#include "nodeapi/Node.h"

namespace XCameraPrivate {

// P is the port class deriving from this one; it provides
// `bool IsDeviceOpen()`. The port answers "RW" while its device is open and
// "NP" otherwise, and keeps a changed flag of its own (true after
// construction) that SetChanged stores without touching any other node.
template <class P>
class PortNodeImpl : public NodeApi::CNodeImpl {
public:
    PortNodeImpl() = default;

    NodeApi::EAccessMode GetAccessMode() override {
        return static_cast<P*>(this)->IsDeviceOpen() ? NodeApi::RW : NodeApi::NP;
    }
    bool IsChanged() const override { return m_PortChanged; }
    void SetChanged(bool changed) override { m_PortChanged = changed; }

private:
    std::atomic<bool> m_PortChanged{true};
};

} // namespace XCameraPrivate

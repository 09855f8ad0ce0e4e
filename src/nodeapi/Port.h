// CPort: the port node that register nodes read and write through.
#pragma once

#include <string>

#include "nodeapi/Node.h"

namespace NodeApi {

// Forwards register traffic to a port implementation attached from outside
// (not owned), which is also a CNodeImpl. Without one it reads zeros and
// ignores writes. The implementation takes the port node's map and name but is
// not entered into the map: lookups of the name find the port node.
class CPort : public IPortConstruct, public CNodeImpl {
public:
    static constexpr const char* kClassName = "CPort";

    CPort() = default;

    // IPort, under the map lock.
    void Read(void* destination, int64_t address, int64_t length) override;
    void Write(const void* source, int64_t address, int64_t length) override;

    // IPortConstruct; allowed until FinalConstruct.
    void SetPortImpl(IPort* portImpl) override;

    // INode: answered by the implementation when one is attached.
    EAccessMode GetAccessMode() override;
    bool IsChanged() const override;
    void SetChanged(bool changed) override;

    // INodeConstruct
    void SetNodeMap(CNodeMap* nodeMap, const std::string& name) override;
    bool CollectDependants(NodeList_t& path) override;

    // INodeDebug
    std::string GetInfo() override { return "Port"; }

private:
    // The attached implementation as a node; LogicalErrorException
    // "Unexpected type in dynamic cast" when it is not a CNodeImpl.
    CNodeImpl* ImplNode() const;

    IPort* m_pPortImpl = nullptr;
};

} // namespace NodeApi

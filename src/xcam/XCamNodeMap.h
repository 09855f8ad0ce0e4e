// CXCamNodeMap: the node map of one eXcite camera, holding the whole feature
// tree built from the rows of FeatureTree.h.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "nodeapi/Interfaces.h"
#include "nodeapi/NodeMap.h"

namespace XCamInterface {

// Owns all 466 nodes of the tree; they are created by the constructor and
// destroyed with the map. The two port implementations are not owned and must
// outlive the map; each must also be a NodeApi::CNodeImpl (the port nodes take
// their node identity from it).
class CXCamNodeMap : public NodeApi::CNodeMap {
public:
    // Builds the tree: constructs every node, attaches cameraPort to
    // "CameraPort" and grabberPort to "GrabberPort", names and enters every
    // node in list order, sets every property in table order, finally
    // constructs every node but "CameraPort", then collects the dependants
    // from "Root". A missing port raises InvalidArgumentException. The camera
    // port must answer "NP" (device not open yet) while the tree is built, as
    // a transport device does before it is opened: final construction then
    // reads nothing from the camera. Any failure is the framework exception
    // of the step that failed; nothing is left half-built.
    CXCamNodeMap(NodeApi::IPort* cameraPort, NodeApi::IPort* grabberPort);
    ~CXCamNodeMap() override;

    CXCamNodeMap(const CXCamNodeMap&) = delete;
    CXCamNodeMap& operator=(const CXCamNodeMap&) = delete;

    // The node at position index of the node list (Root first), or null.
    NodeApi::INodeConstruct* NodeAt(std::size_t index) const;
    std::size_t NodeCount() const { return m_Nodes.size(); }

    // The member node called name as T; LogicalErrorException when there is
    // no such node or it is not a T.
    template <class T>
    T& Member(const std::string& name) const {
        T* node = dynamic_cast<T*>(GetNode(name));
        if (node == nullptr)
            RaiseNoMember(name);
        return *node;
    }

private:
    [[noreturn]] static void RaiseNoMember(const std::string& name);

    // In node-list order; the name table of the base refers to them.
    std::vector<std::unique_ptr<NodeApi::INodeConstruct>> m_Nodes;
};

} // namespace XCamInterface

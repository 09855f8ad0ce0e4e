// The node map: name table of the nodes of one camera, its lock and value cache.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "nodeapi/Interfaces.h"
#include "nodeapi/Lock.h"

namespace NodeApi {

class CValueCache;

// Refers to its nodes without owning them; a map must outlive its nodes' use.
// Filling it (AddNode, GetNode) is single-threaded and takes no lock; every
// node operation afterwards takes the map's recursive lock.
class CNodeMap : public LockableObject<CNodeMap, MultiThreadingModel> {
public:
    CNodeMap();
    virtual ~CNodeMap();

    // Null for an unknown name.
    INodeConstruct* GetNode(const std::string& name) const;
    // Enters a node; a name already present keeps its first node (false).
    bool AddNode(const std::string& name, INodeConstruct* node);
    // Every node, in byte-wise name order.
    void GetNodes(std::vector<INodeConstruct*>& nodes) const;
    // The map's cache of register contents, created on the first call.
    CValueCache& GetValueCache();
    // Last construction step: when a node "Root" exists and is a CNodeImpl,
    // collects the dependants from it. False when there is no such root.
    bool CollectDependantsFromRoot();

private:
    std::map<std::string, INodeConstruct*> m_Nodes;
    std::unique_ptr<CValueCache> m_pValueCache;
};

} // namespace NodeApi

// The node map.
#include "nodeapi/NodeMap.h"

#include "nodeapi/ClassRegistry.h"
#include "nodeapi/Node.h"
#include "nodeapi/ValueCache.h"

namespace NodeApi {

CNodeMap::CNodeMap() {
    // Keeps the registry's object file (and so the start-up registrations) in
    // every program that builds a map from the static library.
    EnsureStartupRegistrations();
}

CNodeMap::~CNodeMap() = default;

INodeConstruct* CNodeMap::GetNode(const std::string& name) const {
    auto it = m_Nodes.find(name);
    return it == m_Nodes.end() ? nullptr : it->second;
}

bool CNodeMap::AddNode(const std::string& name, INodeConstruct* node) {
    return m_Nodes.emplace(name, node).second;
}

void CNodeMap::GetNodes(std::vector<INodeConstruct*>& nodes) const {
    nodes.clear();
    nodes.reserve(m_Nodes.size());
    for (const auto& entry : m_Nodes)
        nodes.push_back(entry.second);
}

CValueCache& CNodeMap::GetValueCache() {
    AutoLock lock(*this);
    if (!m_pValueCache)
        m_pValueCache = std::make_unique<CValueCache>();
    return *m_pValueCache;
}

bool CNodeMap::CollectDependantsFromRoot() {
    auto* root = dynamic_cast<CNodeImpl*>(GetNode("Root"));
    if (root == nullptr)
        return false;
    NodeList_t path;
    root->CollectDependants(path);
    return true;
}

} // namespace NodeApi

// CPort: port node forwarding to an attached implementation.
#include "nodeapi/Port.h"

#include <cinttypes>
#include <cstring>

namespace NodeApi {

CNodeImpl* CPort::ImplNode() const {
    auto* node = dynamic_cast<CNodeImpl*>(m_pPortImpl);
    if (node == nullptr)
        NODEAPI_RAISE(LogicalErrorException, "Unexpected type in dynamic cast");
    return node;
}

void CPort::Read(void* destination, int64_t address, int64_t length) {
    NodeMapLock lock(LockTarget());
    if (m_pPortImpl != nullptr) {
        m_pPortImpl->Read(destination, address, length);
        return;
    }
    if (length < 0 || (length > 0 && destination == nullptr))
        NODEAPI_RAISE(InvalidArgumentException, "Node %s: invalid buffer (length %" PRId64 ")",
                      m_Name.c_str(), length);
    if (length > 0)
        std::memset(destination, 0, static_cast<size_t>(length));
}

void CPort::Write(const void* source, int64_t address, int64_t length) {
    NodeMapLock lock(LockTarget());
    if (m_pPortImpl != nullptr)
        m_pPortImpl->Write(source, address, length);
}

void CPort::SetPortImpl(IPort* portImpl) {
    if (m_Initialized)
        NODEAPI_RAISE(LogicalErrorException, "Node already initialized");
    m_pPortImpl = portImpl;
    if (m_pPortImpl != nullptr && m_pNodeMap != nullptr)
        ImplNode()->BindNodeMap(m_pNodeMap, m_Name);
}

EAccessMode CPort::GetAccessMode() {
    if (m_pPortImpl == nullptr)
        return RW;
    return ImplNode()->GetAccessMode();
}

bool CPort::IsChanged() const {
    if (m_pPortImpl == nullptr)
        return CNodeImpl::IsChanged();
    return ImplNode()->IsChanged();
}

void CPort::SetChanged(bool changed) {
    if (m_pPortImpl == nullptr) {
        CNodeImpl::SetChanged(changed);
        return;
    }
    ImplNode()->SetChanged(changed);
}

void CPort::SetNodeMap(CNodeMap* nodeMap, const std::string& name) {
    if (m_pPortImpl != nullptr)
        ImplNode()->BindNodeMap(nodeMap, name);
    CNodeImpl::SetNodeMap(nodeMap, name);
}

bool CPort::CollectDependants(NodeList_t& path) {
    if (m_pPortImpl == nullptr)
        return CNodeImpl::CollectDependants(path);
    return ImplNode()->CollectDependants(path);
}

} // namespace NodeApi

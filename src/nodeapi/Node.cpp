// CNodeImpl and its callback registry.
#include "nodeapi/Node.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <ostream>
#include <vector>

#include "nodeapi/ClassicLocale.h"
#include "nodeapi/PropertyValue.h"

namespace NodeApi {

// ---------------------------------------------------------------------------
// CCallbackRegistry

uint32_t CCallbackRegistry::Register(const CNodeCallback* callback) {
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (m_NextHandle == 0xFFFFFFFFLL)
        NODEAPI_RAISE(RuntimeException, "id overflow");
    std::shared_ptr<CNodeCallback> clone(callback ? callback->Clone() : nullptr);
    int64_t handle = m_NextHandle++;
    m_Entries.push_back(Entry{handle, std::move(clone)});
    return static_cast<uint32_t>(handle);
}

uint32_t CCallbackRegistry::Deregister(uint32_t handle) {
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    auto it = std::find_if(m_Entries.begin(), m_Entries.end(),
                           [handle](const Entry& e) { return e.handle == handle; });
    if (it == m_Entries.end())
        return 0;
    m_Entries.erase(it);
    return handle;
}

void CCallbackRegistry::Fire(INode* node) {
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (m_Entries.empty())
        return;
    // A callback may deregister itself or others while it runs: work on a
    // snapshot that keeps the clones alive, and skip entries removed meanwhile.
    std::vector<Entry> snapshot(m_Entries.begin(), m_Entries.end());
    for (const Entry& entry : snapshot) {
        if (!entry.callback)
            continue;
        bool stillRegistered =
            std::any_of(m_Entries.begin(), m_Entries.end(),
                        [&entry](const Entry& e) { return e.handle == entry.handle; });
        if (stillRegistered)
            (*entry.callback)(node);
    }
}

bool CCallbackRegistry::IsEmpty() const {
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    return m_Entries.empty();
}

// ---------------------------------------------------------------------------
// CNodeImpl

CNodeImpl::CNodeImpl() : m_pCallbacks(std::make_unique<CCallbackRegistry>()) {}

CNodeImpl::~CNodeImpl() = default;

CNodeMap& CNodeImpl::LockTarget() const {
    if (m_pNodeMap == nullptr)
        NODEAPI_RAISE(LogicalErrorException, "Node %s: not entered into a node map",
                      m_Name.c_str());
    return *m_pNodeMap;
}

bool CNodeImpl::IsStandard() const {
    if (m_NameSpace == "Std")
        return true;
    if (m_NameSpace == "Both")
        return m_Name.compare(0, 5, "Std::") == 0;
    return false;
}

EAccessMode CNodeImpl::GetAccessMode() {
    NodeMapLock lock(LockTarget());
    for (INode* child : m_Children) {
        if (child->GetAccessMode() == NP)
            return NP;
    }
    if (m_pIsPresent != nullptr && m_pIsPresent->GetValue() == 0)
        return NP;
    if (m_pIsEnabled != nullptr && m_pIsEnabled->GetValue() == 0)
        return NE;
    return RO;
}

EAccessMode CNodeImpl::ValueNodeAccessMode(VirtualDestructable* valueNode) {
    const EAccessMode mode = CNodeImpl::GetAccessMode();
    if (mode == NP || mode == NE)
        return mode;
    if (valueNode != nullptr) {
        auto* node = dynamic_cast<INode*>(valueNode);
        return node != nullptr ? node->GetAccessMode() : RW;
    }
    return RW;
}

void CNodeImpl::SetChanged(bool changed) {
    NodeMapLock lock(LockTarget());
    if (changed) {
        for (INode* dependant : m_Dependants) {
            // One failing dependant must not keep the others stale.
            try {
                dependant->InvalidateCache();
            } catch (const std::exception&) {
            }
        }
        FireCallbacks();
        for (INode* dependant : m_Dependants)
            dependant->FireCallbacks();
    }
    m_Changed = changed;
}

bool CNodeImpl::IsCachable() {
    if (m_CachableComputed)
        return m_Cachable;
    NodeMapLock lock(LockTarget());
    // A description that links back to an ancestor must not recurse forever:
    // a node asked again while it computes answers its own flag.
    if (!m_CachableComputed && !m_CachableComputing) {
        m_CachableComputing = true;
        bool cachable = m_Cachable;
        try {
            for (INode* child : m_Children)
                cachable = child->IsCachable() && cachable;
        } catch (...) {
            m_CachableComputing = false;
            throw;
        }
        m_CachableComputing = false;
        m_Cachable = cachable;
        m_CachableComputed = true;
    }
    return m_Cachable;
}

int64_t CNodeImpl::GetMinTime() {
    NodeMapLock lock(LockTarget());
    return m_MinTime;
}

std::string CNodeImpl::ToString() {
    return GetName();
}

void CNodeImpl::FromString(const std::string& text) {
    NODEAPI_RAISE(LogicalErrorException,
                  "NodeImpl %s can't set value from string  : %s. Use derived class!",
                  m_Name.c_str(), text.c_str());
}

std::string CNodeImpl::GetDisplayName() const {
    return m_DisplayName.empty() ? GetName() : m_DisplayName;
}

void CNodeImpl::GetChildren(NodeList_t& children) {
    NodeMapLock lock(LockTarget());
    children = m_Children;
}

void CNodeImpl::FireCallbacks() {
    NodeMapLock lock(LockTarget());
    m_pCallbacks->Fire(this);
}

uint32_t CNodeImpl::RegisterCallback(CNodeCallback* const& callback) {
    return m_pCallbacks->Register(callback);
}

uint32_t CNodeImpl::DeregisterCallback(uint32_t handle) {
    return m_pCallbacks->Deregister(handle);
}

void CNodeImpl::AddChild(INode* child) {
    NodeMapLock lock(LockTarget());
    m_Children.push_back(child);
}

// ---------------------------------------------------------------------------
// Construction protocol

void CNodeImpl::CheckNotInitialized() const {
    if (m_Initialized)
        NODEAPI_RAISE(LogicalErrorException, "Node %s: already initialized", m_Name.c_str());
}

bool CNodeImpl::WarnUnhandledProperty(const std::string& name, const std::string& value) const {
    std::string line = FormatLimited("WARNING - node '%s' : cannot handle property '%s' = '%s'\n",
                                     m_Name.c_str(), name.c_str(), value.c_str());
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
    return false;
}

void CNodeImpl::RaiseConvertError(const std::string& name, const std::string& value) const {
    NODEAPI_RAISE(PropertyException, "%s : property '%s' : cannot convert value '%s'",
                  m_Name.c_str(), name.c_str(), value.c_str());
}

INodeConstruct* CNodeImpl::FindLinkedNode(const std::string& name, const std::string& value) const {
    INodeConstruct* node = m_pNodeMap ? m_pNodeMap->GetNode(value) : nullptr;
    if (node == nullptr)
        NODEAPI_RAISE(PropertyException, "%s : property '%s' : node '%s' does not exist",
                      m_Name.c_str(), name.c_str(), value.c_str());
    return node;
}

void CNodeImpl::RaiseNoInterface(const std::string& name, const std::string& value,
                                 const char* interfaceName) const {
    NODEAPI_RAISE(PropertyException, "%s : property '%s' : node '%s' has no interface '%s'",
                  m_Name.c_str(), name.c_str(), value.c_str(), interfaceName);
}

bool CNodeImpl::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "Visibility") {
        m_Visibility = ConvertProperty(name, value, ParseVisibility);
        return true;
    }
    if (name == "ToolTip") {
        m_ToolTip = value;
        return true;
    }
    if (name == "DisplayName") {
        m_DisplayName = value;
        return true;
    }
    if (name == "pIsPresent") {
        AddChild(SetLinkProperty(m_pIsPresent, name, value, "IInteger"));
        return true;
    }
    if (name == "pIsEnabled") {
        AddChild(SetLinkProperty(m_pIsEnabled, name, value, "IInteger"));
        return true;
    }
    if (name == "Cachable") {
        m_Cachable = ConvertProperty(name, value, ParseBool);
        return true;
    }
    return WarnUnhandledProperty(name, value);
}

void CNodeImpl::FinalConstruct() {
    NodeMapLock lock(LockTarget());
    if (m_Initialized)
        NODEAPI_RAISE(LogicalErrorException, "Node already initialized");
    // The least minimum time of the children that are not cachable; a child
    // not yet finished still answers -1.
    int64_t minTime = std::numeric_limits<int64_t>::max();
    for (INode* child : m_Children) {
        if (!child->IsCachable())
            minTime = std::min(minTime, child->GetMinTime());
    }
    m_MinTime = minTime;
    m_Initialized = true;
}

void CNodeImpl::BindNodeMap(CNodeMap* nodeMap, const std::string& name) {
    if (nodeMap == nullptr)
        NODEAPI_RAISE(LogicalErrorException, "Node %s: no node map given", name.c_str());
    m_pNodeMap = nodeMap;
    m_Name = name;
}

void CNodeImpl::SetNodeMap(CNodeMap* nodeMap, const std::string& name) {
    BindNodeMap(nodeMap, name);
    nodeMap->AddNode(name, this);
}

namespace {
// Walks of a dependants search that stopped at a node already on their path,
// on this thread. A walk below a node that adds none has met no cycle.
thread_local uint64_t t_DependantCycleStops = 0;
} // namespace

bool CNodeImpl::CollectDependants(NodeList_t& path) {
    NodeMapLock lock(LockTarget());
    if (std::find(path.begin(), path.end(), this) != path.end()) {
        ++t_DependantCycleStops;
        return false;
    }
    // Below a node without cycles, every earlier walk handed its whole path
    // to every node it reached; if this path is already among this node's
    // dependants, walking again would add nothing anywhere. Shared subtrees
    // of a large tree are so walked once instead of once per path.
    if (m_DependantsWalked && std::all_of(path.begin(), path.end(), [this](INode* node) {
            return m_Dependants.count(node) != 0;
        }))
        return true;
    m_Dependants.insert(path.begin(), path.end());
    const uint64_t stopsBefore = t_DependantCycleStops;
    path.push_back(this);
    CollectChildDependants(path);
    path.pop_back();
    if (t_DependantCycleStops == stopsBefore)
        m_DependantsWalked = true;
    return true;
}

void CNodeImpl::CollectChildDependants(NodeList_t& path) {
    for (INode* child : m_Children)
        CollectLinkedDependants(child, path);
    if (m_pIsEnabled != nullptr)
        CollectLinkedDependants(dynamic_cast<INode*>(m_pIsEnabled), path);
    if (m_pIsPresent != nullptr)
        CollectLinkedDependants(dynamic_cast<INode*>(m_pIsPresent), path);
}

void CNodeImpl::CollectLinkedDependants(INode* node, NodeList_t& path) {
    auto* impl = dynamic_cast<CNodeImpl*>(node);
    if (impl == nullptr) {
        path.pop_back();
        NODEAPI_RAISE(LogicalErrorException, "Unexpected type in dynamic cast");
    }
    impl->CollectDependants(path);
}

// ---------------------------------------------------------------------------
// Dumps

void CNodeImpl::WriteLine(std::ostream& out, const char* format, ...) {
    char line[kMaxDescriptionLength + 1];
    va_list args;
    va_start(args, format);
    const CClassicLocale classic;
    int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n >= 0)
        out << line;
}

namespace {
const char kDashes[] = "------------------------------------------\n";
// Deeper than any real tree: a description that links back to an ancestor
// ends the dump with an error instead of exhausting the stack.
constexpr int kMaxDumpDepth = 256;
} // namespace

void CNodeImpl::CheckDumpDepth(INode* node, int depth) {
    if (depth > kMaxDumpDepth)
        NODEAPI_RAISE(LogicalErrorException, "Node %s: tree deeper than %d levels, not dumped",
                      node->GetName().c_str(), kMaxDumpDepth);
}

void CNodeImpl::Dump(INode* node, int indent, std::ostream& out) {
    NodeMapLock lock(LockTarget());
    if (node == nullptr)
        node = this;
    CheckDumpDepth(node, indent);
    if (indent == 0)
        out << kDashes << "-- Node dump\n" << kDashes;
    for (int i = 0; i < indent; ++i)
        out << "  ";
    auto* debug = dynamic_cast<INodeDebug*>(node);
    if (debug == nullptr)
        NODEAPI_RAISE(LogicalErrorException, "Unexpected type in dynamic cast");
    WriteLine(out, "%s : %s\n", node->GetName().c_str(), debug->GetInfo().c_str());
    NodeList_t children;
    node->GetChildren(children);
    for (INode* child : children)
        Dump(child, indent + 1, out);
    if (indent == 0)
        out << kDashes;
}

void CNodeImpl::DumpChangedFlags(INode* node, int depth, std::ostream& out) {
    NodeMapLock lock(LockTarget());
    if (node == nullptr)
        node = this;
    CheckDumpDepth(node, depth);
    if (depth == 0)
        out << kDashes << "-- ChangedFlag dump\n" << kDashes;
    for (int i = 0; i < depth; ++i)
        out << "  ";
    WriteLine(out, "%s :", node->GetName().c_str());
    out << (node->IsChanged() ? " changed\n" : " clean\n");
    NodeList_t children;
    node->GetChildren(children);
    for (INode* child : children)
        DumpChangedFlags(child, depth + 1, out);
    if (depth == 0)
        out << kDashes;
}

} // namespace NodeApi

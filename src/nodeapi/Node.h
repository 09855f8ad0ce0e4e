// CNodeImpl: the base of every node class, with its callback registry.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "nodeapi/Exceptions.h"
#include "nodeapi/Interfaces.h"
#include "nodeapi/NodeMap.h"

namespace NodeApi {

// The callbacks registered on one node, in registration order. Its own lock is
// taken while the node map's lock is held (or alone, to register/deregister).
class CCallbackRegistry {
public:
    CCallbackRegistry() = default;
    CCallbackRegistry(const CCallbackRegistry&) = delete;
    CCallbackRegistry& operator=(const CCallbackRegistry&) = delete;

    // Handles start at 10; "id overflow" once the counter reaches 0xFFFFFFFF.
    uint32_t Register(const CNodeCallback* callback);
    uint32_t Deregister(uint32_t handle);
    // Calls every callback with node; a callback may (de)register callbacks of
    // the same node while it runs.
    void Fire(INode* node);
    bool IsEmpty() const;

private:
    struct Entry {
        int64_t handle;
        std::shared_ptr<CNodeCallback> callback; // the registry's clone; null: skipped
    };
    mutable std::recursive_mutex m_Lock;
    std::list<Entry> m_Entries;
    int64_t m_NextHandle = 10;
};

// A callback calling a function object; convenient for clients and tests.
template <class F>
class CFunctionCallback : public CNodeCallback {
public:
    explicit CFunctionCallback(F function) : m_Function(std::move(function)) {}
    void operator()(INode* node) override { m_Function(node); }
    CNodeCallback* Clone() const override { return new CFunctionCallback(*this); }

private:
    F m_Function;
};

template <class F>
CFunctionCallback<F> MakeCallback(F function) {
    return CFunctionCallback<F>(std::move(function));
}

class CNodeImpl : public INodeConstruct, public INodeDebug {
public:
    CNodeImpl();
    ~CNodeImpl() override;
    CNodeImpl(const CNodeImpl&) = delete;
    CNodeImpl& operator=(const CNodeImpl&) = delete;

    // INode
    std::string GetName() const override { return m_Name; }
    bool IsStandard() const override;
    EAccessMode GetAccessMode() override;
    EVisibility GetVisibility() const override { return m_Visibility; }
    bool IsChanged() const override { return m_Changed; }
    void SetChanged(bool changed) override;
    bool IsCachable() override;
    int64_t GetMinTime() override;
    std::string ToString() override;
    void FromString(const std::string& text) override;
    std::string GetToolTip() const override { return m_ToolTip; }
    std::string GetDisplayName() const override;
    void GetChildren(NodeList_t& children) override;
    void FireCallbacks() override;
    void InvalidateCache() override {}
    uint32_t RegisterCallback(CNodeCallback* const& callback) override;
    uint32_t DeregisterCallback(uint32_t handle) override;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;
    void FinalConstruct() override;
    void SetNodeMap(CNodeMap* nodeMap, const std::string& name) override;
    bool CollectDependants(NodeList_t& path) override;
    void DumpChangedFlags(INode* node, int depth, std::ostream& out) override;

    // INodeDebug
    std::string GetInfo() override { return std::string(); }
    void Dump(INode* node, int indent, std::ostream& out) override;

    // Gives the node its map and name without entering it into the map (for
    // a port implementation reached only through its port node).
    void BindNodeMap(CNodeMap* nodeMap, const std::string& name);
    CNodeMap* GetNodeMap() const { return m_pNodeMap; }
    bool IsInitialized() const { return m_Initialized; }
    // The nodes whose value depends on this one (after CollectDependants).
    const std::set<INode*>& GetDependants() const { return m_Dependants; }

protected:
    // The dependants walk below this node, with this node last on the path:
    // its children, then its "pIsEnabled" and "pIsPresent" nodes. Node
    // classes with further links (invalidators, formula variables) walk them
    // after calling this.
    virtual void CollectChildDependants(NodeList_t& path);
    // Walks one linked node, which must be a node of this framework.
    static void CollectLinkedDependants(INode* node, NodeList_t& path);

    // The map whose lock guards this node; raises when the node was never
    // entered into a map.
    CNodeMap& LockTarget() const;

    void AddChild(INode* child);
    // The mode of a node whose value may live in a value node: NP or NE from
    // the base rule, else the value node's mode (RW without a value node or
    // for one that is no INode). Caller holds the map lock.
    EAccessMode ValueNodeAccessMode(VirtualDestructable* valueNode);

    // --- the SetProperty pattern of every class level ---
    // Raises LogicalErrorException "Node %s: already initialized".
    void CheckNotInitialized() const;
    // Writes the warning line for an unknown property; answers false.
    bool WarnUnhandledProperty(const std::string& name, const std::string& value) const;
    // PropertyException "%s : property '%s' : cannot convert value '%s'".
    [[noreturn]] void RaiseConvertError(const std::string& name, const std::string& value) const;
    // Converts with parse or raises the convert error.
    template <class T>
    T ConvertProperty(const std::string& name, const std::string& value,
                      bool (*parse)(const std::string&, T&)) const {
        T result{};
        if (!parse(value, result))
            RaiseConvertError(name, value);
        return result;
    }
    // The node named value in the map; PropertyException "... does not exist".
    INodeConstruct* FindLinkedNode(const std::string& name, const std::string& value) const;
    // PropertyException "%s : property '%s' : node '%s' has no interface '<iface>'".
    [[noreturn]] void RaiseNoInterface(const std::string& name, const std::string& value,
                                       const char* interfaceName) const;
    // Resolves a single link into slot. A node without the interface leaves
    // the slot null and raises; the caller adds the child on success.
    template <class I>
    INodeConstruct* SetLinkProperty(I*& slot, const std::string& name, const std::string& value,
                                    const char* interfaceName) {
        INodeConstruct* node = FindLinkedNode(name, value);
        slot = dynamic_cast<I*>(node);
        if (slot == nullptr)
            RaiseNoInterface(name, value, interfaceName);
        return node;
    }
    // Resolves a link without storing it (list links).
    template <class I>
    I* LinkProperty(const std::string& name, const std::string& value,
                    const char* interfaceName) const {
        I* result = dynamic_cast<I*>(FindLinkedNode(name, value));
        if (result == nullptr)
            RaiseNoInterface(name, value, interfaceName);
        return result;
    }

    // Raises LogicalErrorException when a dump goes deeper than any real tree.
    static void CheckDumpDepth(INode* node, int depth);
    // Writes one line, formatted into at most 255 characters.
    static void WriteLine(std::ostream& out, const char* format, ...)
        __attribute__((format(printf, 2, 3)));

    std::string m_Name;
    std::string m_DisplayName;
    std::string m_NameSpace;
    std::string m_ToolTip;
    CNodeMap* m_pNodeMap = nullptr;
    IInteger* m_pIsPresent = nullptr;
    IInteger* m_pIsEnabled = nullptr;
    EVisibility m_Visibility = Beginner;
    NodeList_t m_Children;
    std::set<INode*> m_Dependants;
    // Set after a walk below this node met no node twice on its path: what
    // this node reaches is then free of cycles, and a later walk with a path
    // already held in m_Dependants has nothing new to hand on.
    bool m_DependantsWalked = false;
    bool m_Initialized = false;
    std::unique_ptr<CCallbackRegistry> m_pCallbacks;
    bool m_Cachable = true;
    std::atomic<bool> m_CachableComputed{false};
    bool m_CachableComputing = false; // guards IsCachable against cycles
    std::atomic<bool> m_Changed{false};
    int64_t m_MinTime = -1;
};

// Map-lock guard used by node operations.
using NodeMapLock = CNodeMap::AutoLock;

} // namespace NodeApi

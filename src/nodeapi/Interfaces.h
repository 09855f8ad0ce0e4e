// Node, value and port interfaces of the node framework, and the node callback.
// The order of the operations in each interface is part of its contract.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "nodeapi/Types.h"

namespace NodeApi {

class CNodeMap;
class INode;

// List of nodes, not owned, in a stated order (children, a dependants path).
using NodeList_t = std::vector<INode*>;
// List of texts (enumeration symbolics).
using StringList_t = std::vector<std::string>;

class VirtualDestructable {
public:
    virtual ~VirtualDestructable() = default;
};

// A client's callback; the node keeps its own clone.
class CNodeCallback {
public:
    virtual ~CNodeCallback() = default;
    // Called with the node whose value may have changed; the node map's lock is held.
    virtual void operator()(INode* node) = 0;
    // A new copy, owned by the caller (the node's callback registry).
    virtual CNodeCallback* Clone() const = 0;
};

class INode : public VirtualDestructable {
public:
    virtual std::string GetName() const = 0;
    virtual bool IsStandard() const = 0;
    virtual EAccessMode GetAccessMode() = 0;
    virtual EVisibility GetVisibility() const = 0;
    virtual bool IsChanged() const = 0;
    virtual void SetChanged(bool changed) = 0;
    virtual bool IsCachable() = 0;
    virtual int64_t GetMinTime() = 0;
    virtual std::string ToString() = 0;
    virtual void FromString(const std::string& text) = 0;
    virtual std::string GetToolTip() const = 0;
    virtual std::string GetDisplayName() const = 0;
    // Empties the list, then fills it with the nodes this node reads from.
    virtual void GetChildren(NodeList_t& children) = 0;
    virtual void FireCallbacks() = 0;
    virtual void InvalidateCache() = 0;
    // Stores a clone of *callback (a null pointer stores an empty entry).
    virtual uint32_t RegisterCallback(CNodeCallback* const& callback) = 0;
    // The handle when a callback was removed, else 0.
    virtual uint32_t DeregisterCallback(uint32_t handle) = 0;
};

// The construction operations, in the same table after those of INode.
class INodeConstruct : public INode {
public:
    virtual bool SetProperty(const std::string& name, const std::string& value) = 0;
    virtual void FinalConstruct() = 0;
    virtual void SetNodeMap(CNodeMap* nodeMap, const std::string& name) = 0;
    virtual bool CollectDependants(NodeList_t& path) = 0;
    virtual void DumpChangedFlags(INode* node, int depth, std::ostream& out) = 0;
};

class INodeDebug {
public:
    // One line describing the node's state.
    virtual std::string GetInfo() = 0;
    // Writes the tree below node (null: this node) to out.
    virtual void Dump(INode* node, int indent, std::ostream& out) = 0;

protected:
    ~INodeDebug() = default;
};

class IInteger : public VirtualDestructable {
public:
    virtual void SetValue(int64_t value) = 0;
    virtual IInteger& operator=(int64_t value) {
        SetValue(value);
        return *this;
    }
    virtual int64_t GetValue() = 0;
    virtual int64_t operator()() { return GetValue(); }
    virtual int64_t GetMin() = 0;
    virtual int64_t GetMax() = 0;
    virtual int64_t GetInc() = 0;
    virtual ERepresentation GetRepresentation() = 0;
};

class IFloat : public VirtualDestructable {
public:
    virtual void SetValue(double value) = 0;
    virtual IFloat& operator=(double value) {
        SetValue(value);
        return *this;
    }
    virtual double GetValue() = 0;
    virtual double operator()() { return GetValue(); }
    virtual double GetMin() = 0;
    virtual double GetMax() = 0;
    virtual ERepresentation GetRepresentation() = 0;
};

class IBoolean : public VirtualDestructable {
public:
    virtual void SetValue(bool value) = 0;
    virtual IBoolean& operator=(bool value) {
        SetValue(value);
        return *this;
    }
    virtual bool GetValue() = 0;
    virtual bool operator()() { return GetValue(); }
};

class IString : public VirtualDestructable {
public:
    virtual void SetValue(const std::string& value) = 0;
    virtual IString& operator=(const std::string& value) {
        SetValue(value);
        return *this;
    }
    virtual std::string GetValue() = 0;
    virtual std::string operator()() { return GetValue(); }
};

// Raw bytes of a register, in the order the port delivers them.
class IRegister : public VirtualDestructable {
public:
    virtual void Set(const uint8_t* source, int64_t length) = 0;
    virtual void Get(uint8_t* destination, int64_t length) = 0;
    virtual int64_t GetLength() = 0;
};

class IEnumerationBase : public VirtualDestructable {
public:
    // The symbolics of the entries that are currently selectable.
    virtual void GetSymbolics(StringList_t& symbolics) = 0;
    // Every entry node, whatever its state.
    virtual void GetEntries(NodeList_t& entries) = 0;
};

class IEnumEntry : public VirtualDestructable {
public:
    virtual int64_t GetValue() = 0;
    virtual std::string GetSymbolic() = 0;
};

class IEnumDelegate : public VirtualDestructable {
public:
    virtual void ValueToSymbolic(std::string& symbolic, int64_t value) = 0;
    virtual bool SymbolicToValue(const std::string& symbolic, int64_t& value) = 0;
    virtual void AddEntry(INode* entry) = 0;
    virtual void GetSymbolics(StringList_t& symbolics) = 0;
};

class IPhysicalValue : public VirtualDestructable {
public:
    virtual std::string GetUnit() = 0;
    virtual void SetPhysicalValue(double value) = 0;
    virtual double GetPhysicalValue() = 0;
    virtual double GetPhysicalMin() = 0;
    virtual double GetPhysicalMax() = 0;
};

// A register space: bytes at signed 64-bit addresses, each 32-bit quadlet most
// significant byte first. Both operations raise on failure.
class IPort : public VirtualDestructable {
public:
    virtual void Read(void* destination, int64_t address, int64_t length) = 0;
    virtual void Write(const void* source, int64_t address, int64_t length) = 0;
};

// A port node that forwards to an implementation attached from outside.
class IPortConstruct : public IPort {
public:
    // Attaches the implementation (not owned); it must also be a CNodeImpl.
    virtual void SetPortImpl(IPort* portImpl) = 0;
};

} // namespace NodeApi

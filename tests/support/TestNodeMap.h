// A node map that owns its nodes and runs the construction protocol, and two
// stand-in nodes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "nodeapi/Node.h"
#include "nodeapi/NodeMap.h"

namespace KacqTest {

using Properties = std::vector<std::pair<std::string, std::string>>;

// "name=value;name=value": split at each ';' and each part's first '='.
Properties Props(const std::string& text);

// Build: SetNodeMap on every node, then every node's properties in order, then
// FinalConstruct (unless left unfinished), then dependants from "Root".
class TestNodeMap : public NodeApi::CNodeMap {
public:
    TestNodeMap() = default;
    ~TestNodeMap() override;

    template <class T>
    T& Add(const std::string& name, Properties properties = {}, bool finish = true) {
        auto node = std::make_unique<T>();
        T& ref = *node;
        m_Entries.push_back(Entry{&ref, name, std::move(properties), finish});
        m_Owned.push_back(std::move(node));
        return ref;
    }
    // A node owned by the caller (a port implementation, say).
    void AddExternal(NodeApi::INodeConstruct& node, const std::string& name,
                     Properties properties = {}, bool finish = true);

    void Build();

    template <class T>
    T& Get(const std::string& name) {
        return dynamic_cast<T&>(*GetNode(name));
    }

private:
    struct Entry {
        NodeApi::INodeConstruct* node;
        std::string name;
        Properties properties;
        bool finish;
    };
    std::vector<Entry> m_Entries;
    std::vector<std::unique_ptr<NodeApi::INodeConstruct>> m_Owned;
};

// A category stand-in: every "pFeature" becomes a child, in order.
class TestCategory : public NodeApi::CNodeImpl {
public:
    bool SetProperty(const std::string& name, const std::string& value) override;
};

// A software integer: holds its value, notifies its dependants on SetValue.
class TestInteger : public NodeApi::IInteger, public NodeApi::CNodeImpl {
public:
    explicit TestInteger(int64_t value = 0) : m_Value(value) {}
    void SetValue(int64_t value) override;
    int64_t GetValue() override;
    int64_t GetMin() override { return INT64_MIN; }
    int64_t GetMax() override { return INT64_MAX; }
    int64_t GetInc() override { return 1; }
    NodeApi::ERepresentation GetRepresentation() override { return NodeApi::Linear; }
    NodeApi::EAccessMode GetAccessMode() override;
    bool SetProperty(const std::string& name, const std::string& value) override;

    int reads = 0;

private:
    int64_t m_Value;
};

} // namespace KacqTest

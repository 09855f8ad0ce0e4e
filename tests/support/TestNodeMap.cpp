// Test node maps and stand-in nodes.
#include "TestNodeMap.h"

#include <algorithm>

#include "nodeapi/PropertyValue.h"

namespace KacqTest {

Properties Props(const std::string& text) {
    Properties properties;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find(';', start), text.size());
        const std::string part = text.substr(start, end - start);
        const size_t equals = part.find('=');
        properties.emplace_back(part.substr(0, equals),
                                equals == std::string::npos ? "" : part.substr(equals + 1));
        start = end + 1;
    }
    return properties;
}

TestNodeMap::~TestNodeMap() = default;

void TestNodeMap::AddExternal(NodeApi::INodeConstruct& node, const std::string& name,
                              Properties properties, bool finish) {
    m_Entries.push_back(Entry{&node, name, std::move(properties), finish});
}

void TestNodeMap::Build() {
    for (Entry& e : m_Entries)
        e.node->SetNodeMap(this, e.name);
    for (Entry& e : m_Entries) {
        for (const auto& property : e.properties)
            e.node->SetProperty(property.first, property.second);
    }
    for (Entry& e : m_Entries) {
        if (e.finish)
            e.node->FinalConstruct();
    }
    CollectDependantsFromRoot();
}

bool TestCategory::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "pFeature") {
        AddChild(FindLinkedNode(name, value));
        return true;
    }
    if (CNodeImpl::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

void TestInteger::SetValue(int64_t value) {
    NodeApi::NodeMapLock lock(LockTarget());
    m_Value = value;
    SetChanged(true);
}

int64_t TestInteger::GetValue() {
    NodeApi::NodeMapLock lock(LockTarget());
    ++reads;
    return m_Value;
}

NodeApi::EAccessMode TestInteger::GetAccessMode() {
    NodeApi::EAccessMode mode = CNodeImpl::GetAccessMode();
    return mode == NodeApi::NP || mode == NodeApi::NE ? mode : NodeApi::RW;
}

bool TestInteger::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "Value") {
        m_Value = ConvertProperty(name, value, NodeApi::ParseInt64);
        return true;
    }
    if (CNodeImpl::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

} // namespace KacqTest

// A node-map fixture with an in-memory register space behind a port node,
// and the exception checks the node tests share.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "nodeapi/Exceptions.h"
#include "nodeapi/Port.h"
#include "support/MemoryPort.h"
#include "support/TestNodeMap.h"

namespace KacqTest {

// The description of the exception of type E that action raises, with the
// source checked; "<no exception>" when it returns.
template <class E>
std::string DescriptionOf(const std::function<void()>& action, const char* source) {
    try {
        action();
    } catch (const E& e) {
        EXPECT_EQ(source, e.GetSourceFileName()) << e.what();
        return e.GetDescription();
    }
    return "<no exception>";
}

// The description of the OutOfRangeException that writing value to node
// raises, with the source checked; "<accepted>" when the write is taken.
template <class Node, class Value>
std::string RangeErrorOf(Node& node, Value value, const char* source) {
    try {
        node.SetValue(value);
    } catch (const NodeApi::OutOfRangeException& e) {
        EXPECT_EQ(source, e.GetSourceFileName()) << e.what();
        return e.GetDescription();
    }
    return "<accepted>";
}

// What an action raises, as "Kind: description" (Kind one of Runtime,
// Logical, Range, Argument, Property, Generic), with the source checked when
// given; "<no exception>" when it returns. Lets a table hold the exact type
// and text a caller sees in one string.
inline std::string Raised(const std::function<void()>& action, const char* source = nullptr) {
    auto text = [source](const char* kind, const NodeApi::GenericException& e) {
        if (source != nullptr) {
            EXPECT_EQ(source, e.GetSourceFileName()) << e.what();
        }
        return std::string(kind) + ": " + e.GetDescription();
    };
    try {
        action();
    } catch (const NodeApi::RuntimeException& e) {
        return text("Runtime", e);
    } catch (const NodeApi::LogicalErrorException& e) {
        return text("Logical", e);
    } catch (const NodeApi::OutOfRangeException& e) {
        return text("Range", e);
    } catch (const NodeApi::InvalidArgumentException& e) {
        return text("Argument", e);
    } catch (const NodeApi::PropertyException& e) {
        return text("Property", e);
    } catch (const NodeApi::GenericException& e) {
        return text("Generic", e);
    }
    return "<no exception>";
}

// 256 bytes of register space at 0x1000, reached through the port node
// "Port".
class PortFixture : public testing::Test {
protected:
    PortFixture() : memory(0x1000, 0x100) {
        map.AddExternal(memory, "Memory");
        map.Add<NodeApi::CPort>("Port").SetPortImpl(&memory);
    }

    // A 32-bit unsigned big-endian register at address behind "Port", extra
    // properties after the common ones.
    static Properties RegisterProperties(const char* address, Properties extra = {},
                                         const char* access = "RW") {
        Properties properties = {{"pPort", "Port"},    {"AccessMode", access},
                                 {"Address", address}, {"Length", "4"},
                                 {"Sign", "Unsigned"}, {"Endianess", "BigEndian"}};
        properties.insert(properties.end(), extra.begin(), extra.end());
        return properties;
    }

    MemoryPort memory;
    TestNodeMap map;
};

} // namespace KacqTest

// A node-map fixture with an in-memory register space behind a port node.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "nodeapi/Exceptions.h"
#include "nodeapi/Port.h"
#include "support/MemoryPort.h"
#include "support/Raised.h"
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

// 256 bytes of register space at 0x1000 behind the port node "Port".
class PortFixture : public testing::Test {
protected:
    PortFixture() : memory(0x1000, 0x100) {
        map.AddExternal(memory, "Memory");
        map.Add<NodeApi::CPort>("Port").SetPortImpl(&memory);
    }

    // A 4-byte unsigned big-endian register behind "Port", then extra properties.
    static Properties RegisterProperties(const char* address, Properties extra = {},
                                         const char* access = "RW") {
        Properties properties =
            Props(std::string("pPort=Port;AccessMode=") + access + ";Address=" + address +
                  ";Length=4;Sign=Unsigned;Endianess=BigEndian");
        properties.insert(properties.end(), extra.begin(), extra.end());
        return properties;
    }

    MemoryPort memory;
    TestNodeMap map;
};

} // namespace KacqTest

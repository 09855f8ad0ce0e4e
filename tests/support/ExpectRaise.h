// ExpectRaise: checks that a call raises exactly the given exception class
// with the given description, source and line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <typeinfo>

#include <gtest/gtest.h>

#include "nodeapi/Exceptions.h"

namespace KacqTest {

struct Raised {
    const std::type_info* type; // exact class
    std::string text;
    std::string source;
    uint32_t line;
};

inline void ExpectRaise(const std::function<void()>& call, const Raised& expected,
                        const std::string& what = "") {
    try {
        call();
        ADD_FAILURE() << what << ": nothing raised, expected " << expected.text;
    } catch (const NodeApi::GenericException& e) {
        EXPECT_TRUE(typeid(e) == *expected.type)
            << what << ": raised " << typeid(e).name() << ", expected " << expected.type->name();
        EXPECT_EQ(expected.text, e.GetDescription()) << what;
        EXPECT_EQ(expected.source, e.GetSourceFileName()) << what;
        EXPECT_EQ(expected.line, e.GetSourceLine()) << what;
    } catch (const std::exception& e) {
        ADD_FAILURE() << what << ": foreign exception " << e.what();
    }
}

} // namespace KacqTest

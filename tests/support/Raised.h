// Raised: what an action raises as one string, "Kind: description" (Kind the
// class without namespace and "Exception", e.g. "OutOfRange"), so a table row
// holds the exact class and text a caller sees on one line.
#pragma once

#include <cxxabi.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <typeinfo>

#include <gtest/gtest.h>

#include "nodeapi/Exceptions.h"

namespace KacqTest {

inline std::string RaisedAs(const std::function<void()>& action, const char* source, bool where) {
    try {
        action();
    } catch (const NodeApi::GenericException& e) {
        if (source != nullptr) {
            EXPECT_EQ(source, e.GetSourceFileName()) << e.what();
        }
        int status = 0;
        char* demangled = abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status);
        std::string kind = status == 0 ? demangled : typeid(e).name();
        std::free(demangled);
        kind = kind.substr(kind.rfind(':') + 1);
        if (kind.size() > 9 && kind.compare(kind.size() - 9, 9, "Exception") == 0)
            kind.resize(kind.size() - 9);
        return kind + ": " + (where ? e.what() : e.GetDescription());
    } catch (const std::exception& e) {
        return std::string("foreign: ") + e.what();
    }
    return "<no exception>";
}

inline std::string Raised(const std::function<void()>& action, const char* source = nullptr) {
    return RaisedAs(action, source, false);
}

// The same with the place: "Kind: description (source:line)".
inline std::string RaisedWhere(const std::function<void()>& action) {
    return RaisedAs(action, nullptr, true);
}
inline std::string Where(const std::string& kind, const std::string& text,
                         const std::string& source, uint32_t line) {
    return kind + ": " + text + " (" + source + ":" + std::to_string(line) + ")";
}

} // namespace KacqTest

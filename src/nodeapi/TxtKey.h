// CTxtKey: a read-only text feature showing one textual descriptor of the
// configuration ROM.
#pragma once

#include <cstdint>
#include <string>

#include "nodeapi/IEEE1212Parser.h"
#include "nodeapi/Node.h"

namespace NodeApi {

// Asks its parser ("p1212Parser") for the text of its key ("Key"; the lookup
// uses the low byte) on every read and keeps the last text read.
class CTxtKey : public IString, public CNodeImpl {
public:
    static constexpr const char* kClassName = "CTxtKey";

    CTxtKey() = default;

    // IString. Reading raises RuntimeException "Key 0x%x, not found" when the
    // ROM has no text for the key; writing always raises.
    void SetValue(const std::string& value) override;
    std::string GetValue() override;

    // INode. A text key takes no text input: FromString raises the node
    // base's LogicalErrorException.
    std::string ToString() override { return GetValue(); }
    void FromString(const std::string& text) override { CNodeImpl::FromString(text); }

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;
    // RuntimeException "pParser not specified" (after the node is finished)
    // when no parser was given.
    void FinalConstruct() override;

    // INodeDebug
    std::string GetInfo() override;

private:
    CIEEE1212Parser* m_pParser = nullptr; // not owned
    uint16_t m_Key = 0;
    std::string m_Value; // the last text read
};

} // namespace NodeApi

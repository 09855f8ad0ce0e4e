// CBoolean: flag feature with on and off values.
#include "nodeapi/Boolean.h"

#include <cinttypes>

#include "nodeapi/PropertyValue.h"

namespace NodeApi {

bool CBoolean::GetValue() {
    NodeMapLock lock(LockTarget());
    if (m_pValue == nullptr)
        return m_Value;
    const int64_t value = m_pValue->GetValue();
    if (value != m_OnValue && value != m_OffValue)
        NODEAPI_RAISE(LogicalErrorException,
                      "Value %" PRId64 " is neither true %" PRId64 " nor false (%" PRId64 ")",
                      value, m_OnValue, m_OffValue);
    m_Value = value == m_OnValue;
    return m_Value;
}

void CBoolean::SetValue(bool value) {
    NodeMapLock lock(LockTarget());
    if (m_pValue != nullptr) {
        // A failed write leaves the stored flag as it was.
        m_pValue->SetValue(value ? m_OnValue : m_OffValue);
        m_Value = value;
    } else {
        m_Value = value;
        SetChanged(true);
    }
}

EAccessMode CBoolean::GetAccessMode() {
    NodeMapLock lock(LockTarget());
    return ValueNodeAccessMode(m_pValue);
}

std::string CBoolean::ToString() {
    NodeMapLock lock(LockTarget());
    return GetValue() ? "1" : "0";
}

void CBoolean::FromString(const std::string& text) {
    NodeMapLock lock(LockTarget());
    SetValue(ConvertProperty("Value", text, ParseBool));
}

bool CBoolean::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "pValue") {
        AddChild(SetLinkProperty(m_pValue, name, value, "IInteger"));
        return true;
    }
    if (name == "Value") {
        m_Value = ConvertProperty(name, value, ParseBool);
        return true;
    }
    if (name == "OnValue") {
        m_OnValue = ConvertProperty(name, value, ParseInt64);
        return true;
    }
    if (name == "OffValue") {
        m_OffValue = ConvertProperty(name, value, ParseInt64);
        return true;
    }
    if (CNodeImpl::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

std::string CBoolean::GetInfo() {
    NodeMapLock lock(LockTarget());
    if (GetAccessMode() == NP)
        return "Boolean : not present";
    const std::string value = ToString();
    return FormatLimited("Boolean : Value = %s, OnValue = %" PRId64 ", OffValue = %" PRId64,
                         value.c_str(), m_OnValue, m_OffValue);
}

} // namespace NodeApi

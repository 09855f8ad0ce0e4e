// CEnumEntry: enumeration entry node.
#include "nodeapi/EnumEntry.h"

#include "nodeapi/PropertyValue.h"

namespace NodeApi {

int64_t CEnumEntry::GetValue() {
    NodeMapLock lock(LockTarget());
    return m_Value;
}

std::string CEnumEntry::GetSymbolic() {
    NodeMapLock lock(LockTarget());
    return m_Symbolic;
}

std::string CEnumEntry::ToString() {
    NodeMapLock lock(LockTarget());
    return std::to_string(m_Value);
}

bool CEnumEntry::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "Value") {
        m_Value = ConvertProperty(name, value, ParseInt64);
        return true;
    }
    if (name == "Symbolic") {
        m_Symbolic = value;
        return true;
    }
    if (CNodeImpl::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

std::string CEnumEntry::GetInfo() {
    NodeMapLock lock(LockTarget());
    const EAccessMode mode = GetAccessMode();
    const char* state = " valid EnumEntry ";
    if (mode == NE)
        state = " not enabled EnumEntry ";
    else if (mode == NP)
        state = " nonpresent EnumEntry ";
    return state + m_Name + " = " + ToString() + " : ToolTip = " + m_ToolTip;
}

} // namespace NodeApi

// CInteger: integer feature with limits, representation and physical view.
#include "nodeapi/Integer.h"

#include <cinttypes>
#include <cmath>

#include "nodeapi/PropertyValue.h"

namespace NodeApi {

namespace {
// 2^63 as a double: the first value above the int64 range.
constexpr double kTwoPow63 = 9223372036854775808.0;
} // namespace

int64_t CInteger::GetValue() {
    NodeMapLock lock(LockTarget());
    return m_pValue != nullptr ? m_pValue->GetValue() : m_Value;
}

void CInteger::SetValue(int64_t value) {
    NodeMapLock lock(LockTarget());
    // Both checks run before the value node is touched, so a refused value
    // costs no register access.
    const int64_t minimum = GetMin();
    if (value < minimum)
        NODEAPI_RAISE(OutOfRangeException,
                      "Value %" PRId64 " must be greater than or equal %" PRId64, value, minimum);
    const int64_t maximum = GetMax();
    if (value > maximum)
        NODEAPI_RAISE(OutOfRangeException,
                      "Value %" PRId64 " must be smaller than or equal %" PRId64, value, maximum);
    if (m_pValue != nullptr) {
        // The value node's own write notifies the dependants, this node among them.
        m_pValue->SetValue(value);
    } else {
        m_Value = value;
        SetChanged(true);
    }
}

int64_t CInteger::GetMin() {
    NodeMapLock lock(LockTarget());
    if (m_pMin != nullptr)
        return m_pMin->GetValue();
    if (m_Min == kMinNotSet)
        m_Min = m_pValue != nullptr ? m_pValue->GetMin() : m_Value;
    return m_Min;
}

int64_t CInteger::GetMax() {
    NodeMapLock lock(LockTarget());
    if (m_pMax != nullptr)
        return m_pMax->GetValue();
    if (m_Max == kMaxNotSet)
        m_Max = m_pValue != nullptr ? m_pValue->GetMax() : m_Value;
    return m_Max;
}

int64_t CInteger::GetInc() {
    NodeMapLock lock(LockTarget());
    return m_pInc != nullptr ? m_pInc->GetValue() : m_Inc;
}

ERepresentation CInteger::GetRepresentation() {
    NodeMapLock lock(LockTarget());
    if (m_Representation == _UndefinedRepresentation && m_pValue != nullptr)
        m_Representation = m_pValue->GetRepresentation();
    return m_Representation;
}

std::string CInteger::GetUnit() {
    NodeMapLock lock(LockTarget());
    return m_Unit;
}

double CInteger::ToPhysical(double x) {
    return m_pToPhysical != nullptr ? m_pToPhysical->GetValueWithInput(x) : x;
}

void CInteger::SetPhysicalValue(double value) {
    NodeMapLock lock(LockTarget());
    if (m_pFromPhysical != nullptr)
        value = m_pFromPhysical->GetValueWithInput(value);
    // Only a number inside the int64 range can be truncated; anything else is
    // refused with the limit it passes.
    if (std::isnan(value))
        NODEAPI_RAISE(OutOfRangeException, "Value %f is not a number", value);
    if (value >= kTwoPow63)
        NODEAPI_RAISE(OutOfRangeException, "Value %f must be smaller than or equal %" PRId64, value,
                      GetMax());
    if (value < -kTwoPow63)
        NODEAPI_RAISE(OutOfRangeException, "Value %f must be greater than or equal %" PRId64, value,
                      GetMin());
    SetValue(static_cast<int64_t>(value)); // truncates toward zero
}

double CInteger::GetPhysicalValue() {
    NodeMapLock lock(LockTarget());
    return ToPhysical(static_cast<double>(GetValue()));
}

double CInteger::GetPhysicalMin() {
    NodeMapLock lock(LockTarget());
    return ToPhysical(static_cast<double>(GetMin()));
}

double CInteger::GetPhysicalMax() {
    NodeMapLock lock(LockTarget());
    return ToPhysical(static_cast<double>(GetMax()));
}

EAccessMode CInteger::GetAccessMode() {
    NodeMapLock lock(LockTarget());
    return ValueNodeAccessMode(m_pValue);
}

std::string CInteger::ToString() {
    NodeMapLock lock(LockTarget());
    return std::to_string(GetValue());
}

void CInteger::FromString(const std::string& text) {
    NodeMapLock lock(LockTarget());
    SetValue(ConvertProperty("Value", text, ParseInt64));
}

bool CInteger::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "pValue") {
        AddChild(SetLinkProperty(m_pValue, name, value, "IInteger"));
        return true;
    }
    if (name == "pMin") {
        AddChild(SetLinkProperty(m_pMin, name, value, "IInteger"));
        return true;
    }
    if (name == "pMax") {
        AddChild(SetLinkProperty(m_pMax, name, value, "IInteger"));
        return true;
    }
    if (name == "pInc") {
        AddChild(SetLinkProperty(m_pInc, name, value, "IInteger"));
        return true;
    }
    if (name == "pToPhysical") {
        AddChild(SetLinkProperty(m_pToPhysical, name, value, "CSwissKnife"));
        return true;
    }
    if (name == "pFromPhysical") {
        AddChild(SetLinkProperty(m_pFromPhysical, name, value, "CSwissKnife"));
        return true;
    }
    if (name == "Unit") {
        m_Unit = value;
        return true;
    }
    if (name == "Value") {
        m_Value = ConvertProperty(name, value, ParseInt64);
        return true;
    }
    if (name == "Min") {
        m_Min = ConvertProperty(name, value, ParseInt64);
        return true;
    }
    if (name == "Max") {
        m_Max = ConvertProperty(name, value, ParseInt64);
        return true;
    }
    if (name == "Inc") {
        m_Inc = ConvertProperty(name, value, ParseInt64);
        return true;
    }
    if (name == "Representation") {
        m_Representation = ConvertProperty(name, value, ParseRepresentation);
        return true;
    }
    if (CNodeImpl::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

std::string CInteger::GetInfo() {
    NodeMapLock lock(LockTarget());
    if (GetAccessMode() == NP)
        return "Integer : not present";
    const int64_t value = GetValue();
    const int64_t minimum = GetMin();
    const int64_t maximum = GetMax();
    return FormatLimited("Integer : Value = %" PRId64 ", Min = %" PRId64 ", Max = %" PRId64
                         " Physical Unit%s",
                         value, minimum, maximum, m_Unit.c_str());
}

} // namespace NodeApi

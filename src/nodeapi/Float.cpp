// CFloat: float feature with limits and representation.
#include "nodeapi/Float.h"

#include <cmath>
#include <locale>
#include <sstream>

#include "nodeapi/PropertyValue.h"

namespace NodeApi {

namespace {

constexpr double kFloatMax = std::numeric_limits<float>::max();

bool FitsSingle(double x) {
    return std::fabs(x) <= kFloatMax;
}

// x narrowed to single precision; numbers beyond the range become infinite
// (a plain cast would be undefined), NaN stays NaN.
float ToSingle(double x) {
    if (std::isnan(x))
        return std::numeric_limits<float>::quiet_NaN();
    if (x > kFloatMax)
        return std::numeric_limits<float>::infinity();
    if (x < -kFloatMax)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(x);
}

} // namespace

double CFloat::GetValue() {
    NodeMapLock lock(LockTarget());
    return m_pValue != nullptr ? m_pValue->GetValue() : static_cast<double>(m_Value);
}

void CFloat::SetValue(double value) {
    NodeMapLock lock(LockTarget());
    if (std::isnan(value))
        NODEAPI_RAISE(OutOfRangeException, "Value %f is not a number", value);
    bool minimumSet = false;
    bool maximumSet = false;
    const double minimum = Minimum(minimumSet);
    const double maximum = Maximum(maximumSet);
    const double asStored =
        FitsSingle(value) ? static_cast<double>(static_cast<float>(value)) : value;
    if (minimumSet && asStored < minimum)
        NODEAPI_RAISE(OutOfRangeException, "Value %f must be greater than or equal %f", value,
                      minimum);
    if (maximumSet && asStored > maximum)
        NODEAPI_RAISE(OutOfRangeException, "Value %f must be smaller than or equal %f", value,
                      maximum);
    if (m_pValue != nullptr) {
        m_pValue->SetValue(value);
        return;
    }
    // A software variable holds single precision only.
    if (value > kFloatMax)
        NODEAPI_RAISE(OutOfRangeException, "Value %f must be smaller than or equal %f", value,
                      kFloatMax);
    if (value < -kFloatMax)
        NODEAPI_RAISE(OutOfRangeException, "Value %f must be greater than or equal %f", value,
                      -kFloatMax);
    m_Value = static_cast<float>(value);
    SetChanged(true);
}

double CFloat::Minimum(bool& set) {
    set = true;
    if (m_pMin != nullptr)
        return m_pMin->GetValue();
    if (m_Min == kMinNotSet)
        m_Min = m_pValue != nullptr ? ToSingle(m_pValue->GetMin()) : m_Value;
    set = m_Min != kMinNotSet;
    return m_Min;
}

double CFloat::Maximum(bool& set) {
    set = true;
    if (m_pMax != nullptr)
        return m_pMax->GetValue();
    if (m_Max == kMaxNotSet)
        m_Max = m_pValue != nullptr ? ToSingle(m_pValue->GetMax()) : m_Value;
    set = m_Max != kMaxNotSet;
    return m_Max;
}

double CFloat::GetMin() {
    NodeMapLock lock(LockTarget());
    bool set = false;
    return Minimum(set);
}

double CFloat::GetMax() {
    NodeMapLock lock(LockTarget());
    bool set = false;
    return Maximum(set);
}

double CFloat::GetInc() {
    NodeMapLock lock(LockTarget());
    return m_pInc != nullptr ? m_pInc->GetValue() : static_cast<double>(m_Inc);
}

ERepresentation CFloat::GetRepresentation() {
    NodeMapLock lock(LockTarget());
    if (m_Representation == _UndefinedRepresentation && m_pValue != nullptr)
        m_Representation = m_pValue->GetRepresentation();
    return m_Representation;
}

EAccessMode CFloat::GetAccessMode() {
    NodeMapLock lock(LockTarget());
    return ValueNodeAccessMode(m_pValue);
}

std::string CFloat::ToString() {
    NodeMapLock lock(LockTarget());
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << ToSingle(GetValue());
    return out.str();
}

void CFloat::FromString(const std::string& text) {
    NodeMapLock lock(LockTarget());
    SetValue(ConvertProperty("Value", text, ParseFloat));
}

bool CFloat::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "pValue") {
        AddChild(SetLinkProperty(m_pValue, name, value, "IFloat"));
        return true;
    }
    if (name == "pMin") {
        AddChild(SetLinkProperty(m_pMin, name, value, "IFloat"));
        return true;
    }
    if (name == "pMax") {
        AddChild(SetLinkProperty(m_pMax, name, value, "IFloat"));
        return true;
    }
    if (name == "pInc") {
        AddChild(SetLinkProperty(m_pInc, name, value, "IFloat"));
        return true;
    }
    if (name == "Value") {
        m_Value = ConvertProperty(name, value, ParseFloat);
        return true;
    }
    if (name == "Min") {
        m_Min = ConvertProperty(name, value, ParseFloat);
        return true;
    }
    if (name == "Max") {
        m_Max = ConvertProperty(name, value, ParseFloat);
        return true;
    }
    if (name == "Inc") {
        m_Inc = ConvertProperty(name, value, ParseFloat);
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

std::string CFloat::GetInfo() {
    NodeMapLock lock(LockTarget());
    if (GetAccessMode() == NP)
        return "Float : not present";
    const double value = GetValue();
    const double minimum = GetMin();
    const double maximum = GetMax();
    return FormatLimited("Float : Value = %f, Min = %f, Max = %f", value, minimum, maximum);
}

} // namespace NodeApi

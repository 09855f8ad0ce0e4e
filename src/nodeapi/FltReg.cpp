// CFltReg: single-precision view of a register.
#include "nodeapi/FltReg.h"

#include <cinttypes>
#include <cmath>
#include <cstring>
#include <locale>
#include <sstream>

#include "nodeapi/PropertyValue.h"
#include "nodeapi/RegisterSetHelper.h"

namespace NodeApi {

double CFltReg::GetValue() {
    NodeMapLock lock(LockTarget());
    uint8_t bytes[4] = {};
    Get(bytes, 4);
    if (m_Endianess != LittleEndian)
        ReverseBytes(bytes, 4);
    uint32_t bits = static_cast<uint32_t>(LoadLittleEndian(bytes, 4));
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void CFltReg::SetValue(double value) {
    NodeMapLock lock(LockTarget());
    if (std::isnan(value))
        NODEAPI_RAISE(OutOfRangeException, "Value %f is not a number", value);
    if (value < m_Min)
        NODEAPI_RAISE(OutOfRangeException, "Value %f must be greater than or equal %f", value,
                      static_cast<double>(m_Min));
    if (value > m_Max)
        NODEAPI_RAISE(OutOfRangeException, "Value %f must be smaller than or equal %f", value,
                      static_cast<double>(m_Max));
    const float narrow = static_cast<float>(value);
    uint32_t bits;
    std::memcpy(&bits, &narrow, sizeof bits);
    uint8_t bytes[4];
    StoreLittleEndian(bits, bytes, 4);
    if (m_Endianess != LittleEndian)
        ReverseBytes(bytes, 4);
    Set(bytes, 4);
}

double CFltReg::GetMin() {
    NodeMapLock lock(LockTarget());
    return m_Min;
}

double CFltReg::GetMax() {
    NodeMapLock lock(LockTarget());
    return m_Max;
}

ERepresentation CFltReg::GetRepresentation() {
    NodeMapLock lock(LockTarget());
    return m_Representation;
}

std::string CFltReg::ToString() {
    NodeMapLock lock(LockTarget());
    const EAccessMode mode = GetAccessMode();
    if (mode != RW && mode != RO)
        return std::string();
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << static_cast<float>(GetValue());
    return out.str();
}

void CFltReg::FromString(const std::string& text) {
    NodeMapLock lock(LockTarget());
    // A register that cannot be written refuses through SetValue's write
    // error rather than ignoring the text.
    SetValue(ConvertProperty("Value", text, ParseFloat));
}

bool CFltReg::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "Endianess") {
        m_Endianess = ConvertProperty(name, value, ParseEndianess);
        return true;
    }
    if (name == "Representation") {
        m_Representation = ConvertProperty(name, value, ParseRepresentation);
        return true;
    }
    if (CRegister::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

void CFltReg::FinalConstruct() {
    NodeMapLock lock(LockTarget());
    if (m_Initialized)
        NODEAPI_RAISE(LogicalErrorException, "Node already initialized");
    if (m_Length != 4)
        NODEAPI_RAISE(PropertyException,
                      "%s : property 'Length' : a float register is 4 bytes long, not %" PRId64,
                      m_Name.c_str(), m_Length);
    CRegister::FinalConstruct();
}

std::string CFltReg::GetInfo() {
    NodeMapLock lock(LockTarget());
    if (GetAccessMode() == NP)
        return "Register: not present";
    double value = GetValue();
    return FormatLimited("FltReg: %g, Min= %g, Max= %g", value, static_cast<double>(m_Min),
                         static_cast<double>(m_Max));
}

} // namespace NodeApi

// Conversions of property value texts.
#include "nodeapi/PropertyValue.h"

#include <cmath>
#include <limits>
#include <locale>
#include <sstream>

#include "nodeapi/ClassicLocale.h"

namespace NodeApi {

namespace {

int DigitValue(char c, unsigned base) {
    int d = -1;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    return d >= 0 && static_cast<unsigned>(d) < base ? d : -1;
}

bool IsBlank(char c) {
    return IsAsciiBlank(c);
}

// Reads [blanks][sign][0x when hexadecimal]digits from text at pos; the
// magnitude must fit 64 bits.
bool ReadMagnitude(const std::string& text, size_t pos, unsigned base, bool& negative,
                   uint64_t& magnitude) {
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
    negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (base == 16 && pos + 1 < text.size() && text[pos] == '0' &&
        (text[pos + 1] == 'x' || text[pos + 1] == 'X') && pos + 2 < text.size() &&
        DigitValue(text[pos + 2], 16) >= 0)
        pos += 2;
    magnitude = 0;
    size_t digits = 0;
    for (; pos < text.size(); ++pos, ++digits) {
        int d = DigitValue(text[pos], base);
        if (d < 0)
            break;
        if (magnitude > (std::numeric_limits<uint64_t>::max() - static_cast<uint64_t>(d)) / base)
            return false; // overflow
        magnitude = magnitude * base + static_cast<uint64_t>(d);
    }
    return digits > 0;
}

// The integer rule: prefix decides the base; the result as sign and magnitude.
bool ReadInteger(const std::string& text, bool& negative, uint64_t& magnitude) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return ReadMagnitude(text, 2, 16, negative, magnitude);
    if (text.size() > 2 && text[0] == '&' && (text[1] == 'h' || text[1] == 'H'))
        return ReadMagnitude(text, 2, 16, negative, magnitude);
    return ReadMagnitude(text, 0, 10, negative, magnitude);
}

template <class T>
bool ParseSigned(const std::string& text, T& value) {
    bool negative;
    uint64_t magnitude;
    if (!ReadInteger(text, negative, magnitude))
        return false;
    const uint64_t maxPositive = static_cast<uint64_t>(std::numeric_limits<T>::max());
    if (negative) {
        if (magnitude > maxPositive + 1)
            return false;
        value = magnitude == maxPositive + 1 ? std::numeric_limits<T>::min()
                                             : static_cast<T>(-static_cast<int64_t>(magnitude));
    } else {
        if (magnitude > maxPositive)
            return false;
        value = static_cast<T>(magnitude);
    }
    return true;
}

template <class T>
bool ParseUnsigned(const std::string& text, T& value) {
    bool negative;
    uint64_t magnitude;
    if (!ReadInteger(text, negative, magnitude))
        return false;
    if (negative && magnitude != 0)
        return false;
    if (magnitude > static_cast<uint64_t>(std::numeric_limits<T>::max()))
        return false;
    value = static_cast<T>(magnitude);
    return true;
}

template <class E, size_t N>
bool ParseEnumText(const std::string& text, E& value, const char* const (&names)[N]) {
    for (size_t i = 0; i < N; ++i) {
        if (text == names[i]) {
            value = static_cast<E>(i);
            return true;
        }
    }
    return false;
}

} // namespace

bool ParseInt64(const std::string& text, int64_t& value) {
    return ParseSigned(text, value);
}
bool ParseInt32(const std::string& text, int32_t& value) {
    return ParseSigned(text, value);
}
bool ParseUInt32(const std::string& text, uint32_t& value) {
    return ParseUnsigned(text, value);
}
bool ParseUInt16(const std::string& text, uint16_t& value) {
    return ParseUnsigned(text, value);
}
bool ParseUInt64(const std::string& text, uint64_t& value) {
    return ParseUnsigned(text, value);
}

bool ParseFloat(const std::string& text, float& value) {
    // Pick out the longest prefix a stream would read as a decimal number.
    size_t pos = 0;
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
    size_t start = pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        ++pos;
    size_t mantissaDigits = 0;
    while (pos < text.size() && IsAsciiDigit(text[pos])) {
        ++pos;
        ++mantissaDigits;
    }
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && IsAsciiDigit(text[pos])) {
            ++pos;
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return false;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        size_t exp = pos + 1;
        if (exp < text.size() && (text[exp] == '+' || text[exp] == '-'))
            ++exp;
        if (exp < text.size() && IsAsciiDigit(text[exp])) {
            while (exp < text.size() && IsAsciiDigit(text[exp]))
                ++exp;
            pos = exp;
        }
    }
    // The classic locale keeps "." as the decimal point whatever the host set.
    std::istringstream in(text.substr(start, pos - start));
    in.imbue(std::locale::classic());
    double wide = 0;
    in >> wide;
    // A number counts as a float when it rounds to a finite single-precision
    // value: everything below the midpoint between the largest float and
    // 2^128 (so the printed form "3.40282347e+38" of the largest is taken).
    const double limit = std::ldexp(2.0 - std::ldexp(1.0, -24), 127);
    if (in.fail() || !std::isfinite(wide) || std::fabs(wide) >= limit)
        return false;
    const double largest = static_cast<double>(std::numeric_limits<float>::max());
    value = static_cast<float>(std::fmax(-largest, std::fmin(largest, wide)));
    return true;
}

bool ParseBool(const std::string& text, bool& value) {
    if (!text.empty() && IsAsciiLetter(text[0])) {
        if (text.compare(0, 4, "true") == 0) {
            value = true;
            return true;
        }
        if (text.compare(0, 5, "false") == 0) {
            value = false;
            return true;
        }
        return false;
    }
    bool negative;
    uint64_t magnitude;
    if (!ReadMagnitude(text, 0, 10, negative, magnitude) || magnitude > 1 ||
        (negative && magnitude != 0))
        return false;
    value = magnitude == 1;
    return true;
}

bool ParseAccessMode(const std::string& text, EAccessMode& value) {
    static const char* const names[] = {"RW", "RO", "WO", "NP", "NE"};
    return ParseEnumText(text, value, names);
}

bool ParseVisibility(const std::string& text, EVisibility& value) {
    static const char* const names[] = {"Beginner", "Expert", "Guru", "Invisible"};
    return ParseEnumText(text, value, names);
}

bool ParseRepresentation(const std::string& text, ERepresentation& value) {
    static const char* const names[] = {"Linear", "Logarithmic", "Boolean"};
    return ParseEnumText(text, value, names);
}

bool ParseSign(const std::string& text, ESign& value) {
    static const char* const names[] = {"Signed", "Unsigned"};
    return ParseEnumText(text, value, names);
}

bool ParseEndianess(const std::string& text, EEndianess& value) {
    static const char* const names[] = {"BigEndian", "LittleEndian"};
    return ParseEnumText(text, value, names);
}

bool ParseText(const std::string& text, std::string& value) {
    value = text;
    return true;
}

} // namespace NodeApi

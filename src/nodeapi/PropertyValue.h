// Conversions of property value texts into numbers, flags and enumerations.
// Each answers false when no value can be read from the text.
#pragma once

#include <cstdint>
#include <string>

#include "nodeapi/Types.h"

namespace NodeApi {

// Integers: leading blanks are skipped and reading stops at the first
// character that does not belong to the number (the rest is ignored).
// Hexadecimal when the text starts with "0x"/"0X", or with "&h"/"&H" and is
// longer than two characters; decimal otherwise (a leading 0 is not octal).
// A value that does not fit the target type fails.
bool ParseInt64(const std::string& text, int64_t& value);
bool ParseInt32(const std::string& text, int32_t& value);
bool ParseUInt32(const std::string& text, uint32_t& value);
bool ParseUInt16(const std::string& text, uint16_t& value);
bool ParseUInt64(const std::string& text, uint64_t& value);

// Single precision, decimal notation, read as a stream reads it (blanks, sign,
// digits, point, exponent); a value beyond the single-precision range fails.
bool ParseFloat(const std::string& text, float& value);

// "true"/"false" when the text starts with a letter, else the numbers 0 or 1.
bool ParseBool(const std::string& text, bool& value);

// Exact, case-sensitive texts.
bool ParseAccessMode(const std::string& text, EAccessMode& value);
bool ParseVisibility(const std::string& text, EVisibility& value);
bool ParseRepresentation(const std::string& text, ERepresentation& value);
bool ParseSign(const std::string& text, ESign& value);
bool ParseEndianess(const std::string& text, EEndianess& value);

// Text is taken unchanged.
bool ParseText(const std::string& text, std::string& value);

} // namespace NodeApi

// CClassicLocale: formats numbers with the classic "C" conventions (decimal
// point ".", no digit grouping) whatever locale the host process has set.
#pragma once

#include <locale.h>

namespace NodeApi {

// While alive, the calling thread formats and parses with the "C" locale;
// the thread's previous locale is restored on destruction. Only the calling
// thread is affected, so a host thread using its own locale at the same time
// keeps it. Should the "C" locale object be unavailable, nothing changes.
class CClassicLocale {
public:
    CClassicLocale();
    ~CClassicLocale();
    CClassicLocale(const CClassicLocale&) = delete;
    CClassicLocale& operator=(const CClassicLocale&) = delete;

private:
    locale_t m_Previous = static_cast<locale_t>(nullptr);
};

// ASCII character classes, independent of any locale.
inline bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}
inline bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
inline bool IsAsciiBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace NodeApi

// CClassicLocale: the "C" locale for the calling thread, for a while.
#include "nodeapi/ClassicLocale.h"

namespace NodeApi {

namespace {

// One "C" locale object for the process, created on first use and kept.
locale_t ClassicLocaleObject() {
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return classic;
}

} // namespace

CClassicLocale::CClassicLocale() {
    const locale_t classic = ClassicLocaleObject();
    if (classic != static_cast<locale_t>(nullptr))
        m_Previous = uselocale(classic);
}

CClassicLocale::~CClassicLocale() {
    if (m_Previous != static_cast<locale_t>(nullptr))
        uselocale(m_Previous);
}

} // namespace NodeApi

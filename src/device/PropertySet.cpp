// PropertySet: lookups and first-value-wins insertion.
#include "device/PropertySet.h"

#include "nodeapi/Exceptions.h"

namespace XCamera {

bool PropertySet::Has(const std::string& name) const {
    return m_Properties.count(name) != 0;
}

std::string PropertySet::Get(const std::string& name) const {
    auto it = m_Properties.find(name);
    if (it == m_Properties.end())
        NODEAPI_RAISE_AT(RuntimeException, "device/PropertySet", 15,
                         "Requested non-existing property '%s'", name.c_str());
    return it->second;
}

void PropertySet::Set(const std::string& name, const std::string& value) {
    m_Properties.emplace(name, value);
}

} // namespace XCamera

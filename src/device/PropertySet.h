// PropertySet: a small name-to-text table carrying options into a device
// enumeration and held by every device record.
#pragma once

#include <map>
#include <string>

namespace XCamera {

// Names are unique and kept in byte-wise text order. Set never replaces a
// value: the first value given for a name stays.
class PropertySet {
public:
    using Map = std::map<std::string, std::string>;

    bool Has(const std::string& name) const;
    // RuntimeException "Requested non-existing property '%s'" when absent.
    std::string Get(const std::string& name) const;
    // Inserts the pair only when name is absent; an existing value is kept.
    void Set(const std::string& name, const std::string& value);

    const Map& Items() const { return m_Properties; }
    bool Empty() const { return m_Properties.empty(); }

private:
    Map m_Properties;
};

} // namespace XCamera

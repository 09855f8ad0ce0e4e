// CNameTable: storage, growth and exact-name lookup of (name, value) records.
#include "nodeapi/NameTable.h"

#include <new>

namespace NodeApi {

CNameTable::CNameTable(size_t valueSize) noexcept
    : m_valueSize(valueSize >= 1 && valueSize <= kMaxValueSize ? valueSize : kMaxValueSize) {}

bool CNameTable::Add(const char* name, size_t nameLength, const void* value) noexcept {
    if ((name == nullptr && nameLength != 0) || value == nullptr) {
        return false;
    }
    try {
        if (m_records.size() >= m_capacity) {
            // Small tables grow in steps of 16 records, larger ones by a quarter.
            const size_t grown = m_capacity <= 64 ? m_capacity + 16 : m_capacity + m_capacity / 4;
            m_records.reserve(grown);
            m_capacity = grown;
        }
        Record record;
        record.name.assign(name, nameLength);
        std::memset(record.value, 0, sizeof(record.value));
        std::memcpy(record.value, value, m_valueSize);
        m_records.push_back(std::move(record));
        return true;
    } catch (...) {
        return false;
    }
}

size_t CNameTable::Find(const char* name, size_t nameLength) const noexcept {
    if (name == nullptr && nameLength != 0) {
        return npos;
    }
    for (size_t i = 0; i < m_records.size(); ++i) {
        const std::string& candidate = m_records[i].name;
        if (candidate.size() == nameLength &&
            (nameLength == 0 || std::memcmp(candidate.data(), name, nameLength) == 0)) {
            return i;
        }
    }
    return npos;
}

const void* CNameTable::ValueAt(size_t index) const noexcept {
    return index < m_records.size() ? m_records[index].value : nullptr;
}

bool CNameTable::SetValueAt(size_t index, const void* value) noexcept {
    if (index >= m_records.size() || value == nullptr) {
        return false;
    }
    std::memcpy(m_records[index].value, value, m_valueSize);
    return true;
}

std::string_view CNameTable::NameAt(size_t index) const noexcept {
    return index < m_records.size() ? std::string_view(m_records[index].name) : std::string_view();
}

} // namespace NodeApi

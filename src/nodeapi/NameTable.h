// CNameTable: a growable table of (name, fixed-width value) records, used for
// the variables handed to a formula evaluator and for its built-in functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace NodeApi {

class CNameTable {
public:
    // Widest value a record can hold: a double or a signed 64-bit integer.
    static constexpr size_t kMaxValueSize = 8;
    static constexpr size_t npos = static_cast<size_t>(-1);

    // valueSize is the width in bytes of every value (8 for variables, 4 for
    // function references); widths outside 1..8 are taken as 8.
    explicit CNameTable(size_t valueSize = kMaxValueSize) noexcept;

    CNameTable(const CNameTable&) = delete;
    CNameTable& operator=(const CNameTable&) = delete;
    CNameTable(CNameTable&&) noexcept = default;
    CNameTable& operator=(CNameTable&&) noexcept = default;

    // Appends a record without looking for an existing one of the same name;
    // value points to ValueSize() bytes. The name is copied. Returns false
    // (table unchanged) when memory runs out or an argument is null.
    bool Add(const char* name, size_t nameLength, const void* value) noexcept;

    // Typed forms; false when sizeof(V) differs from ValueSize(). V is named
    // explicitly (AddValue<int64_t>("A", 6)) so a literal cannot pick a width.
    template <typename V>
    bool AddValue(std::string_view name, V value) noexcept {
        static_assert(kIsValueType<V>, "values are double, int64_t or uint32_t");
        if (sizeof(V) != m_valueSize) {
            return false;
        }
        return Add(name.data(), name.size(), &value);
    }
    template <typename V>
    bool FindValue(std::string_view name, V& out) const noexcept {
        static_assert(kIsValueType<V>, "values are double, int64_t or uint32_t");
        const size_t i = Find(name.data(), name.size());
        if (i == npos || sizeof(V) != m_valueSize) {
            return false;
        }
        std::memcpy(&out, m_records[i].value, sizeof(V));
        return true;
    }

    // Index of the first record whose name equals the given bytes exactly
    // (case-sensitive), or npos.
    size_t Find(const char* name, size_t nameLength) const noexcept;

    // Record access; index must be below Size(), else null / empty / false.
    const void* ValueAt(size_t index) const noexcept;
    bool SetValueAt(size_t index, const void* value) noexcept;
    std::string_view NameAt(size_t index) const noexcept;

    size_t Size() const noexcept { return m_records.size(); }
    size_t Capacity() const noexcept { return m_capacity; }
    size_t ValueSize() const noexcept { return m_valueSize; }

    // Drops every record; the storage stays for reuse.
    void Clear() noexcept { m_records.clear(); }

private:
    template <typename V>
    static constexpr bool kIsValueType =
        std::is_same_v<V, double> || std::is_same_v<V, int64_t> || std::is_same_v<V, uint32_t>;

    struct Record {
        std::string name;
        unsigned char value[kMaxValueSize];
    };

    std::vector<Record> m_records;
    // Capacity by the table's own growth rule (+16 up to 64, then +25%).
    size_t m_capacity = 0;
    size_t m_valueSize;
};

} // namespace NodeApi

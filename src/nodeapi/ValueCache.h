// Per-map cache of register contents, keyed by register address.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace NodeApi {

// Registers that share an address share one entry, so the bit fields of one
// hardware register are served by one cached read. Entries are never removed.
// Its own lock is taken inside the node map's lock.
class CValueCache {
public:
    // Copies min(length, entry length) bytes; an absent address raises
    // RuntimeException "CValueCache::GetValue() - value not present".
    void GetValue(int64_t address, int64_t length, void* destination) const;
    // Creates a valid entry with a copy of the bytes, or marks the existing
    // entry valid and copies the bytes over its start. A store longer than the
    // entry grows it, so the entry never holds fewer bytes than were written.
    void SetValue(int64_t address, int64_t length, const void* source);
    // Marks an existing entry invalid.
    void Invalidate(int64_t address);
    // False for an absent entry.
    bool IsValid(int64_t address) const;
    // Copies length bytes when the entry is valid and holds at least length
    // bytes; otherwise copies nothing and answers false.
    bool TryGetValue(int64_t address, int64_t length, void* destination) const;

private:
    struct Entry {
        bool valid = false;
        std::vector<uint8_t> bytes;
    };
    mutable std::mutex m_Lock;
    std::map<int64_t, Entry> m_Entries;
};

} // namespace NodeApi

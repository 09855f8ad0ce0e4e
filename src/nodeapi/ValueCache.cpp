// Per-map cache of register contents.
#include "nodeapi/ValueCache.h"

#include <algorithm>
#include <cstring>

#include "nodeapi/Exceptions.h"

namespace NodeApi {

namespace {

void CheckBuffer(const void* buffer, int64_t length) {
    if (length < 0 || (length > 0 && buffer == nullptr))
        NODEAPI_RAISE(InvalidArgumentException, "CValueCache : invalid buffer (length %lld)",
                      static_cast<long long>(length));
}

} // namespace

void CValueCache::GetValue(int64_t address, int64_t length, void* destination) const {
    CheckBuffer(destination, length);
    std::lock_guard<std::mutex> lock(m_Lock);
    auto it = m_Entries.find(address);
    if (it == m_Entries.end())
        NODEAPI_RAISE(RuntimeException, "CValueCache::GetValue() - value not present");
    size_t n = std::min(static_cast<size_t>(length), it->second.bytes.size());
    if (n > 0)
        std::memcpy(destination, it->second.bytes.data(), n);
}

void CValueCache::SetValue(int64_t address, int64_t length, const void* source) {
    CheckBuffer(source, length);
    std::lock_guard<std::mutex> lock(m_Lock);
    Entry& entry = m_Entries[address];
    size_t n = static_cast<size_t>(length);
    if (entry.bytes.size() < n)
        entry.bytes.resize(n);
    if (n > 0)
        std::memcpy(entry.bytes.data(), source, n);
    entry.valid = true;
}

void CValueCache::Invalidate(int64_t address) {
    std::lock_guard<std::mutex> lock(m_Lock);
    auto it = m_Entries.find(address);
    if (it != m_Entries.end())
        it->second.valid = false;
}

bool CValueCache::IsValid(int64_t address) const {
    std::lock_guard<std::mutex> lock(m_Lock);
    auto it = m_Entries.find(address);
    return it != m_Entries.end() && it->second.valid;
}

bool CValueCache::TryGetValue(int64_t address, int64_t length, void* destination) const {
    CheckBuffer(destination, length);
    std::lock_guard<std::mutex> lock(m_Lock);
    auto it = m_Entries.find(address);
    if (it == m_Entries.end() || !it->second.valid ||
        it->second.bytes.size() < static_cast<size_t>(length))
        return false;
    if (length > 0)
        std::memcpy(destination, it->second.bytes.data(), static_cast<size_t>(length));
    return true;
}

} // namespace NodeApi

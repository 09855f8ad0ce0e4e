// MemoryPort: in-memory register space for tests.
#include "MemoryPort.h"

#include <cinttypes>
#include <cstring>

#include "nodeapi/Exceptions.h"

namespace KacqTest {

void MemoryPort::AddRegion(int64_t base, int64_t size) {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Regions[base] = Region(static_cast<size_t>(size), 0);
}

MemoryPort::Region* MemoryPort::Find(int64_t address, int64_t length, int64_t& offset) const {
    if (length < 0)
        return nullptr;
    auto it = m_Regions.upper_bound(address);
    if (it == m_Regions.begin())
        return nullptr;
    --it;
    // Unsigned arithmetic: hostile addresses near the limits must not overflow.
    const uint64_t start = static_cast<uint64_t>(address) - static_cast<uint64_t>(it->first);
    const uint64_t size = it->second.size();
    if (start > size || static_cast<uint64_t>(length) > size - start)
        return nullptr;
    offset = static_cast<int64_t>(start);
    return &it->second;
}

uint8_t* MemoryPort::Bytes(int64_t address, int64_t length) const {
    int64_t offset = 0;
    Region* region = Find(address, length, offset);
    if (region == nullptr)
        NODEAPI_RAISE(InvalidArgumentException, "MemoryPort : no register at 0x%016" PRIx64,
                      static_cast<uint64_t>(address));
    return region->data() + offset;
}

void MemoryPort::Poke(int64_t address, const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(m_Lock);
    std::memcpy(Bytes(address, static_cast<int64_t>(bytes.size())), bytes.data(), bytes.size());
}

std::vector<uint8_t> MemoryPort::Peek(int64_t address, int64_t length) const {
    std::lock_guard<std::mutex> lock(m_Lock);
    const uint8_t* bytes = Bytes(address, length);
    return std::vector<uint8_t>(bytes, bytes + length);
}

void MemoryPort::Poke32(int64_t address, uint32_t value) {
    Poke(address, {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                   static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)});
}

uint32_t MemoryPort::Peek32(int64_t address) const {
    std::vector<uint8_t> b = Peek(address, 4);
    return static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
           static_cast<uint32_t>(b[2]) << 8 | b[3];
}

int MemoryPort::Count(const std::map<int64_t, int>& counts, int64_t address) const {
    std::lock_guard<std::mutex> lock(m_Lock);
    auto it = counts.find(address);
    return it == counts.end() ? 0 : it->second;
}

std::vector<MemoryPort::Record> MemoryPort::Log() const {
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Log;
}

void MemoryPort::ResetCounts() {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Reads.clear();
    m_Writes.clear();
    m_Log.clear();
    m_TotalReads = m_TotalWrites = 0;
}

void MemoryPort::Fail(int64_t address, std::exception_ptr error, bool once) {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Failures[address] = Failure{std::move(error), once};
}

void MemoryPort::ClearFailures() {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Failures.clear();
}

uint8_t* MemoryPort::Access(char op, int64_t address, int64_t length, const void* buffer) {
    ++(op == 'R' ? m_Reads : m_Writes)[address];
    ++(op == 'R' ? m_TotalReads : m_TotalWrites);
    auto failure = m_Failures.find(address);
    if (failure != m_Failures.end()) {
        std::exception_ptr error = failure->second.error;
        if (failure->second.once)
            m_Failures.erase(failure);
        std::rethrow_exception(error);
    }
    int64_t offset = 0;
    Region* region = Find(address, length, offset);
    if (region == nullptr || (length > 0 && buffer == nullptr))
        NODEAPI_RAISE(RuntimeException, "MemoryPort : cannot %s %" PRId64 " bytes at 0x%016" PRIx64,
                      op == 'R' ? "read" : "write", length, static_cast<uint64_t>(address));
    uint8_t* bytes = region->data() + offset;
    if (m_KeepLog)
        m_Log.push_back(Record{op, address, length, Region(bytes, bytes + length)});
    return bytes;
}

void MemoryPort::Read(void* destination, int64_t address, int64_t length) {
    std::lock_guard<std::mutex> lock(m_Lock);
    const uint8_t* bytes = Access('R', address, length, destination);
    if (length > 0)
        std::memcpy(destination, bytes, static_cast<size_t>(length));
}

void MemoryPort::Write(const void* source, int64_t address, int64_t length) {
    std::lock_guard<std::mutex> lock(m_Lock);
    uint8_t* bytes = Access('W', address, length, source);
    if (length > 0)
        std::memcpy(bytes, source, static_cast<size_t>(length));
    if (m_KeepLog)
        m_Log.back().data.assign(bytes, bytes + length);
}

} // namespace KacqTest

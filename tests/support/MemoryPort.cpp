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

const MemoryPort::Region* MemoryPort::Find(int64_t address, int64_t length, int64_t& offset) const {
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

MemoryPort::Region* MemoryPort::Find(int64_t address, int64_t length, int64_t& offset) {
    return const_cast<Region*>(static_cast<const MemoryPort*>(this)->Find(address, length, offset));
}

void MemoryPort::Poke(int64_t address, const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(m_Lock);
    int64_t offset = 0;
    Region* region = Find(address, static_cast<int64_t>(bytes.size()), offset);
    if (region == nullptr)
        NODEAPI_RAISE(InvalidArgumentException, "MemoryPort : no register at 0x%016" PRIx64,
                      static_cast<uint64_t>(address));
    std::memcpy(region->data() + offset, bytes.data(), bytes.size());
}

std::vector<uint8_t> MemoryPort::Peek(int64_t address, int64_t length) const {
    std::lock_guard<std::mutex> lock(m_Lock);
    int64_t offset = 0;
    const Region* region = Find(address, length, offset);
    if (region == nullptr)
        NODEAPI_RAISE(InvalidArgumentException, "MemoryPort : no register at 0x%016" PRIx64,
                      static_cast<uint64_t>(address));
    return std::vector<uint8_t>(region->begin() + offset, region->begin() + offset + length);
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

int MemoryPort::TotalReads() const {
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_TotalReads;
}

int MemoryPort::TotalWrites() const {
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_TotalWrites;
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

void MemoryPort::InjectFailure(int64_t address) {
    auto it = m_Failures.find(address);
    if (it == m_Failures.end())
        return;
    std::exception_ptr error = it->second.error;
    if (it->second.once)
        m_Failures.erase(it);
    std::rethrow_exception(error);
}

void MemoryPort::Read(void* destination, int64_t address, int64_t length) {
    std::lock_guard<std::mutex> lock(m_Lock);
    ++m_Reads[address];
    ++m_TotalReads;
    InjectFailure(address);
    int64_t offset = 0;
    const Region* region = Find(address, length, offset);
    if (region == nullptr || (length > 0 && destination == nullptr))
        NODEAPI_RAISE(RuntimeException,
                      "MemoryPort : cannot read %" PRId64 " bytes at 0x%016" PRIx64, length,
                      static_cast<uint64_t>(address));
    if (length > 0)
        std::memcpy(destination, region->data() + offset, static_cast<size_t>(length));
    if (m_KeepLog)
        m_Log.push_back(
            Record{'R', address, length,
                   Region(region->begin() + offset, region->begin() + offset + length)});
}

void MemoryPort::Write(const void* source, int64_t address, int64_t length) {
    std::lock_guard<std::mutex> lock(m_Lock);
    ++m_Writes[address];
    ++m_TotalWrites;
    InjectFailure(address);
    int64_t offset = 0;
    Region* region = Find(address, length, offset);
    if (region == nullptr || (length > 0 && source == nullptr))
        NODEAPI_RAISE(RuntimeException,
                      "MemoryPort : cannot write %" PRId64 " bytes at 0x%016" PRIx64, length,
                      static_cast<uint64_t>(address));
    const auto* bytes = static_cast<const uint8_t*>(source);
    if (length > 0)
        std::memcpy(region->data() + offset, bytes, static_cast<size_t>(length));
    if (m_KeepLog)
        m_Log.push_back(Record{'W', address, length, std::vector<uint8_t>(bytes, bytes + length)});
}

} // namespace KacqTest

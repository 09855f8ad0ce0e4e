// MemoryPort: an in-memory register space for tests, with access counts, a
// log, failure injection and absent regions.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "nodeapi/Interfaces.h"
#include "nodeapi/Node.h"

namespace KacqTest {

// A node (so it can be entered into a map or attached to a CPort) and an IPort
// over regions of bytes; an access outside one region raises. Bytes are stored
// as the port hands them out, so Poke32 stores a quadlet most significant first.
class MemoryPort : public NodeApi::CNodeImpl, public NodeApi::IPort {
public:
    struct Record {
        char op; // 'R' or 'W'
        int64_t address;
        int64_t length;
        std::vector<uint8_t> data; // bytes written, or bytes read
    };

    MemoryPort() = default;
    MemoryPort(int64_t base, int64_t size) { AddRegion(base, size); }

    void AddRegion(int64_t base, int64_t size); // zeroed; regions must not overlap

    // Direct access to the contents; no counts, no failures.
    void Poke(int64_t address, const std::vector<uint8_t>& bytes);
    std::vector<uint8_t> Peek(int64_t address, int64_t length) const;
    void Poke32(int64_t address, uint32_t value);
    uint32_t Peek32(int64_t address) const;

    int ReadCount(int64_t address) const { return Count(m_Reads, address); }
    int WriteCount(int64_t address) const { return Count(m_Writes, address); }
    int TotalReads() const { return m_TotalReads; }
    int TotalWrites() const { return m_TotalWrites; }
    std::vector<Record> Log() const;
    void ResetCounts();

    // The next access (or every access) starting at address throws error.
    void FailOnce(int64_t address, std::exception_ptr error) { Fail(address, error, true); }
    void FailAlways(int64_t address, std::exception_ptr error) { Fail(address, error, false); }
    void ClearFailures();

    void SetOpen(bool open) { m_Open = open; } // closed: NP, like a camera that is not open

    void KeepLog(bool keep) { m_KeepLog = keep; }

    void Read(void* destination, int64_t address, int64_t length) override;
    void Write(const void* source, int64_t address, int64_t length) override;
    NodeApi::EAccessMode GetAccessMode() override { return m_Open ? NodeApi::RW : NodeApi::NP; }

private:
    struct Failure {
        std::exception_ptr error;
        bool once;
    };

    using Region = std::vector<uint8_t>;
    // The region holding [address, address + length), or null.
    Region* Find(int64_t address, int64_t length, int64_t& offset) const;
    // The bytes of a direct access, or InvalidArgumentException.
    uint8_t* Bytes(int64_t address, int64_t length) const;
    // Counts, fails as asked, then the bytes or RuntimeException.
    uint8_t* Access(char op, int64_t address, int64_t length, const void* buffer);
    int Count(const std::map<int64_t, int>& counts, int64_t address) const;
    void Fail(int64_t address, std::exception_ptr error, bool once);

    mutable std::mutex m_Lock;
    mutable std::map<int64_t, Region> m_Regions; // by base address
    std::map<int64_t, int> m_Reads;
    std::map<int64_t, int> m_Writes;
    std::map<int64_t, Failure> m_Failures;
    std::vector<Record> m_Log;
    bool m_KeepLog = true;
    std::atomic<int> m_TotalReads{0};
    std::atomic<int> m_TotalWrites{0};
    std::atomic<bool> m_Open{true};
};

} // namespace KacqTest

// RecordingTransport: a test build of the GTrans functions that records every call, answers
// scripted statuses and serves registers from an emulated camera's register space.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Emulator {
class RegisterSpace;
}

namespace KacqTest {

constexpr uint32_t kRegisterAccessFailed = 0xC1020001u;

struct TransportCall {
    std::string Function;
    // For register calls: count, the addresses, then (writes) the values.
    std::vector<uint64_t> Args;
    std::string Text;
};

// One process-wide instance, reset by each test; not thread-safe (callers use one thread).
class RecordingTransport {
public:
    static RecordingTransport& Instance();
    void Reset();

    // The next calls of function answer these statuses in turn, then 0.
    void Script(const std::string& function, std::vector<uint32_t> statuses);
    uint32_t NextStatus(const std::string& function);

    std::vector<TransportCall> Calls;
    std::vector<TransportCall> CallsOf(const std::string& function) const;
    std::vector<std::string> Names() const;

    // Register values (host order) answered instead of the register space's, by 32-bit address.
    std::map<uint32_t, uint32_t> Overrides;
    Emulator::RegisterSpace& Space() { return *m_pSpace; }

    std::vector<std::pair<std::string, std::string>> Servers;

    // Unlisted: "status 0x%08x"; empty: answers 0 and writes nothing. NeedStep > 0: each "buffer
    // too small" asks for only NeedStep more bytes than given.
    std::map<uint32_t, std::string> StatusTexts;
    uint32_t NeedStep = 0;
    bool AlwaysTooSmall = false;
    bool Unterminated = false;

    // A wait gives the oldest context as filled, else times out; after a flush, as incomplete,
    // else the flushed status.
    std::deque<void*> Queued;
    bool Flushed = false;

    uint32_t DeviceHandle = 0x11;
    uint32_t GrabberHandle = 0x22;

private:
    RecordingTransport();
    std::unique_ptr<Emulator::RegisterSpace> m_pSpace;
    std::map<std::string, std::deque<uint32_t>> m_Scripts;
};

} // namespace KacqTest

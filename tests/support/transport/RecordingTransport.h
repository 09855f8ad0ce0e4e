// RecordingTransport: a test build of the transport library's GTrans
// functions. Every call is recorded with its arguments; statuses are scripted
// per function; registers are served by an emulated camera's register space.
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

// Status of a register access the emulated camera refuses.
constexpr uint32_t kRegisterAccessFailed = 0xC1020001u;

struct TransportCall {
    std::string Function;
    // The arguments as passed: handles, sizes, flags; for register calls the
    // count followed by the addresses (and for writes the values).
    std::vector<uint64_t> Args;
    // A text argument (device name, port text), else empty.
    std::string Text;
};

// One process-wide instance, reset by each test; no thread-safety (the
// device layer calls the transport from the caller's thread only).
class RecordingTransport {
public:
    static RecordingTransport& Instance();

    // Back to a fresh state: no calls, scripts or settings, a fresh camera
    // register space.
    void Reset();

    // The next calls of function answer these statuses in turn, then 0.
    void Script(const std::string& function, std::vector<uint32_t> statuses);
    uint32_t NextStatus(const std::string& function);

    std::vector<TransportCall> Calls;
    // Calls of one function, in order.
    std::vector<TransportCall> CallsOf(const std::string& function) const;
    // Names of every call, in order.
    std::vector<std::string> Names() const;

    // Register values (host order) answered instead of the register space's,
    // keyed by the 32-bit address the transport sees.
    std::map<uint32_t, uint32_t> Overrides;
    Emulator::RegisterSpace& Space() { return *m_pSpace; }

    // Devices GxEnumServer reports, in order (first text, second text).
    std::vector<std::pair<std::string, std::string>> Servers;

    // Status texts. A status without a text reads "status 0x%08x". With
    // NeedStep > 0 each "buffer too small" answer asks for only NeedStep more
    // bytes than given, so a long text takes several tries; AlwaysTooSmall
    // never gives the text.
    std::map<uint32_t, std::string> StatusTexts;
    // An empty text answers 0 without writing anything; Unterminated texts
    // fill the buffer without a terminator.
    uint32_t NeedStep = 0;
    bool AlwaysTooSmall = false;
    bool Unterminated = false;

    // Stream: contexts received and not yet handed back, and whether the
    // grabber was flushed. After a flush the queued contexts come back as
    // incomplete, then the flushed status with none; before it, a wait gives
    // the oldest as filled, or the time-out status when none is queued.
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

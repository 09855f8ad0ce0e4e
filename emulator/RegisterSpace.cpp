// The generic register engine: address checks, big-endian quadlet transfer,
// write masks and hook dispatch, and the table consistency check.
#include "emulator/RegisterSpace.h"

#include "emulator/AddressMap.h"

#include <cinttypes>
#include <cstdio>

namespace Emulator {

RegisterSpace::RegisterSpace(const ModelSpec& model) : model_(model) {
    BuildMap();
    ResetLocked();
}

const Block* RegisterSpace::FindBlock(uint64_t address) const {
    for (const Block& b : blocks_) {
        if (address >= b.base && address - b.base < b.size) {
            return &b;
        }
    }
    return nullptr;
}

Register* RegisterSpace::Find(uint64_t address) {
    const auto it = index_.find(address);
    return it == index_.end() ? nullptr : &registers_[it->second];
}

Register& RegisterSpace::Reg(uint64_t address) {
    Register* r = Find(address);
    if (r == nullptr) {
        // Only reached through a fault in the tables themselves.
        throw std::logic_error("emulator: no register at a fixed address");
    }
    return *r;
}

const Register& RegisterSpace::Reg(uint64_t address) const {
    return const_cast<RegisterSpace*>(this)->Reg(address);
}

Status RegisterSpace::Check(uint64_t address, const void* buffer, size_t length) const {
    if (length == 0 || length - 1 > UINT64_MAX - address) {
        return Status::BadLength; // empty, or the last byte would wrap past 2^64
    }
    if (buffer == nullptr) {
        return Status::NullBuffer;
    }
    if (address % 4 != 0 || length % 4 != 0) {
        return Status::Misaligned;
    }
    // Every quadlet must fall inside some block; walk block by block.
    const uint64_t last = address + (length - 1);
    for (uint64_t a = address;;) {
        const Block* b = FindBlock(a);
        if (b == nullptr) {
            return Status::Unmapped;
        }
        const uint64_t blockLast = b->base + (b->size - 1);
        if (blockLast >= last) {
            return Status::Ok;
        }
        a = blockLast + 1;
    }
}

uint32_t RegisterSpace::ReadLocked(uint64_t address) {
    const Register* r = Find(address);
    if (r == nullptr) {
        return 0; // reserved quadlet inside a block
    }
    return r->read ? (this->*r->read)(*r) : r->value;
}

void RegisterSpace::WriteLocked(uint64_t address, uint32_t written) {
    Register* r = Find(address);
    if (r == nullptr) {
        return; // reserved: ignored
    }
    if ((r->flags & kStreamLocked) && Sending()) {
        return;
    }
    uint32_t proposed = (r->value & ~r->writable) | (written & r->writable);
    proposed &= ~(written & r->w1c);
    if (r->write) {
        (this->*r->write)(*r, proposed, written);
    } else {
        r->value = proposed;
    }
}

Status RegisterSpace::Read(uint64_t address, void* destination, size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Status status = Check(address, destination, length);
    if (status != Status::Ok) {
        return status;
    }
    uint8_t* out = static_cast<uint8_t*>(destination);
    for (size_t i = 0; i < length; i += 4) {
        const uint32_t v = ReadLocked(address + i);
        out[i] = uint8_t(v >> 24);
        out[i + 1] = uint8_t(v >> 16);
        out[i + 2] = uint8_t(v >> 8);
        out[i + 3] = uint8_t(v);
    }
    return Status::Ok;
}

Status RegisterSpace::Write(uint64_t address, const void* source, size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Status status = Check(address, source, length);
    if (status != Status::Ok) {
        return status;
    }
    const uint8_t* in = static_cast<const uint8_t*>(source);
    for (size_t i = 0; i < length; i += 4) {
        const uint32_t v = uint32_t(in[i]) << 24 | uint32_t(in[i + 1]) << 16 |
                           uint32_t(in[i + 2]) << 8 | in[i + 3];
        WriteLocked(address + i, v);
    }
    return Status::Ok;
}

uint32_t RegisterSpace::ReadQuadlet(uint64_t address) {
    uint8_t bytes[4];
    const Status status = Read(address, bytes, 4);
    if (status != Status::Ok) {
        throw AccessError(status, false, address, 4);
    }
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

void RegisterSpace::WriteQuadlet(uint64_t address, uint32_t value) {
    const uint8_t bytes[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8),
                              uint8_t(value)};
    const Status status = Write(address, bytes, 4);
    if (status != Status::Ok) {
        throw AccessError(status, true, address, 4);
    }
}

std::vector<Register> RegisterSpace::Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return registers_;
}

void RegisterSpace::Initialize() {
    std::lock_guard<std::mutex> lock(mutex_);
    ResetLocked();
}

std::vector<std::string> RegisterSpace::CheckTables() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> problems = tableProblems_;
    auto problem = [&](const Register& r, const char* what) {
        char text[200];
        std::snprintf(text, sizeof text, "%s at 0x%012" PRIx64 ": %s", r.name, r.address, what);
        problems.push_back(text);
    };
    for (size_t i = 0; i < blocks_.size(); ++i) {
        for (size_t j = i + 1; j < blocks_.size(); ++j) {
            const Block& a = blocks_[i];
            const Block& b = blocks_[j];
            if (a.base < b.base + b.size && b.base < a.base + a.size) {
                problems.push_back(std::string("blocks overlap: ") + a.name + ", " + b.name);
            }
        }
        if (blocks_[i].base % 4 != 0 || blocks_[i].size % 4 != 0 || blocks_[i].size == 0) {
            problems.push_back(std::string("block not quadlet aligned: ") + blocks_[i].name);
        }
    }
    for (Register& r : registers_) {
        if (r.address % 4 != 0) {
            problem(r, "address not quadlet aligned");
        }
        if (FindBlock(r.address) == nullptr) {
            problem(r, "outside every block");
        }
        if (r.writable & r.w1c) {
            problem(r, "bits both writable and write-1-to-clear");
        }
        if (r.read && !r.write && r.writable == 0 && r.w1c == 0 && r.reset != 0) {
            problem(r, "derived register with a stored reset value");
        }
        // A write hook that validates must accept the row's own reset value:
        // start from a different value and write the reset value back.
        if (r.write && (r.flags & kPersist)) {
            r.value = ~r.reset;
            (this->*r.write)(r, r.reset, r.reset);
            if (r.value != r.reset) {
                problem(r, "reset value refused by its write hook");
            }
            r.value = r.reset;
        }
    }
    if (Reg(kCommandBase + Cmd::kFeatureErrorHi).value != 0) {
        problems.push_back("a reset feature value raised the feature error status");
    }
    for (size_t m = 0; m < model_.modes.size(); ++m) {
        if (Reg(ModeBase(unsigned(m)) + F7::kValueSetting).value & (kErrorFlag1 | kErrorFlag2)) {
            problems.push_back("a reset Format_7 value raised a value-setting error flag");
        }
    }
    ResetLocked();
    return problems;
}

} // namespace Emulator

// CRegister: a byte range of the register space, read and written through a port.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nodeapi/Interfaces.h"
#include "nodeapi/Node.h"

namespace NodeApi {

class CValueCache;

// Longest register the framework allocates a buffer for, in bytes.
constexpr int64_t kMaxRegisterLength = 1 << 20;

class CRegister : public IRegister, public CNodeImpl {
public:
    static constexpr const char* kClassName = "CRegister";

    CRegister() = default;

    // IRegister; both compute the address first. Get copies min(length,
    // register length) bytes; Set writes exactly the caller's length.
    void Set(const uint8_t* source, int64_t length) override;
    void Get(uint8_t* destination, int64_t length) override;
    int64_t GetLength() override;

    // INode
    EAccessMode GetAccessMode() override;
    std::string ToString() override;
    void FromString(const std::string& text) override;
    void InvalidateCache() override;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;
    void FinalConstruct() override;

    // INodeDebug
    std::string GetInfo() override;

    // The register's address, computed from its terms and address nodes.
    int64_t GetAddress();

protected:
    void CollectChildDependants(NodeList_t& path) override;
    // Sum of the address terms and address nodes (64-bit, wrapping). The first
    // computation drops a cached entry at the new address.
    int64_t ComputeAddress();
    // The CNodeImpl rule; when it gives neither NP nor NE, the register's own mode.
    EAccessMode RegisterAccessMode();
    // The port, raising when the description named none.
    IPort& Port();
    // The map's value cache.
    CValueCache& Cache();
    // Keeps the buffer the size of the register (it is allocated by
    // FinalConstruct; an unfinished register gets it on first use).
    void EnsureBuffer();
    // Raises InvalidArgumentException for a negative length or a null buffer.
    void CheckCallerBuffer(const void* buffer, int64_t length) const;
    // RuntimeException "Can't read from Register 0x<16 digits>. Access mode is <mode>".
    [[noreturn]] void RaiseReadError(int64_t address, EAccessMode mode) const;

    IPort* m_pPort = nullptr;
    int64_t m_Address = -1;
    int64_t m_Length = 0;
    std::vector<uint8_t> m_Buffer;
    NodeList_t m_Invalidators;
    std::vector<int64_t> m_AddressTerms;
    std::vector<IInteger*> m_AddressNodes;
    // No default: a register without "AccessMode" reads but refuses writes.
    EAccessMode m_AccessMode = _UndefinedAccessMode;

private:
    CValueCache* m_pCache = nullptr;
};

} // namespace NodeApi

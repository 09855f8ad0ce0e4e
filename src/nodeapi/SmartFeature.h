// CSmartFeature: the base address of a vendor-specific smart feature, found by
// asking the camera with the feature's GUID.
#pragma once

#include <cstdint>
#include <string>

#include "nodeapi/Register.h"

namespace NodeApi {

// A GUID in its usual in-memory layout.
struct Guid {
    uint32_t Data1 = 0;
    uint16_t Data2 = 0;
    uint16_t Data3 = 0;
    uint8_t Data4[8] = {};
};

// Reads "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (hexadecimal digits of either
// case, exactly 8-4-4-4-12 of them, blanks allowed around the hyphens and at
// both ends). False for anything else; guid is then unchanged.
bool ParseGuid(const std::string& text, Guid& guid);
// The canonical upper-case form of a GUID.
std::string GuidText(const Guid& guid);
// The 16-byte inquiry of a GUID: its in-memory bytes as four little-endian
// 32-bit words, each stored as one big-endian quadlet.
void GuidInquiry(const Guid& guid, uint8_t inquiry[16]);

// The register at its address takes the 16-byte inquiry and answers with 24
// bytes, whose quadlets 5 (high half) and 4 (low half) are the feature's base
// address; 0 means the camera lacks the feature. The answer is kept until the
// node is invalidated. Writing a value is accepted and ignored.
class CSmartFeature : public CRegister, public IInteger {
public:
    static constexpr const char* kClassName = "CSmartFeature";
    // Bytes of the inquiry reply.
    static constexpr int64_t kReplyLength = 24;

    CSmartFeature();

    // IRegister, without the value cache: the reply depends on the inquiry
    // written just before.
    void Set(const uint8_t* source, int64_t length) override;
    void Get(uint8_t* destination, int64_t length) override;

    // IInteger
    void SetValue(int64_t) override {}
    int64_t GetValue() override;
    int64_t GetMin() override { return 0; }
    int64_t GetMax() override { return INT64_MAX; }
    int64_t GetInc() override { return 0; }
    ERepresentation GetRepresentation() override { return _UndefinedRepresentation; }

    // INode
    EAccessMode GetAccessMode() override;
    // "1" when an earlier read found a non-zero address, else "0"; it does not
    // ask the camera itself.
    std::string ToString() override;
    // Accepted and ignored, like a value write.
    void FromString(const std::string&) override {}
    // Forgets the address: the next read asks the camera again.
    void InvalidateCache() override;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;
    // Refuses a "Length" shorter than the 24-byte reply.
    void FinalConstruct() override;

    // INodeDebug
    std::string GetInfo() override;

    const Guid& GetFeatureId() const { return m_FeatureId; }

private:
    Guid m_FeatureId;
    uint64_t m_FeatureAddress = 0;
    bool m_Valid = false;
};

} // namespace NodeApi

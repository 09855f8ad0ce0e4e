// CIEEE1212Parser: configuration ROM read, checks, directory walks, text leaves.
#include "nodeapi/IEEE1212Parser.h"

#include <cinttypes>
#include <cstdint>
#include <exception>
#include <utility>

#include "nodeapi/PropertyValue.h"
#include "nodeapi/RegisterSetHelper.h"

namespace NodeApi {

namespace {

// Entry types, bits 7..6 of a key byte.
enum EntryType : uint8_t { Immediate = 0, CsrOffset = 1, Leaf = 2, Directory = 3 };

EntryType TypeOf(uint8_t key) {
    return static_cast<EntryType>(key >> 6);
}

// Result of searching one directory.
enum class Found { No, Yes, Stop };

// Result of examining a unit directory for the unit specifier ID.
enum class Verdict { None, Accept, Reject };

} // namespace

// Reads a checked ROM image quadlet by quadlet. Offsets are quadlet indices
// into the image; a pointer is only formed (for the message) from an index.
class CIEEE1212Parser::Walker {
public:
    Walker(CIEEE1212Parser& parser, const std::vector<uint8_t>& rom)
        : m_Parser(parser), m_Begin(rom.data()), m_Quadlets(rom.size() / 4) {}

    // Quadlet q in host order; RuntimeException "p=%p out of range [%p,%p)"
    // when it does not lie wholly inside the image.
    uint32_t Quadlet(uint64_t q) const {
        Check(q);
        return LoadBigEndian32(m_Begin + q * 4);
    }

    void Check(uint64_t q) const {
        if (q >= m_Quadlets)
            RaiseOutOfRange(q);
    }

    // The bus information block checks; answers the root directory's index.
    uint64_t CheckBusInfo(uint64_t& uniqueId) const {
        const uint64_t infoLength = Quadlet(0) >> 24;
        Check(infoLength); // the quadlet before the root directory
        if (infoLength < 4)
            NODEAPI_RAISE(RuntimeException, "unsupported configuration rom");
        if (Quadlet(1) != kBusName1394)
            NODEAPI_RAISE(RuntimeException, "unsupported bus");
        uniqueId = static_cast<uint64_t>(Quadlet(3)) << 32 | Quadlet(4);
        return infoLength + 1;
    }

    // Index of the last entry of the directory (or leaf) whose header is at
    // q; equal to q when it has no entries. Both are checked.
    uint64_t LastOf(uint64_t q) const {
        const uint64_t last = q + (Quadlet(q) >> 16);
        Check(last);
        return last;
    }

    // Index that the leaf or directory entry at q points to. Offsets are
    // unsigned, so every pointer leads forward; one of 0 would make the entry
    // its own leaf or directory and is refused.
    uint64_t TargetOf(uint64_t q) const {
        const uint32_t offset = Quadlet(q) & 0x00FFFFFF;
        if (offset == 0)
            NODEAPI_RAISE(RuntimeException,
                          "configuration rom entry at p=0x%" PRIxPTR " points at itself",
                          Address(q));
        return q + offset;
    }

    static uint8_t KeyOf(uint32_t entry) { return static_cast<uint8_t>(entry >> 24); }

    // Step 4: the first unit directory (from the root's last entry back) whose
    // unit specifier ID is ours; -1 when none.
    int64_t FindUnitDirectory(uint64_t root) {
        Guard guard(*this);
        const uint64_t last = LastOf(root);
        for (uint64_t e = last; e > root; --e) {
            if (KeyOf(Quadlet(e)) != kUnitDirectoryKey)
                continue;
            const uint64_t unit = TargetOf(e);
            if (ExamineUnitDirectory(unit, guard) == Verdict::Accept)
                return static_cast<int64_t>(unit);
        }
        return -1;
    }

    // Step 5: the root directory alone, then the accepted unit directory and
    // everything below it.
    void SearchKey(uint64_t root, int64_t unit, uint8_t key) {
        const uint64_t last = LastOf(root);
        for (uint64_t e = last; e > root; --e) {
            if (KeyOf(Quadlet(e)) == key) {
                HandleEntry(e, last, key);
                return;
            }
        }
        if (unit < 0)
            return;
        Guard guard(*this);
        SearchDirectory(static_cast<uint64_t>(unit), key, guard);
    }

private:
    // Keeps a walk short. Pointers lead forward only, so no walk comes back
    // to a directory on its own path; but directories may be shared (and
    // overlap), so one already walked completely is skipped (its answer would
    // be the same). Each directory is then walked at most once, and nesting is
    // bounded so a long forward chain cannot exhaust the stack.
    class Guard {
    public:
        explicit Guard(const Walker& walker) : m_Done(walker.m_Quadlets, false) {}

        // False when q was walked already. q must be a checked index.
        bool Enter(uint64_t q) {
            if (m_Done[q])
                return false;
            if (m_Depth >= kMaxDirectoryDepth)
                NODEAPI_RAISE(RuntimeException,
                              "configuration rom directories nested deeper than %d levels",
                              kMaxDirectoryDepth);
            ++m_Depth;
            return true;
        }
        void Leave(uint64_t q) {
            m_Done[q] = true;
            --m_Depth;
        }

    private:
        std::vector<bool> m_Done; // per quadlet index
        int m_Depth = 0;
    };

    uintptr_t Address(uint64_t q) const {
        return reinterpret_cast<uintptr_t>(m_Begin) + static_cast<uintptr_t>(q * 4);
    }

    [[noreturn]] void RaiseOutOfRange(uint64_t q) const {
        NODEAPI_RAISE(RuntimeException,
                      "p=0x%" PRIxPTR " out of range [0x%" PRIxPTR ",0x%" PRIxPTR ")", Address(q),
                      Address(0), Address(m_Quadlets));
    }

    // Looks for the unit specifier ID from the directory's last entry back;
    // without one, through its unit-dependent directories the same way.
    Verdict ExamineUnitDirectory(uint64_t dir, Guard& guard) {
        const uint64_t last = LastOf(dir);
        if (!guard.Enter(dir))
            return Verdict::None;
        Verdict verdict = Verdict::None;
        for (uint64_t e = last; e > dir && verdict == Verdict::None; --e) {
            const uint32_t entry = Quadlet(e);
            if (KeyOf(entry) != kUnitSpecIdKey)
                continue;
            if ((entry & 0x00FFFFFF) != m_Parser.m_UnitId) {
                verdict = Verdict::Reject;
            } else {
                HandleEntry(e, last, kUnitSpecIdKey);
                verdict = Verdict::Accept;
            }
        }
        for (uint64_t e = last; e > dir && verdict == Verdict::None; --e) {
            if (KeyOf(Quadlet(e)) == kUnitDependentDirectoryKey)
                verdict = ExamineUnitDirectory(TargetOf(e), guard);
        }
        // Left on every answer: the walk goes on with the root's next entry.
        guard.Leave(dir);
        return verdict;
    }

    // Searches a directory and the directories below it for key, from the
    // last entry back. A leaf key that is rejected lets the search go on; a
    // directory key ends it without result.
    Found SearchDirectory(uint64_t dir, uint8_t key, Guard& guard) {
        const uint64_t last = LastOf(dir);
        if (!guard.Enter(dir))
            return Found::No;
        Found found = Found::No;
        for (uint64_t e = last; e > dir && found == Found::No; --e) {
            const uint8_t entryKey = KeyOf(Quadlet(e));
            const EntryType type = TypeOf(entryKey);
            if (entryKey == key) {
                if (type == Directory) {
                    found = Found::Stop;
                } else if (type == Leaf) {
                    std::string text;
                    if (ParseTextLeaf(TargetOf(e), text)) {
                        m_Parser.m_Texts.emplace(key, std::move(text));
                        found = Found::Yes;
                    }
                } else {
                    HandleEntry(e, last, key);
                    found = Found::Yes;
                }
            } else if (type == Directory) {
                found = SearchDirectory(TargetOf(e), key, guard);
            }
        }
        guard.Leave(dir);
        return found;
    }

    // Step 6 for the entry at e (last: the last entry of its directory).
    void HandleEntry(uint64_t e, uint64_t last, uint8_t key) {
        const uint32_t entry = Quadlet(e);
        switch (TypeOf(KeyOf(entry))) {
        case Immediate:
        case CsrOffset: {
            m_Parser.m_Immediates.emplace(key, entry & 0x00FFFFFF);
            if (e >= last)
                return;
            // A descriptor of the entry follows it in the same directory.
            const uint8_t nextKey = KeyOf(Quadlet(e + 1));
            std::string text;
            if (nextKey == kTextLeafKey) {
                if (ParseTextLeaf(TargetOf(e + 1), text))
                    m_Parser.m_Texts.emplace(key, std::move(text));
            } else if (nextKey == kTextDirectoryKey) {
                if (ParseTextDirectory(TargetOf(e + 1), text))
                    m_Parser.m_Texts.emplace(key, std::move(text));
            }
            return;
        }
        case Leaf: {
            std::string text;
            if (ParseTextLeaf(TargetOf(e), text))
                m_Parser.m_Texts.emplace(key, std::move(text));
            return;
        }
        case Directory:
            NODEAPI_RAISE(RuntimeException, "Key type is directory (key=0x%X)?!",
                          static_cast<unsigned>(key));
        }
    }

    // The first acceptable text leaf of a textual descriptor directory, from
    // its last entry back. The directory's own entries only: no recursion.
    bool ParseTextDirectory(uint64_t dir, std::string& text) {
        const uint64_t last = LastOf(dir);
        for (uint64_t e = last; e > dir; --e) {
            if (KeyOf(Quadlet(e)) == kTextLeafKey && ParseTextLeaf(TargetOf(e), text))
                return true;
        }
        return false;
    }

    // Step 7: a textual descriptor leaf in our language, width and character
    // set. Quadlet 1: descriptor type (8 bits), specifier ID (24 bits);
    // quadlet 2: width (4), character set (12), language (16); the text is
    // every byte of quadlets 3 to the end, padding included.
    bool ParseTextLeaf(uint64_t leaf, std::string& text) {
        const uint64_t length = Quadlet(leaf) >> 16;
        if (length < 3)
            return false;
        Check(leaf + length);
        const uint32_t descriptor = Quadlet(leaf + 1);
        const uint32_t format = Quadlet(leaf + 2);
        const uint32_t width = format >> 28;
        const uint32_t charSet = (format >> 16) & 0x0FFF;
        const uint32_t language = format & 0xFFFF;
        if (descriptor != 0 || width != 0 || charSet != m_Parser.m_CharSet ||
            language != m_Parser.m_Language)
            return false;
        const uint8_t* first = m_Begin + (leaf + 3) * 4;
        text.assign(reinterpret_cast<const char*>(first), static_cast<size_t>((length - 2) * 4));
        return true;
    }

    CIEEE1212Parser& m_Parser;
    const uint8_t* m_Begin;
    uint64_t m_Quadlets;
};

bool CIEEE1212Parser::GetTextByKey(uint8_t key, std::string& text) {
    NodeMapLock lock(LockTarget());
    auto it = m_Texts.find(key);
    if (it == m_Texts.end()) {
        Search(key);
        it = m_Texts.find(key);
        if (it == m_Texts.end())
            return false;
    }
    text = it->second;
    return true;
}

bool CIEEE1212Parser::GetImmediateByKey(uint8_t key, uint32_t& value) {
    NodeMapLock lock(LockTarget());
    auto it = m_Immediates.find(key);
    if (it == m_Immediates.end()) {
        Search(key);
        it = m_Immediates.find(key);
        if (it == m_Immediates.end())
            return false;
    }
    value = it->second;
    return true;
}

uint64_t CIEEE1212Parser::GetUniqueId() {
    NodeMapLock lock(LockTarget());
    return m_UniqueId;
}

void CIEEE1212Parser::Search(uint8_t key) {
    if (!m_RomRead) {
        // Read into a separate image: a failed read leaves the last one alone.
        std::vector<uint8_t> image(static_cast<size_t>(m_Length));
        CRegister::Get(image.data(), m_Length);
        m_Rom.swap(image);
        m_UnitDirectory = -1;
    }
    Walker walker(*this, m_Rom);
    uint64_t uniqueId = 0;
    uint64_t root = 0;
    try {
        root = walker.CheckBusInfo(uniqueId);
    } catch (const GenericException&) {
        // An unusable ROM (a camera still starting, say) must not be served
        // from the value cache to the next attempt.
        CRegister::InvalidateCache();
        throw;
    }
    m_UniqueId = uniqueId;
    m_RomRead = true;
    if (m_UnitDirectory < 0)
        m_UnitDirectory = walker.FindUnitDirectory(root);
    walker.SearchKey(root, m_UnitDirectory, key);
}

void CIEEE1212Parser::Forget() {
    m_RomRead = false;
    m_UniqueId = 0;
    m_UnitDirectory = -1;
    m_Immediates.clear();
    m_Texts.clear();
}

void CIEEE1212Parser::InvalidateCache() {
    NodeMapLock lock(LockTarget());
    // The ROM bytes in the value cache must not answer the re-read.
    CRegister::InvalidateCache();
    if (!m_RomRead)
        return; // nothing taken from a ROM yet
    auto* port = dynamic_cast<INode*>(m_pPort);
    if (port == nullptr)
        return;
    const EAccessMode mode = port->GetAccessMode();
    if (mode != RW && mode != RO)
        return; // no camera to ask; keep what we have
    std::vector<uint8_t> image(static_cast<size_t>(m_Length));
    try {
        CRegister::Get(image.data(), m_Length);
    } catch (...) {
        // Whether the camera is still the same is unknown: start over.
        Forget();
        throw;
    }
    uint64_t uniqueId = 0;
    bool same = false;
    try {
        Walker(*this, image).CheckBusInfo(uniqueId);
        same = uniqueId == m_UniqueId;
    } catch (const GenericException&) {
        // Not a usable ROM any more: another device, start over.
    }
    if (!same)
        Forget();
}

bool CIEEE1212Parser::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "Unit") {
        // The unit specifier ID is a 24-bit field of the ROM.
        const uint32_t unit = ConvertProperty(name, value, ParseUInt32);
        if (unit > 0x00FFFFFF)
            RaiseConvertError(name, value);
        m_UnitId = unit;
        return true;
    }
    if (CRegister::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

std::string CIEEE1212Parser::GetInfo() {
    NodeMapLock lock(LockTarget());
    if (m_Address == -1)
        ComputeAddress();
    return FormatLimited("CIEEE1212Parser: m_UnitId=0x%" PRIx32 ", m_Address=0x%" PRIx64
                         ", m_Length=0x%" PRIx64 ", m_Language=%" PRIu32 ", m_CharSet=%" PRIu32,
                         m_UnitId, static_cast<uint64_t>(m_Address),
                         static_cast<uint64_t>(m_Length), m_Language, m_CharSet);
}

} // namespace NodeApi

// CSymTable: building the per-first-character operator lists and matching them.
#include "nodeapi/SymTable.h"

#include <array>
#include <cstring>

namespace NodeApi {

CSymTable::CSymTable(std::string_view definition) {
    // Gather the operators per first character, in definition order, then lay
    // the lists out back to back so one character's records are contiguous.
    std::array<std::vector<Record>, 256> lists;
    size_t length = 0;
    size_t i = 0;
    while (i < definition.size()) {
        if (definition[i] == kLengthMark) {
            length = i + 1 < definition.size() ? static_cast<unsigned char>(definition[i + 1]) : 0;
            i += 2;
            continue;
        }
        if (length < 1 || length > kMaxOperatorLength || i + length > definition.size()) {
            break;
        }
        if (m_count <= 255) {
            Record record{};
            std::memcpy(record.text, definition.data() + i, length);
            record.length = static_cast<uint8_t>(length);
            record.index = static_cast<uint8_t>(m_count);
            lists[static_cast<unsigned char>(record.text[0])].push_back(record);
            ++m_count;
        }
        i += length;
    }
    for (int c = 0; c < 256; ++c) {
        m_first[c] = -1;
        std::vector<Record>& list = lists[static_cast<size_t>(c)];
        if (list.empty()) {
            continue;
        }
        m_first[c] = static_cast<int>(m_records.size());
        for (size_t r = 0; r < list.size(); ++r) {
            list[r].more = r + 1 < list.size() ? 1 : 0;
            m_records.push_back(list[r]);
        }
    }
}

int CSymTable::Lookup(const char* text, size_t* length) const noexcept {
    if (text == nullptr) {
        return -1;
    }
    int r = m_first[static_cast<unsigned char>(text[0])];
    if (r < 0) {
        return -1;
    }
    for (;;) {
        const Record& record = m_records[static_cast<size_t>(r)];
        // Compare byte by byte: a mismatch at the input's NUL stops the
        // comparison before it can run past the end of the text.
        size_t k = 0;
        while (k < record.length && text[k] == record.text[k]) {
            ++k;
        }
        if (k == record.length) {
            if (length != nullptr) {
                *length = record.length;
            }
            return record.index;
        }
        if (!record.more) {
            return -1;
        }
        ++r;
    }
}

} // namespace NodeApi

// CSymTable: the formula operator table, mapping the operator text at an
// input position to its operator index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace NodeApi {

class CSymTable {
public:
    // Byte that, followed by a length byte (1 to 3), sets the length of the
    // operators written after it in a definition string.
    static constexpr char kLengthMark = '\x1b';
    static constexpr size_t kMaxOperatorLength = 3;

    // One operator: its text (NUL-padded), length, index, and whether another
    // record with the same first character follows in the list.
    struct Record {
        char text[4];
        uint8_t length;
        uint8_t index;
        uint8_t more;
    };
    static_assert(sizeof(Record) == 7, "an operator record is 7 bytes");

    // Builds the table from a definition string; operators receive indices
    // 0, 1, 2, ... in the order they appear. Operators before the first length
    // mark, with a length outside 1..3, or past index 255 are ignored.
    explicit CSymTable(std::string_view definition);

    // Index of the first operator whose text matches the NUL-terminated input
    // at text, and its length; -1 when none matches. Never reads past the
    // input's terminating NUL.
    int Lookup(const char* text, size_t* length = nullptr) const noexcept;

    // Number of operators defined.
    size_t Count() const noexcept { return m_count; }

private:
    // Records of all first characters back to back; m_first[c] is the index
    // of the first record for character c, or -1.
    std::vector<Record> m_records;
    int m_first[256];
    size_t m_count = 0;
};

} // namespace NodeApi

// Shared enumerations of the node framework and their texts.
#pragma once

#include <cstdint>

namespace NodeApi {

// Access mode of a node. Numbers are part of the interface.
enum EAccessMode : int32_t {
    RW = 0,
    RO = 1,
    WO = 2,
    NP = 3, // not present
    NE = 4, // not enabled
    _UndefinedAccessMode = 5
};

enum EVisibility : int32_t {
    Beginner = 0,
    Expert = 1,
    Guru = 2,
    Invisible = 3,
    _UndefinedVisibility = 4
};

enum ERepresentation : int32_t {
    Linear = 0,
    Logarithmic = 1,
    Boolean = 2,
    _UndefinedRepresentation = 3
};

// Signedness of a register value.
enum ESign : int32_t { Signed = 0, Unsigned = 1, _UndefinedSign = 2 };

// Byte order of a register value; anything but LittleEndian is read as big-endian.
enum EEndianess : int32_t { BigEndian = 0, LittleEndian = 1, _UndefinedEndian = 2 };

// Texts; values outside the enumeration give the "_Undefined..." text.
const char* AccessModeText(EAccessMode mode);
const char* VisibilityText(EVisibility visibility);
const char* RepresentationText(ERepresentation representation);
const char* SignText(ESign sign);
const char* EndianessText(EEndianess endianess);

} // namespace NodeApi

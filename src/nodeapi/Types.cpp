// Texts of the shared enumerations.
#include "nodeapi/Types.h"

namespace NodeApi {

const char* AccessModeText(EAccessMode mode) {
    switch (mode) {
    case RW:
        return "RW";
    case RO:
        return "RO";
    case WO:
        return "WO";
    case NP:
        return "NP";
    case NE:
        return "NE";
    default:
        return "_UndefinedAccessMode";
    }
}

const char* VisibilityText(EVisibility visibility) {
    switch (visibility) {
    case Beginner:
        return "Beginner";
    case Expert:
        return "Expert";
    case Guru:
        return "Guru";
    case Invisible:
        return "Invisible";
    default:
        return "_UndefinedVisibility";
    }
}

const char* RepresentationText(ERepresentation representation) {
    switch (representation) {
    case Linear:
        return "Linear";
    case Logarithmic:
        return "Logarithmic";
    case Boolean:
        return "Boolean";
    default:
        return "_UndefinedRepresentation";
    }
}

const char* SignText(ESign sign) {
    switch (sign) {
    case Signed:
        return "Signed";
    case Unsigned:
        return "Unsigned";
    default:
        return "_UndefinedSign";
    }
}

const char* EndianessText(EEndianess endianess) {
    switch (endianess) {
    case BigEndian:
        return "BigEndian";
    case LittleEndian:
        return "LittleEndian";
    default:
        return "_UndefinedEndian";
    }
}

} // namespace NodeApi

// Typed camera interface: handle binding and the typed enumeration operations.
#include "xcam/XCamInterface.h"

#include "nodeapi/Exceptions.h"
#include "nodeapi/Types.h"

namespace XCamInterface {

namespace {
// The conversion errors carry this source with each class's own line.
constexpr const char* kSource = "xcam/XCamInterface";
} // namespace

void CTypedEnumeration::SetIntValue(int32_t value) {
    SetStoredOrLinkedValue(value);
}

int32_t CTypedEnumeration::GetIntValue() {
    return GetStoredOrLinkedValue();
}

std::string CTypedEnumeration::ToString() {
    std::string symbolic;
    m_EnumDelegate.ValueToSymbolic(symbolic, GetIntValue());
    return symbolic;
}

void CTypedEnumeration::SetFromSymbolic(const std::string& text, uint32_t errorLine) {
    int64_t value = 0;
    if (!m_EnumDelegate.SymbolicToValue(text, value)) {
        // The message names the node and the rejected text; its last place
        // stays empty.
        NODEAPI_RAISE_AT(PropertyException, kSource, errorLine,
                         "%s : property '%s' : cannot convert value '%s'", m_Name.c_str(),
                         text.c_str(), "");
    }
    // An entry the camera does not offer now (its inquiry bit is clear) is
    // refused here rather than left to the camera to ignore.
    NodeApi::NodeList_t entries;
    m_EnumDelegate.GetEntries(entries);
    for (NodeApi::INode* entry : entries) {
        auto* asEntry = dynamic_cast<NodeApi::IEnumEntry*>(entry);
        if (asEntry == nullptr || asEntry->GetSymbolic() != text)
            continue;
        const NodeApi::EAccessMode mode = entry->GetAccessMode();
        if (mode == NodeApi::NP || mode == NodeApi::NE)
            NODEAPI_RAISE(InvalidArgumentException, "%s : value '%s' is not available (%s)",
                          m_Name.c_str(), text.c_str(), NodeApi::AccessModeText(mode));
        break;
    }
    SetIntValue(static_cast<int32_t>(value));
}

#define XCAM_BIND_FEATURE(name, type) , name(&m_pNodeMap->Member<type>(#name))

CXCamInterface::CXCamInterface(NodeApi::IPort* cameraPort, NodeApi::IPort* grabberPort)
    : m_pNodeMap(new CXCamNodeMap(cameraPort, grabberPort)) XCAM_FEATURE_LIST(XCAM_BIND_FEATURE) {}

#undef XCAM_BIND_FEATURE

CXCamInterface::~CXCamInterface() = default;

} // namespace XCamInterface

// The eXcite feature tree built into a node map from the rows of FeatureTree.
#include "xcam/XCamNodeMap.h"

#include <cstring>

#include "nodeapi/ClassRegistry.h"
#include "nodeapi/DcamAccessCtrlReg.h"
#include "nodeapi/EnumEntry.h"
#include "nodeapi/Exceptions.h"
#include "nodeapi/IEEE1212Parser.h"
#include "nodeapi/Node.h"
#include "nodeapi/SwissKnife.h"
#include "xcam/FeatureTree.h"
#include "xcam/XCamInterface.h"

namespace XCamInterface {

namespace {

using NodeApi::INodeConstruct;

using Factory = std::unique_ptr<INodeConstruct> (*)();

template <class T>
std::unique_ptr<INodeConstruct> Make() {
    return std::make_unique<T>();
}

struct ClassRow {
    const char* className;
    Factory create;
};

#define XCAM_CLASS(T)                                                                              \
    { T::kClassName, &Make<T> }

// The classes the tree uses that the process-wide registry does not hold
// (the entries, the typed enumerations, the float formula, the access
// control register, the ROM parser); every other class comes from the
// registry.
const ClassRow kClasses[] = {
    XCAM_CLASS(NodeApi::CEnumEntry),
    XCAM_CLASS(NodeApi::CSwissKnife),
    XCAM_CLASS(NodeApi::CDcamAccessCtrlReg),
    XCAM_CLASS(NodeApi::CIEEE1212Parser),
    XCAM_CLASS(CEnumeration_ColorCodingEnums),
    XCAM_CLASS(CEnumeration_TriggerModeEnums),
    XCAM_CLASS(CEnumeration_TriggerPolarityEnums),
    XCAM_CLASS(CEnumeration_TriggerSourceEnums),
    XCAM_CLASS(CEnumeration_TestImageEnums),
    XCAM_CLASS(CEnumeration_PioOut0SrcEnums),
    XCAM_CLASS(CEnumeration_PioOut0MonitorEnums),
    XCAM_CLASS(CEnumeration_PioOut0SettingEnums),
    XCAM_CLASS(CEnumeration_PioOut1SrcEnums),
    XCAM_CLASS(CEnumeration_PioOut1MonitorEnums),
    XCAM_CLASS(CEnumeration_PioOut1SettingEnums),
    XCAM_CLASS(CEnumeration_PioOut2SrcEnums),
    XCAM_CLASS(CEnumeration_PioOut2MonitorEnums),
    XCAM_CLASS(CEnumeration_PioOut2SettingEnums),
    XCAM_CLASS(CEnumeration_PioOut3SrcEnums),
    XCAM_CLASS(CEnumeration_PioOut3MonitorEnums),
    XCAM_CLASS(CEnumeration_PioOut3SettingEnums),
    XCAM_CLASS(CEnumeration_Strobe0PolarityEnums),
    XCAM_CLASS(CEnumeration_Strobe1PolarityEnums),
    XCAM_CLASS(CEnumeration_Strobe2PolarityEnums),
    XCAM_CLASS(CEnumeration_Strobe3PolarityEnums),
    XCAM_CLASS(CEnumeration_VideoModeEnums),
};

#undef XCAM_CLASS

std::unique_ptr<INodeConstruct> CreateTreeNode(const char* className, const char* nodeName) {
    if (std::unique_ptr<INodeConstruct> node = NodeApi::CreateNode(className))
        return node;
    for (const ClassRow& row : kClasses) {
        if (std::strcmp(row.className, className) == 0)
            return row.create();
    }
    NODEAPI_RAISE(LogicalErrorException, "Node %s: unknown node class '%s'", nodeName, className);
}

constexpr const char* kCameraPort = "CameraPort";
constexpr const char* kGrabberPort = "GrabberPort";

void AttachPort(INodeConstruct* node, const char* name, NodeApi::IPort* port) {
    auto* portNode = dynamic_cast<NodeApi::IPortConstruct*>(node);
    if (portNode == nullptr)
        NODEAPI_RAISE(LogicalErrorException, "Node %s: not a port node", name);
    portNode->SetPortImpl(port);
}

} // namespace

CXCamNodeMap::CXCamNodeMap(NodeApi::IPort* cameraPort, NodeApi::IPort* grabberPort) {
    // A port node without an implementation would answer every register with
    // zeros and the tree would describe a camera that is not there.
    if (cameraPort == nullptr || grabberPort == nullptr)
        NODEAPI_RAISE(InvalidArgumentException,
                      "CXCamNodeMap: the camera port and the grabber port are required");
    std::size_t count = 0;
    const FeatureNodeRow* rows = FeatureNodes(&count);
    std::size_t propertyCount = 0;
    const FeaturePropertyRow* properties = FeatureProperties(&propertyCount);

    // 1. Every node object.
    m_Nodes.reserve(count);
    INodeConstruct* cameraPortNode = nullptr;
    INodeConstruct* grabberPortNode = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        m_Nodes.push_back(CreateTreeNode(rows[i].className, rows[i].name));
        if (std::strcmp(rows[i].name, kCameraPort) == 0)
            cameraPortNode = m_Nodes.back().get();
        else if (std::strcmp(rows[i].name, kGrabberPort) == 0)
            grabberPortNode = m_Nodes.back().get();
    }

    // 2. The port implementations, camera side first.
    AttachPort(cameraPortNode, kCameraPort, cameraPort);
    AttachPort(grabberPortNode, kGrabberPort, grabberPort);

    // 3. Names and the name table, in list order.
    for (std::size_t i = 0; i < count; ++i)
        m_Nodes[i]->SetNodeMap(this, rows[i].name);

    // 4. Properties, node by node, each node's rows in table order. Every
    // node is in the map already, so a link may name any node.
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t end = rows[i].firstProperty + rows[i].propertyCount;
        if (end > propertyCount || end < rows[i].firstProperty)
            NODEAPI_RAISE(LogicalErrorException, "Node %s: property rows out of range",
                          rows[i].name);
        for (std::size_t p = rows[i].firstProperty; p < end; ++p)
            m_Nodes[i]->SetProperty(properties[p].name, properties[p].value);
    }

    // 5. Final construction; the camera port node stays open so that the
    // owner may still attach another implementation.
    for (std::size_t i = 0; i < count; ++i) {
        if (m_Nodes[i].get() != cameraPortNode)
            m_Nodes[i]->FinalConstruct();
    }

    // 6. Dependants from Root, with the cycle check of the walk.
    if (!CollectDependantsFromRoot())
        NODEAPI_RAISE(LogicalErrorException, "Node Root: missing or not a node");
}

CXCamNodeMap::~CXCamNodeMap() = default;

NodeApi::INodeConstruct* CXCamNodeMap::NodeAt(std::size_t index) const {
    return index < m_Nodes.size() ? m_Nodes[index].get() : nullptr;
}

void CXCamNodeMap::RaiseNoMember(const std::string& name) {
    NODEAPI_RAISE(LogicalErrorException, "Node %s: not a member of the camera's node map",
                  name.c_str());
}

} // namespace XCamInterface

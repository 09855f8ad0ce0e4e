// CXCamInterface: typed handles on the camera features the module uses, over
// the camera's node map; and the typed enumeration node classes of the tree.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "nodeapi/Enumeration.h"
#include "nodeapi/Interfaces.h"
#include "xcam/XCamNodeMap.h"

namespace XCamInterface {

// Shared implementation of the typed enumerations: the value lives in the
// integer node behind "pValue", or in the node itself when there is none. The
// typed operations take no lock of their own; the value node takes the map
// lock. Symbolic texts are converted through the entry table.
class CTypedEnumeration : public NodeApi::CEnumerationBase {
public:
    // Over "pValue": its SetValue with the value widened with its sign.
    // Without: stores the value and marks this node changed.
    void SetIntValue(int32_t value);
    int32_t operator=(int32_t value) {
        SetIntValue(value);
        return value;
    }
    // Over "pValue": its GetValue cut to the low 32 bits; else the stored one.
    int32_t GetIntValue();
    int32_t operator()() { return GetIntValue(); }

    // The Symbolic text of the current value (InvalidArgumentException from
    // the entry table for a value without an entry).
    std::string ToString() override;

protected:
    CTypedEnumeration() = default;
    // Sets the value of the entry with Symbolic text; any other text raises
    // PropertyException with source "xcam/XCamInterface" and errorLine, and an
    // entry that is NP or NE (not offered by the camera) raises
    // InvalidArgumentException; neither writes anything.
    void SetFromSymbolic(const std::string& text, uint32_t errorLine);
};

// One typed enumeration class: ErrorLine is the source line its conversion
// error carries.
template <uint32_t ErrorLine>
class CTypedEnumerationT : public CTypedEnumeration {
public:
    using CTypedEnumeration::operator=;
    void FromString(const std::string& text) override { SetFromSymbolic(text, ErrorLine); }
};

// The 22 enumeration classes of the tree, each with its error line.
#define XCAM_TYPED_ENUMERATION(X, line)                                                            \
    class CEnumeration_##X##Enums : public CTypedEnumerationT<line> {                              \
    public:                                                                                        \
        static constexpr const char* kClassName = "CEnumeration_" #X "Enums";                      \
        using CTypedEnumerationT<line>::operator=;                                                 \
    };

XCAM_TYPED_ENUMERATION(ColorCoding, 73)
XCAM_TYPED_ENUMERATION(TriggerMode, 150)
XCAM_TYPED_ENUMERATION(TriggerPolarity, 225)
XCAM_TYPED_ENUMERATION(TriggerSource, 303)
XCAM_TYPED_ENUMERATION(TestImage, 384)
XCAM_TYPED_ENUMERATION(PioOut0Src, 462)
XCAM_TYPED_ENUMERATION(PioOut0Monitor, 537)
XCAM_TYPED_ENUMERATION(PioOut0Setting, 612)
XCAM_TYPED_ENUMERATION(PioOut1Src, 690)
XCAM_TYPED_ENUMERATION(PioOut1Monitor, 765)
XCAM_TYPED_ENUMERATION(PioOut1Setting, 840)
XCAM_TYPED_ENUMERATION(PioOut2Src, 918)
XCAM_TYPED_ENUMERATION(PioOut2Monitor, 993)
XCAM_TYPED_ENUMERATION(PioOut2Setting, 1068)
XCAM_TYPED_ENUMERATION(PioOut3Src, 1146)
XCAM_TYPED_ENUMERATION(PioOut3Monitor, 1221)
XCAM_TYPED_ENUMERATION(PioOut3Setting, 1296)
XCAM_TYPED_ENUMERATION(Strobe0Polarity, 1371)
XCAM_TYPED_ENUMERATION(Strobe1Polarity, 1446)
XCAM_TYPED_ENUMERATION(Strobe2Polarity, 1521)
XCAM_TYPED_ENUMERATION(Strobe3Polarity, 1596)
XCAM_TYPED_ENUMERATION(VideoMode, 1677)

#undef XCAM_TYPED_ENUMERATION

// The features with a typed handle, in field order: X(name, type of the
// handle). The handle's name is the feature's node name.
#define XCAM_FEATURE_LIST(X)                                                                       \
    X(AdvFeature, NodeApi::IInteger)                                                               \
    X(OneShot, NodeApi::IBoolean)                                                                  \
    X(ContinuousShot, NodeApi::IBoolean)                                                           \
    X(ErrorFlag1, NodeApi::IInteger)                                                               \
    X(ErrorFlag2, NodeApi::IInteger)                                                               \
    X(ErrorShutter, NodeApi::IBoolean)                                                             \
    X(ErrorGain, NodeApi::IBoolean)                                                                \
    X(ErrorBrightness, NodeApi::IBoolean)                                                          \
    X(ErrorTrigger, NodeApi::IBoolean)                                                             \
    X(ErrorWhiteBalance, NodeApi::IBoolean)                                                        \
    X(FrameInterval, NodeApi::IFloat)                                                              \
    X(XPosition, NodeApi::IInteger)                                                                \
    X(YPosition, NodeApi::IInteger)                                                                \
    X(Width, NodeApi::IInteger)                                                                    \
    X(Height, NodeApi::IInteger)                                                                   \
    X(Shutter, NodeApi::IInteger)                                                                  \
    X(Brightness, NodeApi::IInteger)                                                               \
    X(Gain, NodeApi::IInteger)                                                                     \
    X(WhiteBalanceUB, NodeApi::IInteger)                                                           \
    X(WhiteBalanceVR, NodeApi::IInteger)                                                           \
    X(TriggerEnable, NodeApi::IBoolean)                                                            \
    X(TriggerMode, CEnumeration_TriggerModeEnums)                                                  \
    X(TriggerPolarity, CEnumeration_TriggerPolarityEnums)                                          \
    X(TriggerSource, CEnumeration_TriggerSourceEnums)                                              \
    X(SoftwareTrigger, NodeApi::IBoolean)                                                          \
    X(TriggerFlag, NodeApi::IBoolean)                                                              \
    X(TriggerCounter, NodeApi::IInteger)                                                           \
    X(TestImage, CEnumeration_TestImageEnums)                                                      \
    X(ShutterTimeBaseEnable, NodeApi::IBoolean)                                                    \
    X(ShutterTimeBase, NodeApi::IFloat)                                                            \
    X(ExtVerInfo, NodeApi::IString)                                                                \
    X(PioOutput, NodeApi::IInteger)                                                                \
    X(PioInput, NodeApi::IInteger)                                                                 \
    X(PioOut0Src, CEnumeration_PioOut0SrcEnums)                                                    \
    X(PioOut0Monitor, CEnumeration_PioOut0MonitorEnums)                                            \
    X(PioOut0Invert, NodeApi::IBoolean)                                                            \
    X(PioOut0Setting, CEnumeration_PioOut0SettingEnums)                                            \
    X(PioOut1Src, CEnumeration_PioOut1SrcEnums)                                                    \
    X(PioOut1Monitor, CEnumeration_PioOut1MonitorEnums)                                            \
    X(PioOut1Invert, NodeApi::IBoolean)                                                            \
    X(PioOut1Setting, CEnumeration_PioOut1SettingEnums)                                            \
    X(PioOut2Src, CEnumeration_PioOut2SrcEnums)                                                    \
    X(PioOut2Monitor, CEnumeration_PioOut2MonitorEnums)                                            \
    X(PioOut2Invert, NodeApi::IBoolean)                                                            \
    X(PioOut2Setting, CEnumeration_PioOut2SettingEnums)                                            \
    X(PioOut3Src, CEnumeration_PioOut3SrcEnums)                                                    \
    X(PioOut3Monitor, CEnumeration_PioOut3MonitorEnums)                                            \
    X(PioOut3Invert, NodeApi::IBoolean)                                                            \
    X(PioOut3Setting, CEnumeration_PioOut3SettingEnums)                                            \
    X(Strobe0Enable, NodeApi::IBoolean)                                                            \
    X(Strobe0Polarity, CEnumeration_Strobe0PolarityEnums)                                          \
    X(Strobe0Delay, NodeApi::IInteger)                                                             \
    X(Strobe0Duration, NodeApi::IInteger)                                                          \
    X(Strobe1Enable, NodeApi::IBoolean)                                                            \
    X(Strobe1Polarity, CEnumeration_Strobe1PolarityEnums)                                          \
    X(Strobe1Delay, NodeApi::IInteger)                                                             \
    X(Strobe1Duration, NodeApi::IInteger)                                                          \
    X(Strobe2Enable, NodeApi::IBoolean)                                                            \
    X(Strobe2Polarity, CEnumeration_Strobe2PolarityEnums)                                          \
    X(Strobe2Delay, NodeApi::IInteger)                                                             \
    X(Strobe2Duration, NodeApi::IInteger)                                                          \
    X(Strobe3Enable, NodeApi::IBoolean)                                                            \
    X(Strobe3Polarity, CEnumeration_Strobe3PolarityEnums)                                          \
    X(Strobe3Delay, NodeApi::IInteger)                                                             \
    X(Strobe3Duration, NodeApi::IInteger)                                                          \
    X(StrobeDurationTimeBase, NodeApi::IInteger)                                                   \
    X(Strobe0Duration_s, NodeApi::IFloat)                                                          \
    X(Strobe1Duration_s, NodeApi::IFloat)                                                          \
    X(Strobe2Duration_s, NodeApi::IFloat)                                                          \
    X(Strobe3Duration_s, NodeApi::IFloat)                                                          \
    X(StrobeDelayTimeBase, NodeApi::IInteger)                                                      \
    X(Strobe0Delay_s, NodeApi::IFloat)                                                             \
    X(Strobe1Delay_s, NodeApi::IFloat)                                                             \
    X(Strobe2Delay_s, NodeApi::IFloat)                                                             \
    X(Strobe3Delay_s, NodeApi::IFloat)                                                             \
    X(VideoMode, CEnumeration_VideoModeEnums)                                                      \
    X(ColorCoding, CEnumeration_ColorCodingEnums)                                                  \
    X(Bandwidth, NodeApi::IInteger)                                                                \
    X(DataDepth, NodeApi::IInteger)                                                                \
    X(PixelNumber, NodeApi::IInteger)                                                              \
    X(PacketNumber, NodeApi::IInteger)                                                             \
    X(TotalBytes, NodeApi::IInteger)                                                               \
    X(SaveMemory, NodeApi::IBoolean)                                                               \
    X(SaveMemoryCh, NodeApi::IInteger)                                                             \
    X(StartupMemoryCh, NodeApi::IInteger)                                                          \
    X(VendorName, NodeApi::IString)                                                                \
    X(ModelName, NodeApi::IString)                                                                 \
    X(CpuTemperature, NodeApi::IInteger)                                                           \
    X(BoardTemperature, NodeApi::IInteger)

// Owns the camera's node map and binds one handle per feature to its node.
// A plain class: no virtual operations. The handles are not owned and become
// invalid with the map, which lives exactly as long as this object.
class CXCamInterface {
public:
    // Builds the node map over the two ports (see CXCamNodeMap), then binds
    // the handles; a failure in either raises and leaves nothing behind.
    CXCamInterface(NodeApi::IPort* cameraPort, NodeApi::IPort* grabberPort);
    ~CXCamInterface();

    CXCamInterface(const CXCamInterface&) = delete;
    CXCamInterface& operator=(const CXCamInterface&) = delete;

    CXCamNodeMap& GetNodeMap() const { return *m_pNodeMap; }

private:
    const std::unique_ptr<CXCamNodeMap> m_pNodeMap;

public:
#define XCAM_DECLARE_FEATURE(name, type) type* const name;
    XCAM_FEATURE_LIST(XCAM_DECLARE_FEATURE)
#undef XCAM_DECLARE_FEATURE
};

// Number of typed feature handles.
constexpr int kTypedFeatureCount = 89;

} // namespace XCamInterface

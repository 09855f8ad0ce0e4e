// The eXcite camera's feature tree as plain data: one row per node (name and
// class) and one row per property (node, property name, value text).
//
// The rows are generated from src/xcam/FeatureTree.txt by
// tools/gen_feature_tree.py. The node map is built from them in this order:
// name and enter every node in FeatureNodes() order, then set every node's
// properties (its rows of FeatureProperties(), in order), then finish every
// node except CameraPort, then collect dependants from Root. Property rows
// are grouped by node in the same order as the node rows, so walking
// FeatureProperties() front to back sets them in the required order; list
// properties (pFeature, pEnumEntry, pVariable, pInvalidator, Address,
// pAddress) repeat and keep their order.
//
// Expansion of the compact register rows: "pAddress"/"Address" per address
// term, "LSB"/"MSB" for a bit field, "AccessMode", then the register defaults
// "Length" "4", "Endianess" "BigEndian" (integer and float registers), "Sign"
// "Unsigned" (integer registers), "pPort" "CameraPort", each only where the
// row does not give its own value. Smart features, the ROM parser, text keys
// and ports carry exactly the properties of their rows.
//
// The texts are static and never change; the rows may be read from any
// thread at any time, including during static initialisation.
#pragma once

#include <cstddef>

namespace XCamInterface {

// Number of nodes of the tree.
constexpr std::size_t kFeatureNodeCount = 466;

// One node: its name, the class it is constructed as (for example
// "CMaskedIntReg" or "CEnumeration_ColorCodingEnums"), and its property rows
// FeatureProperties()[firstProperty, firstProperty + propertyCount).
struct FeatureNodeRow {
    const char* name;
    const char* className;
    std::size_t firstProperty;
    std::size_t propertyCount;
};

// One SetProperty call: the node it is made on, the property name and the
// value text exactly as handed to the node (blanks are part of the text). A
// property whose name starts with "p" names a node of the tree ("pVariable":
// "NAME=Node").
struct FeaturePropertyRow {
    const char* node;
    const char* name;
    const char* value;
};

// All node rows in node-list order (Root first, CameraPort last); *count, if
// given, receives their number.
const FeatureNodeRow* FeatureNodes(std::size_t* count);

// All property rows, grouped by node in node-list order; *count, if given,
// receives their number.
const FeaturePropertyRow* FeatureProperties(std::size_t* count);

} // namespace XCamInterface

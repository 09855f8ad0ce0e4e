// CCategory: a group of features and sub-categories in the browsing tree.
#pragma once

#include <string>

#include "nodeapi/Node.h"

namespace NodeApi {

// Its members are its children, in the order of the "pFeature" and
// "pCategory" properties.
class CCategory : public CNodeImpl {
public:
    static constexpr const char* kClassName = "CCategory";

    CCategory() = default;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;

    // INodeDebug: "Category <name space>::<name> :\n  containing N features",
    // cut after 250 characters with "[...]".
    std::string GetInfo() override;
};

} // namespace NodeApi

// CCategory: category node.
#include "nodeapi/Category.h"

namespace NodeApi {

namespace {
// Longest category line kept whole; a longer one ends in "[...]" after it.
constexpr size_t kMaxCategoryInfo = 250;
} // namespace

bool CCategory::SetProperty(const std::string& name, const std::string& value) {
    CheckNotInitialized();
    if (name == "pFeature" || name == "pCategory") {
        AddChild(FindLinkedNode(name, value));
        return true;
    }
    if (CNodeImpl::SetProperty(name, value))
        return true;
    return WarnUnhandledProperty(name, value);
}

std::string CCategory::GetInfo() {
    NodeMapLock lock(LockTarget());
    // Built without a length limit first, so that the cut below is the only one.
    std::string info = "Category " + m_NameSpace + "::" + m_Name + " :\n  containing " +
                       std::to_string(m_Children.size()) + " features";
    if (info.size() > kMaxCategoryInfo)
        info = info.substr(0, kMaxCategoryInfo) + "[...]";
    return info;
}

} // namespace NodeApi

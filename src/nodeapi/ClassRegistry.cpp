// Process-wide node class registry and the registrations made at program start.
#include "nodeapi/ClassRegistry.h"

#include <map>
#include <mutex>
#include <vector>

#include "nodeapi/Boolean.h"
#include "nodeapi/Category.h"
#include "nodeapi/Float.h"
#include "nodeapi/FltReg.h"
#include "nodeapi/IntReg.h"
#include "nodeapi/IntSwissKnife.h"
#include "nodeapi/Integer.h"
#include "nodeapi/MaskedIntReg.h"
#include "nodeapi/Port.h"
#include "nodeapi/Register.h"
#include "nodeapi/SimpleString.h"
#include "nodeapi/SmartFeature.h"
#include "nodeapi/TxtKey.h"

namespace NodeApi {

namespace {

struct StartupClass {
    const char* className;
    NodeFactory_t factory; // null: class not part of this build yet
};

// The start-up registrations, one row per class in the binding order. A class
// that joins the framework puts its factory into its row.
const StartupClass kStartupClasses[] = {
    {"CRegister", &CreateNodeOfClass<CRegister>},
    {"CFltReg", &CreateNodeOfClass<CFltReg>},
    {"CCategory", &CreateNodeOfClass<CCategory>},
    {"CPort", &CreateNodeOfClass<CPort>},
    {"CTxtKey", &CreateNodeOfClass<CTxtKey>},
    {"CStringRegister", &CreateNodeOfClass<CStringRegister>},
    {"CSmartFeature", &CreateNodeOfClass<CSmartFeature>},
    {"CBoolean", &CreateNodeOfClass<CBoolean>},
    {"CIntReg", &CreateNodeOfClass<CIntReg>},
    {"CIntSwissKnife", &CreateNodeOfClass<CIntSwissKnife>},
    {"CFloat", &CreateNodeOfClass<CFloat>},
    {"CMaskedIntReg", &CreateNodeOfClass<CMaskedIntReg>},
    {"CInteger", &CreateNodeOfClass<CInteger>},
};

struct Registry {
    std::mutex lock;
    std::map<std::string, NodeFactory_t> factories;
    StringList_t order;
};

// Created on the first registration, lives for the whole process.
Registry& TheRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

bool RegisterStartupClasses() {
    for (const StartupClass& row : kStartupClasses) {
        if (row.factory != nullptr)
            RegisterNodeClass(row.className, row.factory);
    }
    return true;
}

const bool g_StartupRegistered = RegisterStartupClasses();

} // namespace

bool RegisterNodeClass(const std::string& className, NodeFactory_t factory) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.lock);
    bool isNew = registry.factories.emplace(className, factory).second;
    if (isNew)
        registry.order.push_back(className);
    return isNew;
}

std::unique_ptr<INodeConstruct> CreateNode(const std::string& className) {
    NodeFactory_t factory = nullptr;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> lock(registry.lock);
        auto it = registry.factories.find(className);
        if (it != registry.factories.end())
            factory = it->second;
    }
    return factory ? factory(className) : nullptr;
}

StringList_t GetRegisteredNodeClasses() {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.lock);
    return registry.order;
}

StringList_t GetStartupNodeClasses() {
    StringList_t names;
    for (const StartupClass& row : kStartupClasses)
        names.push_back(row.className);
    return names;
}

void EnsureStartupRegistrations() {
    static const bool done = g_StartupRegistered || RegisterStartupClasses();
    (void)done;
}

} // namespace NodeApi

// Process-wide registry from node class names to node factories.
#pragma once

#include <memory>
#include <string>

#include "nodeapi/Interfaces.h"

namespace NodeApi {

// A new node of the factory's own class when className is that class's name,
// else null.
using NodeFactory_t = std::unique_ptr<INodeConstruct> (*)(const std::string& className);

// The factory of a node class T with a static member kClassName.
template <class T>
std::unique_ptr<INodeConstruct> CreateNodeOfClass(const std::string& className) {
    if (className != T::kClassName)
        return nullptr;
    return std::make_unique<T>();
}

// True when the name was new; a name already present keeps its first factory.
bool RegisterNodeClass(const std::string& className, NodeFactory_t factory);

// A new node of a registered class, or null for an unregistered name.
std::unique_ptr<INodeConstruct> CreateNode(const std::string& className);

// Registered class names in registration order.
StringList_t GetRegisteredNodeClasses();

// The classes registered at program start, in their binding order, including
// those whose factory is not built yet (their rows are skipped).
StringList_t GetStartupNodeClasses();

// Makes sure the start-up registrations ran (they run during static
// initialisation; calling this keeps them linked from a static library).
void EnsureStartupRegistrations();

} // namespace NodeApi

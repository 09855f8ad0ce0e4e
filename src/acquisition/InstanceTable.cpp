// Module globals: the instance table and the shared text buffers.
#include "acquisition/InstanceTable.h"

namespace IOeXcite {

InstanceTable g_instances;
InterfaceClass* g_interfaceClass = nullptr;
int32_t g_openInstances = 0;
char g_messageBuffer[kMessageBufferSize];
char g_textBuffer[kTextBufferSize];

} // namespace IOeXcite

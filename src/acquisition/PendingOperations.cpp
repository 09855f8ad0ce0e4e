// Operations the module does not offer yet: each answers "not implemented"
// and changes nothing, so a host that calls them gets a clear error.
#include "acquisition/Operations.h"
#include "contracts/Korlan.h"

namespace IOeXcite {

KErr OpenInstance(KProcHandle, HostInstance*) {
    return K_ERR_NOT_IMPLEMENTED;
}
KErr CloseInstance(KProcHandle, HostInstance*) {
    return K_ERR_NOT_IMPLEMENTED;
}
KErr GrabImage(KProcHandle, HostInstance*, HostImage*, int32_t*) {
    return K_ERR_NOT_IMPLEMENTED;
}
KErr StartAsyncGrab(KProcHandle, HostInstance*, double) {
    return K_ERR_NOT_IMPLEMENTED;
}
KErr GrabImageAsync(KProcHandle, HostInstance*, double, HostImage*, int32_t*) {
    return K_ERR_NOT_IMPLEMENTED;
}
KErr QueryInfo(KProcHandle, int32_t, const char**, HostValue**, int32_t*) {
    return K_ERR_NOT_IMPLEMENTED;
}
KErr SetParameter(KProcHandle, HostInstance*, const char*, const HostValue*, int32_t) {
    return K_ERR_NOT_IMPLEMENTED;
}
KErr GetParameter(KProcHandle, HostInstance*, const char*, HostValue*, int32_t*) {
    return K_ERR_NOT_IMPLEMENTED;
}

} // namespace IOeXcite

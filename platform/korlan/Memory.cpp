// placeholder, replaced by the host library stand-in
#include "contracts/Korlan.h"
int32_t KDoLowError = 0;
uint8_t KTraceMemory = 0;

// Device enumeration over the discovery list (see Discovery.cpp).
#pragma once

#include <stdint.h>

#include <vector>

#include "contracts/GTrans.h"

namespace gtrans {

// The environment variable that replaces the default discovery list.
constexpr const char* kDiscoveryVariable = "GTRANS_DISCOVERY";

// The addresses to probe, sorted, from the variable's text (null: default).
std::vector<uint32_t> DiscoveryList(const char* setting);
// Decimal 1..65535 without sign or spaces.
bool ParsePort(const char* text, uint16_t& port);
uint32_t Enumerate(const char* portText, uint32_t timeoutMs, GxEnumCallback callback,
                   void* context);

} // namespace gtrans

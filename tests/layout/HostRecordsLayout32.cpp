// Compiled with -m32 by `make test` (syntax only): the static_asserts of the
// host records prove their 32-bit layout.
#include "acquisition/HostRecords.h"

static_assert(sizeof(void*) == 4, "this check must be compiled for a 32-bit target");

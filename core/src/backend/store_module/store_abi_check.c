/* Compiles the store boundary's header as C: a C++ type slipping into it
 * breaks the build here. */
#include "backend/store_module/store_abi.h"

const uint32_t tavrin_store_abi_version_seen_by_c = TAVRIN_STORE_ABI_VERSION;

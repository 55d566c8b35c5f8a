// The real registry has no transactions that span calls: a batch does nothing.
#include "TobrelTools/platform/registry.h"
#include "TobrelTools/export.h"

TOBREL_MODULE_ID("registry_batch_win32.cpp", "2026.12.05");

namespace tobrel {

RegistryBatch::RegistryBatch(bool) : status_(ERROR_SUCCESS), active_(false) {}
RegistryBatch::~RegistryBatch() {}
LONG RegistryBatch::commit() { return ERROR_SUCCESS; }

}  // namespace tobrel

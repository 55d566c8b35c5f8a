// The real registry has no transactions that span calls: a batch does nothing.
#include "TobrelTools/platform/registry.h"

static const char sccsid[] __attribute__((used)) = "@(#)registry_batch_win32.cpp:  Ver01.00  2026.12.05";

namespace tobrel {

RegistryBatch::RegistryBatch(bool) : status_(ERROR_SUCCESS), active_(false) {}
RegistryBatch::~RegistryBatch() {}
LONG RegistryBatch::commit() { return ERROR_SUCCESS; }

}  // namespace tobrel

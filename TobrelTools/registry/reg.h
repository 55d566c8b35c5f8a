// The registry module: CRegistry (one open key), the in-memory elements
// regelm, regkey_t and regval_t, and regtree (a subtree snapshot).
#ifndef TOBRELTOOLS_REGISTRY_REG_H_
#define TOBRELTOOLS_REGISTRY_REG_H_

#include "TobrelTools/registry/CRegistry.h"
#include "TobrelTools/registry/filetime.h"
#include "TobrelTools/registry/regelm.h"
#include "TobrelTools/registry/regkey.h"
#include "TobrelTools/registry/regval.h"
#include "TobrelTools/registry/regtree.h"

#endif  // TOBRELTOOLS_REGISTRY_REG_H_

// TobrelTools: the whole public interface in one include.
//
//   #include <TobrelTools/TobrelTools.h>
//
// Each module header can also be included on its own.
#ifndef TOBRELTOOLS_TOBRELTOOLS_H_
#define TOBRELTOOLS_TOBRELTOOLS_H_

#include "TobrelTools/export.h"
#include "TobrelTools/platform/platform.h"
#include "TobrelTools/platform/registry.h"
#include "TobrelTools/registry/regfile.h"
#include "TobrelTools/platform/cp932.h"

#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/persist/AllocFactory.h"
#include "TobrelTools/persist/InstanceManager.h"
#include "TobrelTools/persist/ClassFactory.h"
#include "TobrelTools/persist/DupChecker.h"
#include "TobrelTools/persist/Persistable.h"

#include "TobrelTools/stream/vios.h"
#include "TobrelTools/stream/vistream.h"
#include "TobrelTools/stream/vostream.h"
#include "TobrelTools/stream/fio.h"
#include "TobrelTools/stream/fostream.h"
#include "TobrelTools/stream/fistream.h"

#include "TobrelTools/string/tstring.h"
#include "TobrelTools/string/st.h"

#include "TobrelTools/registry/reg.h"

#endif  // TOBRELTOOLS_TOBRELTOOLS_H_

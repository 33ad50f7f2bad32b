// The module's classes: names, class identifiers, creation functions and, for filters,
// their registration data.
#pragma once

#include <windows.h>

#include "win/dshow/com.h"
#include "win/dshow/registration.h"
#include "win/filters/filter_classes.h"

namespace mw {

struct ClassEntry {
  const wchar_t* name;
  const CLSID* clsid;
  CreateFunction create;
  const ds::FilterSetup* setup;  // null for pages
};

// Table order is registration order.
const ClassEntry* ClassTable(int* count);
const ClassEntry* FindClass(const CLSID& clsid);

}  // namespace mw

// Registration of component classes and filters: the registry keys of in-process servers,
// and the filter mapper's records of filters, pins and media types.
#pragma once

#include <windows.h>
#include <strmif.h>

namespace mw::ds {

// A filter's registration data in the filter mapper's version-1 form.
struct FilterSetup {
  const CLSID* clsid;
  const wchar_t* name;
  DWORD merit;
  ULONG pinCount;
  const REGFILTERPINS* pins;
};

// "{XXXXXXXX-...}" in upper-case hexadecimal.
void ClassIdString(const CLSID& clsid, wchar_t out[39]);

// CLSID\{clsid} with the name, InprocServer32 with the module path and "Both".
HRESULT WriteClassKeys(const CLSID& clsid, const wchar_t* name, const wchar_t* modulePath);
// Deletes HKEY_CLASSES_ROOT\CLSID\{clsid} and everything below it; a missing key is no error.
HRESULT DeleteClassKeys(const CLSID& clsid);
// Deletes a key with its subkeys, depth first; a key that cannot be opened counts as deleted.
LONG DeleteKeyTree(HKEY parent, const wchar_t* name);

// Registers (or unregisters) through the first filter mapper: filter, pins, pin types.
HRESULT RegisterWithOldMapper(const FilterSetup& setup, bool registering);
// Registers (or unregisters) filters through the second filter mapper when it is there,
// else through the first; stops at the first failure.
HRESULT RegisterFilters(const FilterSetup* const* setups, int count, bool registering);

}  // namespace mw::ds

// Status codes of the component interfaces, as 32-bit values.
//
// The portable core speaks the same status language as the component shell so that
// results pass through unchanged. When the platform headers are present they already
// define these names as macros with identical values; the core then uses theirs.
#pragma once

#include <cstdint>

namespace mw {

// The platform's own status type on Windows (a 32-bit long there), a 32-bit int elsewhere.
#ifdef _WIN32
using HResult = long;
#else
using HResult = std::int32_t;
#endif
static_assert(sizeof(HResult) == 4, "status codes are 32-bit");

constexpr bool Failed(HResult hr) { return hr < 0; }
constexpr bool Succeeded(HResult hr) { return hr >= 0; }

#ifndef S_OK
constexpr HResult S_OK = 0;
#endif
#ifndef S_FALSE
constexpr HResult S_FALSE = 1;
#endif
#ifndef E_POINTER
constexpr HResult E_POINTER = static_cast<HResult>(0x80004003u);
#endif
#ifndef E_INVALIDARG
constexpr HResult E_INVALIDARG = static_cast<HResult>(0x80070057u);
#endif
#ifndef E_OUTOFMEMORY
constexpr HResult E_OUTOFMEMORY = static_cast<HResult>(0x8007000Eu);
#endif
#ifndef E_FAIL
constexpr HResult E_FAIL = static_cast<HResult>(0x80004005u);
#endif
#ifndef E_UNEXPECTED
constexpr HResult E_UNEXPECTED = static_cast<HResult>(0x8000FFFFu);
#endif
#ifndef VFW_E_NOT_CONNECTED
constexpr HResult VFW_E_NOT_CONNECTED = static_cast<HResult>(0x80040209u);
#endif

}  // namespace mw

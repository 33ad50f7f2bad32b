// One description per effect: everything a host needs to know about it, written once. The
// catalog, the command line, the module's class table and the filters' registration data
// all derive from these six descriptions.
#pragma once

#include <memory>

#include "core/frame/copying_engine.h"
#include "core/frame/engine.h"
#include "core/frame/guid.h"
#include "core/frame/param_store.h"
#include "core/frame/persistence.h"
#include "core/frame/presets.h"
#include "mwppack1/identifiers.h"

namespace mw {

// The SDK's class and interface identifiers as portable constants: ids::CLSID_MwChorus and
// so on.
namespace ids {
#define MW_PORTABLE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  constexpr Guid name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}};
MWPPACK1_CLASS_IDENTIFIERS(MW_PORTABLE_GUID)
MWPPACK1_INTERFACE_IDENTIFIERS(MW_PORTABLE_GUID)
#undef MW_PORTABLE_GUID
}  // namespace ids

// The maker's name goes before the effect's in every filter name.
#define MW_FILTER_NAME(effect) "Marrowind " effect

enum class EffectKind {
  kInPlace,  // changes buffers in place; may have a tail; offers direct float processing
  kCopying,  // changes the length of the sound: fills output buffers of its own
};

struct EffectDescription {
  const char* cliName;     // the command line's name for the effect
  const char* filterName;  // the filter's display name, the maker's name first
  const char* pageName;    // the settings page's class name
  Guid filterClsid;
  Guid pageClsid;
  RecordLayout record;  // its tag is the parameter interface's identifier
  const ParamTable& params;
  const PresetTable& presets;
  EffectKind kind;
  // The engine, of the kind's contract (the other pointer is null).
  std::unique_ptr<EffectEngine> (*createEngine)();
  std::unique_ptr<CopyingEngine> (*createCopyingEngine)();

  const Guid& ParamsIid() const { return record.tag; }
};

// Engine factories for the descriptions.
template <class Engine>
std::unique_ptr<EffectEngine> NewEngine() {
  return std::make_unique<Engine>();
}
template <class Engine>
std::unique_ptr<CopyingEngine> NewCopyingEngine() {
  return std::make_unique<Engine>();
}

}  // namespace mw

// What the hosts need to know about one effect, in one place.
#pragma once

#include "core/frame/guid.h"
#include "core/frame/param_store.h"
#include "core/frame/persistence.h"
#include "core/frame/presets.h"

namespace mw {

struct EffectInfo {
  const char* cliName;      // the command line's name for the effect
  const char* displayName;  // the filter's name
  Guid filterClsid;
  Guid pageClsid;
  RecordLayout record;        // its tag is the parameter interface's identifier
  const ParamTable& params;
  const PresetTable& presets;
};

}  // namespace mw

// The bundle's shared library: one LV2 descriptor per plug-in variant (stereo and mono of
// each effect), each a thin translation from LV2's calls to an Instance.
#include <lv2/core/lv2.h>

#include <cstring>
#include <string>
#include <vector>

#include "lv2/instance.h"
#include "lv2/plugin_table.h"

namespace mw::lv2 {
namespace {

struct Variant {
  const PluginInfo* plugin;
  std::uint32_t channels;
  std::string uri;
  LV2_Descriptor descriptor;
};

Instance* Self(LV2_Handle handle) { return static_cast<Instance*>(handle); }

const Variant* VariantOf(const LV2_Descriptor* descriptor);

LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double rate, const char*,
                       const LV2_Feature* const*) {
  const Variant* v = VariantOf(descriptor);
  if (v == nullptr) return nullptr;
  return Instance::Create(*v->plugin, v->channels, rate).release();
}

void ConnectPort(LV2_Handle h, uint32_t port, void* data) { Self(h)->Connect(port, data); }
void Activate(LV2_Handle h) { Self(h)->Activate(); }
void Run(LV2_Handle h, uint32_t frames) { Self(h)->Run(frames); }
void Deactivate(LV2_Handle h) { Self(h)->Deactivate(); }
void Cleanup(LV2_Handle h) { delete Self(h); }
const void* ExtensionData(const char*) { return nullptr; }

const std::vector<Variant>& Variants() {
  static const std::vector<Variant> variants = [] {
    std::vector<Variant> list;
    for (const PluginInfo& p : Plugins()) {
      for (std::uint32_t channels : {2u, 1u}) {
        list.push_back({&p, channels, PluginUri(p, channels), {}});
      }
    }
    for (Variant& v : list) {
      v.descriptor = {v.uri.c_str(), &Instantiate, &ConnectPort, &Activate, &Run,
                      &Deactivate,   &Cleanup,     &ExtensionData};
    }
    return list;
  }();
  return variants;
}

const Variant* VariantOf(const LV2_Descriptor* descriptor) {
  for (const Variant& v : Variants()) {
    if (&v.descriptor == descriptor) return &v;
  }
  return nullptr;
}

}  // namespace
}  // namespace mw::lv2

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  const auto& variants = mw::lv2::Variants();
  return index < variants.size() ? &variants[index].descriptor : nullptr;
}

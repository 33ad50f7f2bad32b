#include "lv2/plugin_table.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "core/dsp/splice_engine.h"
#include "core/effects/catalog.h"
#include "core/effects/pitch/pitch_shift.h"
#include "core/frame/param_store.h"
#include "core/ui/builtin_strings.h"
#include "core/ui/pages/page_catalog.h"

namespace mw::lv2 {
namespace {

constexpr const char* kTenthsDb =
    "Tenths of a decibel (-60 is -6.0 dB); at or below the lowest value, silence.";

// What the field tables do not say: units, flags, and the ranges of fields that are
// stored as given. A name ending in '*' covers every field it begins (the eight taps).
struct FieldNote {
  const char* effect;
  const char* field;
  PortKind kind;
  double minimum, maximum;  // for fields without a range of their own
  const char* unit;
  const char* comment;
};

constexpr FieldNote kNotes[] = {
    {"delay", "DryOut", PortKind::kLevel, -800, 0, nullptr, kTenthsDb},
    {"delay", "Feedback", PortKind::kToggle, 0, 1, nullptr, "Repeating echoes."},
    {"delay", "DelayTime", PortKind::kInteger, 0, 0, "ms", nullptr},
    {"delay", "DecayTime", PortKind::kInteger, 0, 0, nullptr, "Tenths of a second."},
    {"chorus", "Feedback", PortKind::kInteger, 0, 0, "pc", nullptr},
    {"chorus", "InvertChorusPhase", PortKind::kToggle, 0, 1, nullptr, nullptr},
    {"chorus", "ChorusOutDelay", PortKind::kInteger, 0, 0, nullptr,
     "Tenths of a millisecond."},
    {"chorus", "ModulationRate", PortKind::kInteger, 0, 0, nullptr, "Thousandths of a hertz."},
    {"chorus", "ModulationDepth", PortKind::kInteger, 0, 0, "pc", nullptr},
    {"chorus", "AttenuateHighs", PortKind::kToggle, 0, 1, nullptr, nullptr},
    {"chorus", "HighCutoff", PortKind::kInteger, 0, 0, "hz", nullptr},
    {"chorus", "InvertFeedbackPhase", PortKind::kToggle, 0, 1, nullptr, nullptr},
    {"reverb", "ReverbMode", PortKind::kEnumeration, 0, 0, nullptr, nullptr},
    {"reverb", "EarlyStyle", PortKind::kEnumeration, 0, 0, nullptr,
     "Early reflections: the style of their three taps."},
    {"reverb", "DecayTime", PortKind::kInteger, 0, 0, nullptr, "Tenths of a second."},
    {"reverb", "PreDelay", PortKind::kInteger, 0, 0, "ms", nullptr},
    {"reverb", "BassCutoff", PortKind::kInteger, 0, 0, "hz", nullptr},
    {"reverb", "HighCutoff", PortKind::kInteger, 0, 0, "hz", nullptr},
    {"multitap", "ModRate", PortKind::kInteger, 0, 0, nullptr, "Tenths of a hertz."},
    {"multitap", "ModDepth", PortKind::kInteger, 0, 0, "pc", nullptr},
    {"multitap", "Feedback", PortKind::kInteger, 0, 0, "pc", nullptr},
    {"multitap", "LowPassOn", PortKind::kToggle, 0, 1, nullptr, nullptr},
    {"multitap", "LowPassStart", PortKind::kInteger, 0, 0, "hz", nullptr},
    {"multitap", "CurrentTap", PortKind::kInteger, 0, 0, nullptr,
     "The tap the settings page shows; no effect on the sound."},
    {"multitap", "GraphResolution", PortKind::kInteger, 0, 0, nullptr,
     "The settings page's graph scale; no effect on the sound."},
    {"multitap", "TapGain*", PortKind::kInteger, 0, 0, "pc", nullptr},
    {"multitap", "TapDelay*", PortKind::kInteger, 0, 0, "ms", nullptr},
    {"multitap", "TapPan*", PortKind::kInteger, 0, 0, nullptr, "-100 left, 0 centre, 100 right."},
    {"pitch", "Semitones", PortKind::kInteger, 0, 0, "semitone12TET", nullptr},
    {"pitch", "Cents", PortKind::kInteger, 0, 0, nullptr, "Tenths of a cent."},
    {"pitch", "Accuracy", PortKind::kEnumeration, 1, 3, nullptr,
     "Interpolation of the resampler."},
    {"pitch", "Mode", PortKind::kEnumeration, 0, 0, nullptr,
     "Splice mode of the duration-keeping engine."},
    {"pitch", "Ratio", PortKind::kReal, 0, 0, nullptr,
     "Output frequency over input frequency. Changing Semitones or Cents alone writes the "
     "ratio they make."},
    {"pitch", "AntiAlias", PortKind::kToggle, 0, 1, nullptr, nullptr},
    {"pitch", "InitialTime", PortKind::kReal, 0, 0, nullptr,
     "Kept in the saved settings for the settings page; no effect on the sound."},
};

const FieldNote* NoteFor(const EffectDescription& effect, const char* field) {
  for (const FieldNote& n : kNotes) {
    if (std::strcmp(n.effect, effect.cliName) != 0) continue;
    const std::size_t len = std::strlen(n.field);
    if (n.field[len - 1] == '*' ? std::strncmp(n.field, field, len - 1) == 0
                                : std::strcmp(n.field, field) == 0) {
      return &n;
    }
  }
  return nullptr;
}

// "DelayTime" becomes "Delay time", "TapGain3" "Tap gain 3".
std::string Readable(const char* field) {
  std::string out;
  for (const char* p = field; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (p != field && (std::isupper(c) || (std::isdigit(c) && !std::isdigit(p[-1])))) {
      out += ' ';
      out += static_cast<char>(std::isupper(c) && !std::isupper(p[1]) && p[1] != '\0'
                                   ? std::tolower(c)
                                   : c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// A field's value in a preset row.
double RowValue(const EffectDescription& effect, std::size_t field, std::int32_t row) {
  ParamStore store(effect.params);
  store.SetParameters(effect.presets.Block(row));
  if (effect.params.fields[field].type == FieldType::Float64) {
    double d = 0.0;
    store.GetDouble(field, &d);
    return d;
  }
  std::int32_t v = 0;
  store.Get(field, &v);
  return effect.params.fields[field].type == FieldType::UInt32
             ? static_cast<double>(static_cast<std::uint32_t>(v))
             : static_cast<double>(v);
}

// The entries of a settings page's list for the field, if the effect's page has one.
void PagePoints(const EffectDescription& effect, const char* field, ControlPort& port) {
  const pages::PageTable* page = pages::FindPageTable(effect);
  if (page == nullptr) return;
  for (std::size_t i = 0; i < page->count; ++i) {
    const pages::Binding& b = page->bindings[i];
    if (b.field == nullptr || std::strcmp(b.field, field) != 0 || b.items == nullptr) continue;
    double lo = b.items[0].data, hi = lo;
    for (std::size_t k = 0; k < b.itemCount; ++k) {
      port.points.push_back({static_cast<double>(b.items[k].data),
                             BuiltinUiString(b.items[k].textId)});
      lo = std::fmin(lo, b.items[k].data);
      hi = std::fmax(hi, b.items[k].data);
    }
    port.minimum = lo;
    port.maximum = hi;
  }
}

void AddEnumeration(const PluginInfo& plugin, const FieldInfo& f, ControlPort& port) {
  if (std::strcmp(f.name, "Mode") == 0) {
    for (std::uint32_t m = 0; m < kSpliceModeCount; ++m) {
      port.points.push_back({static_cast<double>(m), BuiltinUiString(kSpliceModes[m].nameId)});
    }
    port.minimum = 0;
    port.maximum = kSpliceModeCount - 1;
  } else if (std::strcmp(f.name, "Accuracy") == 0) {
    port.points = {{1, "Low (linear)"}, {2, "Medium (9-point sinc)"}, {3, "High (15-point sinc)"}};
  } else {
    PagePoints(*plugin.effect, f.name, port);
  }
}

ControlPort MakePort(const PluginInfo& plugin, std::size_t index) {
  const EffectDescription& effect = *plugin.effect;
  const FieldInfo& f = effect.params.fields[index];
  const FieldNote* note = NoteFor(effect, f.name);
  ControlPort port{index, f.name, Readable(f.name), PortKind::kInteger, 0, 0, 0,
                   nullptr, nullptr, {}};
  if (f.ranged) {
    port.minimum = static_cast<double>(f.min);
    port.maximum = static_cast<double>(f.max);
  }
  if (note != nullptr) {
    port.kind = note->kind;
    port.unit = note->unit;
    port.comment = note->comment;
    if (!f.ranged) {
      port.minimum = note->minimum;
      port.maximum = note->maximum;
    }
  } else if (f.ranged && f.max == 0 && f.min <= -600) {
    port.kind = PortKind::kLevel;
    port.comment = kTenthsDb;
  } else if (f.ranged && f.min == 0 && f.max == 1) {
    port.kind = PortKind::kToggle;
  }
  if (port.kind == PortKind::kEnumeration) AddEnumeration(plugin, f, port);
  if (port.kind == PortKind::kReal && std::strcmp(f.name, "Ratio") == 0) {
    // The ratios the interval fields can make.
    const FieldInfo& semitones = effect.params.fields[effect.params.Find("Semitones")];
    const FieldInfo& cents = effect.params.fields[effect.params.Find("Cents")];
    port.minimum = PitchRatioFor(static_cast<std::int32_t>(semitones.min),
                                 static_cast<std::int32_t>(cents.min));
    port.maximum = PitchRatioFor(static_cast<std::int32_t>(semitones.max),
                                 static_cast<std::int32_t>(cents.max));
  }
  if (port.kind == PortKind::kLevel) {
    port.points = {{port.minimum, "-Inf."}, {-60, "-6.0 dB"}, {0, "0.0 dB"}};
  }
  port.defaultValue = PortValueOf(plugin, port, 0);
  return port;
}

PluginInfo MakePlugin(const EffectDescription& effect) {
  PluginInfo plugin{&effect, {}, -1, 0, false};
  if (effect.kind == EffectKind::kCopying) {
    plugin.fixedField = effect.params.Find("PreserveDuration");
    plugin.fixedValue = 1;
    plugin.reportsLatency = true;
  }
  for (std::size_t i = 0; i < effect.params.count; ++i) {
    if (static_cast<int>(i) == plugin.fixedField) continue;
    plugin.controls.push_back(MakePort(plugin, i));
  }
  return plugin;
}

}  // namespace

const std::vector<PluginInfo>& Plugins() {
  static const std::vector<PluginInfo> plugins = [] {
    std::vector<PluginInfo> list;
    std::size_t count = 0;
    const EffectDescription* const* catalog = Catalog(&count);
    for (std::size_t i = 0; i < count; ++i) {
      // A plug-in returns as many frames as it is given: an effect that changes the length
      // of the sound can only take part when it keeps the duration.
      const EffectDescription& e = *catalog[i];
      if (e.kind == EffectKind::kCopying && e.params.Find("PreserveDuration") < 0) continue;
      list.push_back(MakePlugin(e));
    }
    return list;
  }();
  return plugins;
}

std::string PluginUri(const PluginInfo& plugin, std::uint32_t channels) {
  return std::string(kUriBase) + plugin.effect->cliName + (channels == 1 ? "-mono" : "");
}

std::string PresetUri(const PluginInfo& plugin, std::int32_t row) {
  return PluginUri(plugin, 2) + "#preset" + std::to_string(row);
}

double PortValueOf(const PluginInfo& plugin, const ControlPort& port, std::int32_t row) {
  double v = RowValue(*plugin.effect, port.field, row);
  if (port.kind == PortKind::kToggle) v = v != 0.0 ? 1.0 : 0.0;
  if (v < port.minimum) v = port.minimum;
  if (v > port.maximum) v = port.maximum;
  return v;
}

}  // namespace mw::lv2

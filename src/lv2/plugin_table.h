// The LV2 plug-ins of the pack, derived from the effects' field and preset tables: one
// control input port per field (in field order, the field's name as its symbol), ranges and
// defaults from the tables, enumerations from the UI string tables. The Turtle generator
// writes these descriptions out; the plug-in reads the same table, so the two always agree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/effects/effect_description.h"

namespace mw::lv2 {

// Every URI lives under this address.
constexpr const char* kUriBase = "https://marrowind.example/plugins/mwppack1/";

enum class PortKind : std::uint8_t {
  kInteger,      // a whole number in a range
  kToggle,       // 0 off, 1 on
  kEnumeration,  // one of the scale points
  kLevel,        // tenths of a decibel, at or below the floor silence
  kReal,         // a floating-point field
};

struct ScalePoint {
  double value;
  std::string label;
};

struct ControlPort {
  std::size_t field;  // index in the effect's field table
  std::string symbol;
  std::string name;
  PortKind kind;
  double minimum, maximum, defaultValue;
  const char* unit;     // "ms", "hz", "pc" or "semitone12TET" of LV2's units, or null
  const char* comment;  // the fixed-point unit in words, or null
  std::vector<ScalePoint> points;
};

struct PluginInfo {
  const EffectDescription* effect;
  std::vector<ControlPort> controls;
  // A field the plug-in holds at a fixed value instead of offering a port (Pitch Shift
  // always keeps the duration), or -1.
  int fixedField = -1;
  std::int32_t fixedValue = 0;
  bool reportsLatency = false;
};

// The five plug-ins, in the catalog's order (Time Stretch, which changes the length of the
// sound, is left out). Built on first use: call it outside real-time processing.
const std::vector<PluginInfo>& Plugins();

// Each plug-in comes as a stereo and a mono variant (index 2k and 2k + 1 of the URIs).
constexpr std::uint32_t kVariants = 2;
std::string PluginUri(const PluginInfo& plugin, std::uint32_t channels);
// A preset applies to both variants of its plug-in.
std::string PresetUri(const PluginInfo& plugin, std::int32_t row);

// Port indices: audio inputs, audio outputs, the latency output (when reported), then the
// controls in field order.
inline std::uint32_t FirstControlPort(const PluginInfo& plugin, std::uint32_t channels) {
  return 2 * channels + (plugin.reportsLatency ? 1 : 0);
}

// The value a control port holds for a preset row's field (a flag as 0 or 1, a value out
// of the port's range brought into it).
double PortValueOf(const PluginInfo& plugin, const ControlPort& port, std::int32_t row);

}  // namespace mw::lv2

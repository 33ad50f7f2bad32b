// Writes the Turtle of the LV2 bundle from the plug-in table (itself derived from the
// effects' field and preset tables): manifest.ttl, the plug-ins' ports in plugins.ttl and
// every built-in preset in presets.ttl.
//
//   lv2_ttl BUNDLE_DIR BINARY_NAME
#include <cstdio>
#include <string>

#include "core/ui/builtin_strings.h"
#include "lv2/plugin_table.h"

namespace {

using mw::lv2::ControlPort;
using mw::lv2::PluginInfo;
using mw::lv2::PortKind;

constexpr const char* kPrefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n\n";

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// A decimal literal: always with a point, so that every value reads as a number of the
// same kind.
std::string Number(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.9g", v);
  std::string s = text;
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

const char* PluginClass(const PluginInfo& p) {
  const std::string name = p.effect->cliName;
  if (name == "chorus") return "lv2:ChorusPlugin";
  if (name == "reverb") return "lv2:ReverbPlugin";
  if (name == "pitch") return "lv2:PitchPlugin";
  return "lv2:DelayPlugin";
}

void WriteAudioPorts(std::FILE* f, std::uint32_t channels, std::uint32_t* index) {
  const char* sides[2][2] = {{"in", "Input"}, {"out", "Output"}};
  const char* names[2][2] = {{"", ""}, {"_l", "_r"}};
  const char* words[2][2] = {{"", ""}, {" left", " right"}};
  for (int dir = 0; dir < 2; ++dir) {
    for (std::uint32_t c = 0; c < channels; ++c) {
      std::fprintf(f,
                   "  lv2:port [\n    a lv2:AudioPort, lv2:%sPort ;\n    lv2:index %u ;\n"
                   "    lv2:symbol \"%s%s\" ;\n    lv2:name \"%s%s\"\n  ] ;\n",
                   dir == 0 ? "Input" : "Output", (*index)++, sides[dir][0],
                   names[channels - 1][c], sides[dir][1], words[channels - 1][c]);
    }
  }
}

void WriteControl(std::FILE* f, const ControlPort& p, std::uint32_t index, bool last) {
  std::fprintf(f, "  lv2:port [\n    a lv2:InputPort, lv2:ControlPort ;\n    lv2:index %u ;\n",
               index);
  std::fprintf(f, "    lv2:symbol %s ;\n    lv2:name %s ;\n", Quoted(p.symbol).c_str(),
               Quoted(p.name).c_str());
  std::fprintf(f, "    lv2:default %s ;\n    lv2:minimum %s ;\n    lv2:maximum %s",
               Number(p.defaultValue).c_str(), Number(p.minimum).c_str(),
               Number(p.maximum).c_str());
  switch (p.kind) {
    case PortKind::kToggle:
      std::fprintf(f, " ;\n    lv2:portProperty lv2:toggled");
      break;
    case PortKind::kEnumeration:
      std::fprintf(f, " ;\n    lv2:portProperty lv2:integer, lv2:enumeration");
      break;
    case PortKind::kInteger:
    case PortKind::kLevel:
      std::fprintf(f, " ;\n    lv2:portProperty lv2:integer");
      break;
    case PortKind::kReal:
      break;
  }
  if (p.unit != nullptr) std::fprintf(f, " ;\n    units:unit units:%s", p.unit);
  if (p.comment != nullptr) {
    std::fprintf(f, " ;\n    rdfs:comment %s", Quoted(p.comment).c_str());
  }
  for (const mw::lv2::ScalePoint& s : p.points) {
    std::fprintf(f, " ;\n    lv2:scalePoint [ rdfs:label %s ; rdf:value %s ]",
                 Quoted(s.label).c_str(), Number(s.value).c_str());
  }
  std::fprintf(f, "\n  ]%s\n", last ? " ." : " ;");
}

void WritePlugin(std::FILE* f, const PluginInfo& p, std::uint32_t channels) {
  std::fprintf(f, "<%s>\n  a lv2:Plugin, %s ;\n", mw::lv2::PluginUri(p, channels).c_str(),
               PluginClass(p));
  std::fprintf(f, "  doap:name %s ;\n",
               Quoted(std::string(p.effect->filterName) + (channels == 1 ? " (mono)" : ""))
                   .c_str());
  std::fprintf(f, "  lv2:project <%s> ;\n", mw::lv2::kUriBase);
  std::fprintf(f, "  lv2:optionalFeature lv2:hardRTCapable ;\n");
  if (p.fixedField >= 0) {
    std::fprintf(f, "  rdfs:comment \"Keeps the duration of the sound: the output has as "
                    "many frames as the input, delayed by the reported latency.\" ;\n");
  }
  std::uint32_t index = 0;
  WriteAudioPorts(f, channels, &index);
  if (p.reportsLatency) {
    std::fprintf(f,
                 "  lv2:port [\n    a lv2:OutputPort, lv2:ControlPort ;\n    lv2:index %u ;\n"
                 "    lv2:symbol \"latency\" ;\n    lv2:name \"Latency\" ;\n"
                 "    lv2:designation lv2:latency ;\n    lv2:portProperty lv2:integer ;\n"
                 "    units:unit units:frame\n  ] ;\n",
                 index++);
  }
  for (std::size_t k = 0; k < p.controls.size(); ++k) {
    WriteControl(f, p.controls[k], index++, k + 1 == p.controls.size());
  }
  std::fprintf(f, "\n");
}

void WritePresets(std::FILE* f, const PluginInfo& p) {
  for (std::int32_t row = 0; row < p.effect->presets.Count(); ++row) {
    std::fprintf(f, "<%s>\n  a pset:Preset ;\n  lv2:appliesTo <%s>, <%s> ;\n",
                 mw::lv2::PresetUri(p, row).c_str(), mw::lv2::PluginUri(p, 2).c_str(),
                 mw::lv2::PluginUri(p, 1).c_str());
    std::fprintf(f, "  rdfs:label %s",
                 Quoted(mw::BuiltinUiString(p.effect->presets.NameId(row))).c_str());
    for (const ControlPort& port : p.controls) {
      std::fprintf(f, " ;\n  lv2:port [ lv2:symbol %s ; pset:value %s ]",
                   Quoted(port.symbol).c_str(), Number(PortValueOf(p, port, row)).c_str());
    }
    std::fprintf(f, " .\n\n");
  }
}

std::FILE* Open(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) std::perror(path.c_str());
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: lv2_ttl BUNDLE_DIR BINARY_NAME\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::FILE* manifest = Open(dir + "/manifest.ttl");
  std::FILE* plugins = Open(dir + "/plugins.ttl");
  std::FILE* presets = Open(dir + "/presets.ttl");
  if (manifest == nullptr || plugins == nullptr || presets == nullptr) return 1;
  std::fputs(kPrefixes, manifest);
  std::fputs(kPrefixes, plugins);
  std::fputs(kPrefixes, presets);
  std::fprintf(plugins,
               "<%s>\n  a doap:Project ;\n  doap:name \"Vantor 1 Plug-In Pack\" ;\n"
               "  doap:maintainer [ a foaf:Organization ; foaf:name \"Marrowind\" ] .\n\n",
               mw::lv2::kUriBase);
  for (const PluginInfo& p : mw::lv2::Plugins()) {
    for (std::uint32_t channels : {2u, 1u}) {
      std::fprintf(manifest,
                   "<%s>\n  a lv2:Plugin ;\n  lv2:binary <%s> ;\n  rdfs:seeAlso <plugins.ttl> "
                   ".\n\n",
                   mw::lv2::PluginUri(p, channels).c_str(), argv[2]);
      WritePlugin(plugins, p, channels);
    }
    for (std::int32_t row = 0; row < p.effect->presets.Count(); ++row) {
      std::fprintf(manifest,
                   "<%s>\n  a pset:Preset ;\n  lv2:appliesTo <%s>, <%s> ;\n  rdfs:seeAlso "
                   "<presets.ttl> .\n\n",
                   mw::lv2::PresetUri(p, row).c_str(), mw::lv2::PluginUri(p, 2).c_str(),
                   mw::lv2::PluginUri(p, 1).c_str());
    }
    WritePresets(presets, p);
  }
  const bool ok = std::fclose(manifest) == 0 && std::fclose(plugins) == 0 &&
                  std::fclose(presets) == 0;
  return ok ? 0 : 1;
}

#include "cli.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "core/effects/pitch/pitch_shift.h"

#ifdef _WIN32
#include <io.h>
#define MWFX_STDERR_IS_TERMINAL() (_isatty(_fileno(stderr)) != 0)
#define MWFX_STRCASECMP _stricmp
#else
#include <strings.h>
#include <unistd.h>
#define MWFX_STDERR_IS_TERMINAL() (isatty(STDERR_FILENO) != 0)
#define MWFX_STRCASECMP strcasecmp
#endif

namespace mwfx {
namespace {

const char kUsage[] =
    "usage: mwfx process EFFECT IN OUT [--preset N|NAME] [--set FIELD=VALUE]...\n"
    "                    [--load-record FILE] [--save-record FILE] [--buffer-frames N]\n"
    "                    [--output-frames N]\n"
    "       mwfx settings EFFECT [--preset N|NAME] [--set FIELD=VALUE]...\n"
    "                     [--load-record FILE] [--save-record FILE] [--picture FILE.png]\n"
    "                     (Windows build)\n"
    "       mwfx list | presets EFFECT | params EFFECT\n";

// "delay, chorus, ..." in the catalog's order.
std::string EffectNames() {
  std::size_t count = 0;
  const mw::EffectDescription* const* effects = mw::Catalog(&count);
  std::string names;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) names += ", ";
    names += effects[i]->cliName;
  }
  return names;
}

std::int32_t ResolvePreset(EffectSettings& settings, const mw::EffectDescription& entry,
                           const std::string& text) {
  const std::int32_t count = settings.PresetCount();
  long long index;
  if (ParseInteger(text, 0, INT32_MAX, &index)) {
    if (index >= count) {
      throw Usage("preset " + text + " does not exist (" + entry.cliName + " has " +
                  std::to_string(count) + " presets, 0 to " + std::to_string(count - 1) + ")");
    }
    return static_cast<std::int32_t>(index);
  }
  // An exact name wins; otherwise the first name equal but for case.
  int found = -1;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::string name = settings.PresetName(i);
    if (text == name) return i;
    if (MWFX_STRCASECMP(text.c_str(), name.c_str()) == 0 && found < 0) found = i;
  }
  if (found >= 0) return found;
  throw Usage("unknown preset '" + text + "' (see: mwfx presets " + entry.cliName + ")");
}

void ApplySet(EffectSettings& settings, const mw::EffectDescription& entry,
              const std::string& assignment) {
  const std::size_t eq = assignment.find('=');
  if (eq == std::string::npos) throw Usage("--set needs FIELD=VALUE, got '" + assignment + "'");
  const std::string field = assignment.substr(0, eq);
  const std::string value = assignment.substr(eq + 1);
  const mw::ParamTable& table = entry.params;
  const int index = table.Find(field.c_str());
  if (index < 0) {
    std::string names;
    for (std::size_t i = 0; i < table.count; ++i) {
      names += (i ? ", " : "") + std::string(table.fields[i].name);
    }
    throw Usage("unknown field '" + field + "' for " + entry.cliName + " (one of: " + names +
                ")");
  }
  if (table.fields[index].type == mw::FieldType::Float64) {
    double d;
    if (!ParseDecimal(value, &d)) {
      throw Usage("bad value '" + value + "' for " + field + " (a number)");
    }
    const mw::HResult hr = settings.PutDouble(static_cast<std::size_t>(index), d);
    if (mw::Failed(hr)) throw Error("cannot set " + field + " (" + HexStatus(hr) + ")");
    return;
  }
  const bool isUnsigned = table.fields[index].type == mw::FieldType::UInt32;
  long long v;
  if (!ParseInteger(value, isUnsigned ? 0 : INT32_MIN, isUnsigned ? UINT32_MAX : INT32_MAX,
                    &v)) {
    throw Usage("bad value '" + value + "' for " + field + " (a " +
                (isUnsigned ? "non-negative " : "") + "32-bit integer)");
  }
  const mw::HResult hr = settings.Put(static_cast<std::size_t>(index),
                                      static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
  if (mw::Failed(hr)) throw Error("cannot set " + field + " (" + HexStatus(hr) + ")");
}

// The name of the field a --set assigns.
std::string FieldOf(const std::string& assignment) {
  return assignment.substr(0, assignment.find('='));
}

// Pitch Shift's engine uses Ratio; Semitones and Cents are what its page shows. Like the
// page, a host that is given Semitones or Cents but no Ratio writes the Ratio they make.
void DeriveRatio(EffectSettings& settings, const mw::EffectDescription& entry,
                 const std::vector<std::string>& sets) {
  if (&entry != &mw::kPitchShift) return;
  bool interval = false;
  for (const std::string& s : sets) {
    const std::string field = FieldOf(s);
    if (field == "Ratio") return;
    if (field == "Semitones" || field == "Cents") interval = true;
  }
  if (!interval) return;
  const mw::ParamTable& table = entry.params;
  std::int32_t semitones = 0, cents = 0;
  mw::HResult hr = settings.Get(static_cast<std::size_t>(table.Find("Semitones")), &semitones);
  if (mw::Succeeded(hr)) hr = settings.Get(static_cast<std::size_t>(table.Find("Cents")), &cents);
  if (mw::Succeeded(hr)) {
    hr = settings.PutDouble(static_cast<std::size_t>(table.Find("Ratio")),
                            mw::PitchRatioToStore(semitones, cents));
  }
  if (mw::Failed(hr)) throw Error("cannot set Ratio (" + HexStatus(hr) + ")");
}

int List() {
  std::size_t count;
  const mw::EffectDescription* const* effects = mw::Catalog(&count);
  for (std::size_t i = 0; i < count; ++i) {
    std::printf("%-9s %s\n", effects[i]->cliName, effects[i]->filterName);
  }
  return 0;
}

int Presets(const std::vector<std::string>& args) {
  if (args.size() != 2) throw Usage("presets needs EFFECT");
  auto effect = mw::CreateEffect(FindAvailable(args[1]));
  for (std::int32_t i = 0; i < effect->PresetCount(); ++i) {
    const char* name = nullptr;
    effect->PresetName(i, &name);
    std::printf("%2d  %s\n", i, name);
  }
  return 0;
}

int Params(const std::vector<std::string>& args) {
  if (args.size() != 2) throw Usage("params needs EFFECT");
  auto effect = mw::CreateEffect(FindAvailable(args[1]));
  const mw::ParamTable& table = effect->Params().Table();
  int width = 5;  // the widest field name sets the first column
  for (std::size_t i = 0; i < table.count; ++i) {
    width = std::max(width, static_cast<int>(std::strlen(table.fields[i].name)));
  }
  std::printf("%-*s %9s  %s\n", width, "FIELD", "DEFAULT", "RANGE");
  for (std::size_t i = 0; i < table.count; ++i) {
    const mw::FieldInfo& f = table.fields[i];
    std::int32_t v = 0;
    effect->Params().Get(i, &v);
    std::string range = "any value (not clamped)";
    if (f.ranged) range = std::to_string(f.min) + " to " + std::to_string(f.max);
    if (f.positiveFinite) range = "any positive number";
    if (f.type == mw::FieldType::Float64) {
      double d = 0;
      effect->Params().GetDouble(i, &d);
      // Formatted first, then padded: Wine's printf pads "%9.9g" wrongly for whole values.
      char number[32];
      std::snprintf(number, sizeof number, "%.9g", d);
      std::printf("%-*s %9s  %s\n", width, f.name, number, range.c_str());
    } else if (f.type == mw::FieldType::UInt32) {
      std::printf("%-*s %9" PRIu32 "  %s\n", width, f.name, static_cast<std::uint32_t>(v),
                  range.c_str());
    } else {
      std::printf("%-*s %9" PRId32 "  %s\n", width, f.name, v, range.c_str());
    }
  }
  return 0;
}

}  // namespace

std::string HexStatus(mw::HResult hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08" PRIX32, static_cast<std::uint32_t>(hr));
  return buf;
}

bool ParseInteger(const std::string& text, long long min, long long max, long long* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0' || v < min || v > max) return false;
  *out = v;
  return true;
}

bool ParseDecimal(const std::string& text, double* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0') return false;
  *out = v;
  return true;
}

const mw::EffectDescription& FindAvailable(const std::string& name) {
  const mw::EffectDescription* entry = mw::FindEffect(name.c_str());
  if (entry == nullptr) {
    throw Usage("unknown effect '" + name + "' (one of: " + EffectNames() + ")");
  }
  return *entry;
}

namespace {

// The options from args[first] on; the buffer sizes only where `buffers` allows them.
void ParseOptions(const std::vector<std::string>& args, std::size_t first, bool buffers,
                  ProcessRequest* request) {
  for (std::size_t i = first; i < args.size(); ++i) {
    const std::string& opt = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw Usage(opt + " needs a value");
      return args[++i];
    };
    if (opt == "--preset") {
      request->preset = value();
    } else if (opt == "--set") {
      request->sets.push_back(value());
    } else if (opt == "--load-record") {
      request->loadRecord = value();
    } else if (opt == "--save-record") {
      request->saveRecord = value();
    } else if (!buffers && opt == "--picture") {
      request->picture = value();
    } else if (buffers && (opt == "--buffer-frames" || opt == "--output-frames")) {
      long long n;
      if (!ParseInteger(value(), 1, kMaxBufferFrames, &n)) {
        throw Usage(opt + " takes a whole number from 1 to " + std::to_string(kMaxBufferFrames));
      }
      (opt == "--buffer-frames" ? request->bufferFrames : request->outputFrames) =
          static_cast<std::uint32_t>(n);
    } else {
      throw Usage("unknown option '" + opt + "'");
    }
  }
}

}  // namespace

ProcessRequest ParseProcessArguments(const std::vector<std::string>& args) {
  if (args.size() < 4) throw Usage("process needs EFFECT IN OUT");
  ProcessRequest request;
  request.entry = &FindAvailable(args[1]);
  request.inPath = args[2];
  request.outPath = args[3];
  ParseOptions(args, 4, true, &request);
  return request;
}

ProcessRequest ParseSettingsArguments(const std::vector<std::string>& args) {
  if (args.size() < 2) throw Usage("settings needs EFFECT");
  ProcessRequest request;
  request.entry = &FindAvailable(args[1]);
  ParseOptions(args, 2, false, &request);
  return request;
}

std::optional<std::string> ApplySettings(EffectSettings& settings, const ProcessRequest& request) {
  const mw::EffectDescription& entry = *request.entry;
  if (request.loadRecord) {
    std::string bytes, error;
    if (!ReadWholeFile(*request.loadRecord, &bytes, &error)) throw Error(error);
    const mw::HResult hr = settings.LoadRecord(bytes);
    if (mw::Failed(hr)) {
      throw Error("record '" + *request.loadRecord + "' refused (" + HexStatus(hr) +
                  "): not a " + std::to_string(settings.RecordSize()) + "-byte " +
                  entry.filterName + " record");
    }
  }
  if (request.preset) {
    const std::int32_t index = ResolvePreset(settings, entry, *request.preset);
    const mw::HResult hr = settings.ApplyPreset(index);
    if (mw::Failed(hr)) {
      throw Error("cannot apply preset " + std::to_string(index) + " (" + HexStatus(hr) + ")");
    }
  }
  for (const std::string& s : request.sets) ApplySet(settings, entry, s);
  DeriveRatio(settings, entry, request.sets);
  if (!request.saveRecord) return std::nullopt;
  std::string record;
  const mw::HResult hr = settings.SaveRecord(&record);
  if (mw::Failed(hr)) throw Error("cannot save the record (" + HexStatus(hr) + ")");
  return record;
}

Progress::Progress(std::int64_t totalFrames, std::uint32_t rate)
    : total_(totalFrames),
      enabled_(MWFX_STDERR_IS_TERMINAL() && totalFrames > std::int64_t{rate} * 30) {}

Progress::~Progress() {
  if (shown_) std::fputs("\r\033[K", stderr);
}

void Progress::Set(std::int64_t framesDone) {
  done_ = framesDone;
  if (!enabled_) return;
  int percent = static_cast<int>(done_ * 100 / total_);
  if (percent > 100) percent = 100;
  if (percent == last_) return;
  last_ = percent;
  const int width = 40;
  const int filled = percent * width / 100;
  std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
               width - filled, "", percent);
  shown_ = true;
}

int Main(const std::vector<std::string>& args, ProcessCommand process,
         ProcessCommand settings) {
  try {
    if (args.empty()) throw Usage("no command given");
    const std::string& command = args[0];
    if (command == "process") return process(ParseProcessArguments(args));
    if (command == "settings") {
      const ProcessRequest request = ParseSettingsArguments(args);
      if (settings == nullptr) {
        throw Error("settings opens the effect's page in the system's property frame; it "
                    "needs the Windows build, mwfx.exe");
      }
      return settings(request);
    }
    if (command == "list") return List();
    if (command == "presets") return Presets(args);
    if (command == "params") return Params(args);
    if (command == "help" || command == "--help" || command == "-h") {
      std::fputs(kUsage, stdout);
      std::printf("EFFECT is one of: %s\n", EffectNames().c_str());
      return 0;
    }
    throw Usage("unknown command '" + command + "'");
  } catch (const Failure& f) {
    std::fprintf(stderr, "mwfx: %s%s\n", f.message.c_str(),
                 f.status == 2 ? " (see 'mwfx help')" : "");
    return f.status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mwfx: %s\n", e.what());
    return 1;
  }
}

}  // namespace mwfx

// mwfx: processes sound files through the mwppack1 effects, as a host around each
// effect's filter frame would.
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "effects/catalog.h"
#include "frame/memory_stream.h"
#include "frame/stream_host.h"
#include "sound_file.h"

namespace {

constexpr std::uint32_t kDefaultBufferFrames = 4096;
constexpr std::uint32_t kMaxBufferFrames = 1u << 22;

const char kUsage[] =
    "usage: mwfx process EFFECT IN OUT [--preset N|NAME] [--set FIELD=VALUE]...\n"
    "                    [--load-record FILE] [--save-record FILE] [--buffer-frames N]\n"
    "       mwfx list | presets EFFECT | params EFFECT\n"
    "EFFECT is one of: delay, chorus, reverb, multitap, pitch, stretch\n";

// A failure reported as one line on stderr with a non-zero exit status.
struct Failure {
  int status;
  std::string message;
};

Failure Usage(const std::string& message) { return {2, message}; }
Failure Error(const std::string& message) { return {1, message}; }

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

const mw::CatalogEntry& FindAvailable(const std::string& name) {
  const mw::CatalogEntry* entry = mw::FindEffect(name.c_str());
  if (entry == nullptr) {
    throw Usage("unknown effect '" + name +
                "' (one of: delay, chorus, reverb, multitap, pitch, stretch)");
  }
  if (entry->info == nullptr) throw Error("effect '" + name + "' is not available yet");
  return *entry;
}

std::int32_t ResolvePreset(const mw::InPlaceEffect& effect, const std::string& text) {
  long long index;
  if (ParseInteger(text, 0, INT32_MAX, &index)) {
    if (index >= effect.PresetCount()) {
      throw Usage("preset " + text + " does not exist (" + effect.Info().cliName + " has " +
                  std::to_string(effect.PresetCount()) + " presets, 0 to " +
                  std::to_string(effect.PresetCount() - 1) + ")");
    }
    return static_cast<std::int32_t>(index);
  }
  int found = -1;
  for (std::int32_t i = 0; i < effect.PresetCount(); ++i) {
    const char* name = nullptr;
    effect.PresetName(i, &name);
    if (text == name) return i;
    if (strcasecmp(text.c_str(), name) == 0 && found < 0) found = i;
  }
  if (found >= 0) return found;
  throw Usage("unknown preset '" + text + "' (see: mwfx presets " + effect.Info().cliName +
              ")");
}

void ApplySet(mw::InPlaceEffect& effect, const std::string& assignment) {
  const std::size_t eq = assignment.find('=');
  if (eq == std::string::npos) throw Usage("--set needs FIELD=VALUE, got '" + assignment + "'");
  const std::string field = assignment.substr(0, eq);
  const std::string value = assignment.substr(eq + 1);
  const mw::ParamTable& table = effect.Params().Table();
  const int index = table.Find(field.c_str());
  if (index < 0) {
    std::string names;
    for (std::size_t i = 0; i < table.count; ++i) {
      names += (i ? ", " : "") + std::string(table.fields[i].name);
    }
    throw Usage("unknown field '" + field + "' for " + effect.Info().cliName + " (one of: " +
                names + ")");
  }
  const bool isUnsigned = table.fields[index].type == mw::FieldType::UInt32;
  long long v;
  if (!ParseInteger(value, isUnsigned ? 0 : INT32_MIN, isUnsigned ? UINT32_MAX : INT32_MAX,
                    &v)) {
    throw Usage("bad value '" + value + "' for " + field + " (a " +
                (isUnsigned ? "non-negative " : "") + "32-bit integer)");
  }
  effect.Params().Put(static_cast<std::size_t>(index),
                      static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
}

class Progress {
 public:
  Progress(std::int64_t totalFrames, std::uint32_t rate)
      : total_(totalFrames),
        enabled_(isatty(STDERR_FILENO) && totalFrames > std::int64_t{rate} * 30) {}
  ~Progress() {
    if (shown_) std::fputs("\r\033[K", stderr);
  }
  void Advance(std::int64_t frames) {
    if (!enabled_) return;
    done_ += frames;
    const int percent = static_cast<int>(done_ * 100 / total_);
    if (percent == last_) return;
    last_ = percent;
    const int width = 40;
    const int filled = percent * width / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "########################################",
                 width - filled, "", percent);
    shown_ = true;
  }

 private:
  std::int64_t total_;
  std::int64_t done_ = 0;
  int last_ = -1;
  bool enabled_;
  bool shown_ = false;
};

int Process(const std::vector<std::string>& args) {
  if (args.size() < 4) throw Usage("process needs EFFECT IN OUT");
  const mw::CatalogEntry& entry = FindAvailable(args[1]);
  const std::string inPath = args[2], outPath = args[3];

  // Present options keep their values even when empty, so that an empty name is refused
  // rather than taken for an absent option.
  std::optional<std::string> preset, loadRecord, saveRecord;
  std::vector<std::string> sets;
  std::uint32_t bufferFrames = kDefaultBufferFrames;
  for (std::size_t i = 4; i < args.size(); ++i) {
    const std::string& opt = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw Usage(opt + " needs a value");
      return args[++i];
    };
    if (opt == "--preset") {
      preset = value();
    } else if (opt == "--set") {
      sets.push_back(value());
    } else if (opt == "--load-record") {
      loadRecord = value();
    } else if (opt == "--save-record") {
      saveRecord = value();
    } else if (opt == "--buffer-frames") {
      long long n;
      if (!ParseInteger(value(), 1, kMaxBufferFrames, &n)) {
        throw Usage("--buffer-frames takes a whole number from 1 to " +
                    std::to_string(kMaxBufferFrames));
      }
      bufferFrames = static_cast<std::uint32_t>(n);
    } else {
      throw Usage("unknown option '" + opt + "'");
    }
  }

  std::unique_ptr<mw::InPlaceEffect> effect = mw::CreateEffect(entry);
  if (loadRecord) {
    std::string bytes, error;
    if (!mwfx::ReadWholeFile(*loadRecord, &bytes, &error)) throw Error(error);
    mw::MemoryStream stream(bytes.data(), bytes.size());
    const mw::HResult hr = effect->Load(stream);
    if (mw::Failed(hr)) {
      throw Error("record '" + *loadRecord + "' refused (" + HexStatus(hr) + "): not a " +
                  std::to_string(effect->SizeMax()) + "-byte " + entry.displayName +
                  " record");
    }
  }
  if (preset) effect->ApplyPreset(ResolvePreset(*effect, *preset));
  for (const std::string& s : sets) ApplySet(*effect, s);
  // The record is staged now, with the settings as they stand, and lands with the output.
  mwfx::StagedFile recordFile;
  if (saveRecord) {
    mw::MemoryStream record;
    const mw::HResult hr = effect->Save(record, true);
    if (mw::Failed(hr)) throw Error("cannot save the record (" + HexStatus(hr) + ")");
    std::string error;
    if (!recordFile.Create(*saveRecord, &error) ||
        !recordFile.Write(record.Bytes().data(), record.Bytes().size(), &error)) {
      throw Error(error);
    }
  }

  mwfx::InputSound input;
  std::string error;
  if (!input.Open(inPath, &error)) throw Error(error);
  std::uint8_t block[16];
  input.FormatBlock(block);
  mw::ProposedMediaType type;
  type.majorType = mw::kMediaTypeAudio;
  type.formatBlock = block;
  type.formatBytes = sizeof block;
  if (mw::Failed(mw::CheckInputType(type))) throw Error("'" + inPath + "' is not accepted");
  mw::InPlaceFrame& frame = effect->Frame();
  frame.SetMediaType(mw::kPinInput, block);
  frame.SetMediaType(mw::kPinOutput, block);

  mwfx::OutputSound output;
  const mw::EffectFormat& format = input.Format();
  if (!output.Create(outPath, input.SndfileFormat(), format.nChannels,
                     static_cast<int>(format.nSamplesPerSec), &error)) {
    throw Error(error);
  }

  Progress progress(input.Frames(), format.nSamplesPerSec);
  bool readFailed = false, writeFailed = false;
  const mw::HResult hr = mw::RunStream(
      frame, bufferFrames,
      [&](std::uint8_t* buffer, std::size_t bytes) {
        const std::int64_t got = input.Read(buffer, bytes);
        if (got < 0) readFailed = true;
        else progress.Advance(got / format.nBlockAlign);
        return got;
      },
      [&](const std::uint8_t* data, std::size_t bytes) {
        if (output.Write(data, bytes)) return mw::S_OK;
        writeFailed = true;
        return mw::E_FAIL;
      });
  if (readFailed) throw Error("cannot read '" + inPath + "': the file ends early or is damaged");
  if (writeFailed) throw Error("cannot write '" + outPath + "'");
  if (mw::Failed(hr)) {
    throw Error(std::string(hr == mw::E_OUTOFMEMORY ? "out of memory" : "processing failed") +
                " (" + HexStatus(hr) + ")");
  }
  if (!output.Commit(&error)) throw Error(error);
  if (saveRecord && !recordFile.Commit(&error)) throw Error(error);
  return 0;
}

int List() {
  std::size_t count;
  const mw::CatalogEntry* entries = mw::Catalog(&count);
  for (std::size_t i = 0; i < count; ++i) {
    std::printf("%-9s %s%s\n", entries[i].cliName, entries[i].displayName,
                entries[i].info ? "" : " (not available yet)");
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
  std::printf("%-12s %9s  %s\n", "FIELD", "DEFAULT", "RANGE");
  for (std::size_t i = 0; i < table.count; ++i) {
    const mw::FieldInfo& f = table.fields[i];
    std::int32_t v = 0;
    effect->Params().Get(i, &v);
    std::string range = "any value (not clamped)";
    if (f.ranged) range = std::to_string(f.min) + " to " + std::to_string(f.max);
    if (f.type == mw::FieldType::UInt32) {
      std::printf("%-12s %9" PRIu32 "  %s\n", f.name, static_cast<std::uint32_t>(v),
                  range.c_str());
    } else {
      std::printf("%-12s %9" PRId32 "  %s\n", f.name, v, range.c_str());
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.empty()) throw Usage("no command given");
    const std::string& command = args[0];
    if (command == "process") return Process(args);
    if (command == "list") return List();
    if (command == "presets") return Presets(args);
    if (command == "params") return Params(args);
    if (command == "help" || command == "--help" || command == "-h") {
      std::fputs(kUsage, stdout);
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

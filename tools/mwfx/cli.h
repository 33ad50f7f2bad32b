// The command line of mwfx, shared by the native host (core + libsndfile) and the Windows
// host (the effect's filter in a real filter graph): argument parsing, the informational
// commands, the order in which settings are applied, progress and error reporting. Only
// the processing of a file differs between the two; each host supplies it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/effects/catalog.h"
#include "core/frame/hresult.h"

namespace mwfx {

// A failure reported as one line on stderr with a non-zero exit status: 2 for a usage
// error (the line then points at 'mwfx help'), 1 for anything else.
struct Failure {
  int status;
  std::string message;
};

inline Failure Usage(const std::string& message) { return {2, message}; }
inline Failure Error(const std::string& message) { return {1, message}; }

// "0x80004005"
std::string HexStatus(mw::HResult hr);

// A whole decimal number within [min, max], nothing else on the text.
bool ParseInteger(const std::string& text, long long min, long long max, long long* out);
// A decimal number (as strtod reads it), nothing else on the text.
bool ParseDecimal(const std::string& text, double* out);

// The catalog entry of an effect that this build can run; a Failure otherwise.
const mw::EffectDescription& FindAvailable(const std::string& name);

constexpr std::uint32_t kDefaultBufferFrames = 4096;
constexpr std::uint32_t kMaxBufferFrames = 1u << 22;

struct ProcessRequest {
  const mw::EffectDescription* entry = nullptr;
  std::string inPath;
  std::string outPath;
  // Present options keep their values even when empty, so that an empty name is refused
  // rather than taken for an absent option.
  std::optional<std::string> preset;
  std::optional<std::string> loadRecord;
  std::optional<std::string> saveRecord;
  // settings only: a PNG picture of the page, taken once it shows; the page then closes.
  std::optional<std::string> picture;
  std::vector<std::string> sets;
  std::uint32_t bufferFrames = kDefaultBufferFrames;
  // Output buffers of the effects that change the length; 0: four times the input's.
  std::uint32_t outputFrames = 0;

  std::uint32_t OutputFrames() const {
    if (outputFrames != 0) return outputFrames;
    const std::uint64_t n = std::uint64_t{bufferFrames} * 4;
    return n > kMaxBufferFrames * 4ull ? kMaxBufferFrames * 4u : static_cast<std::uint32_t>(n);
  }
};

// `args` starts with the word "process".
ProcessRequest ParseProcessArguments(const std::vector<std::string>& args);
// `args` starts with the word "settings": EFFECT and the settings' options (no files to
// process, no buffer sizes).
ProcessRequest ParseSettingsArguments(const std::vector<std::string>& args);

// The settings of one effect as a host reaches them: through the portable effect object
// natively, through the filter's component interfaces on Windows.
class EffectSettings {
 public:
  virtual ~EffectSettings() = default;
  virtual std::int32_t PresetCount() = 0;
  virtual std::string PresetName(std::int32_t index) = 0;
  virtual mw::HResult ApplyPreset(std::int32_t index) = 0;
  // `field` indexes the effect's field table; PutDouble and Get are for its floating-point
  // and integer fields respectively.
  virtual mw::HResult Put(std::size_t field, std::int32_t value) = 0;
  virtual mw::HResult PutDouble(std::size_t field, double value) = 0;
  virtual mw::HResult Get(std::size_t field, std::int32_t* value) = 0;
  virtual mw::HResult LoadRecord(const std::string& bytes) = 0;
  virtual mw::HResult SaveRecord(std::string* bytes) = 0;
  virtual std::uint32_t RecordSize() = 0;
};

// Applies the request's settings as a host around the filter would: --load-record, then
// --preset, then each --set in order. Returns the record to save when --save-record was
// given (taken after all settings). Failures are thrown as Failure.
std::optional<std::string> ApplySettings(EffectSettings& settings, const ProcessRequest& request);

// Reads a whole file; on failure `error` is the message to report. Each host implements it
// with its platform's file names.
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error);

// A progress bar on stderr for long inputs, shown only when stderr is a terminal.
class Progress {
 public:
  Progress(std::int64_t totalFrames, std::uint32_t rate);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  // Frames done so far (beyond the total shows as 100 %).
  void Set(std::int64_t framesDone);
  void Advance(std::int64_t frames) { Set(done_ + frames); }

 private:
  std::int64_t total_;
  std::int64_t done_ = 0;
  int last_ = -1;
  bool enabled_;
  bool shown_ = false;
};

using ProcessCommand = int (*)(const ProcessRequest& request);

// The whole program: dispatches the command, runs `process` (and `settings`, where the host
// has one) through the host's commands, and turns failures into one line on stderr and the
// exit status.
int Main(const std::vector<std::string>& args, ProcessCommand process,
         ProcessCommand settings = nullptr);

}  // namespace mwfx

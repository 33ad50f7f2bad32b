// mwfx, the native host: processes sound files through the portable effects, as a host
// around each effect's filter frame would, reading and writing them with libsndfile.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "core/effects/catalog.h"
#include "core/frame/memory_stream.h"
#include "core/frame/stream_host.h"
#include "sound_file.h"

namespace {

using mwfx::Error;

// The portable effect object as the shared command line sees its settings.
class CoreSettings final : public mwfx::EffectSettings {
 public:
  explicit CoreSettings(mw::Effect& effect) : effect_(effect) {}
  std::int32_t PresetCount() override { return effect_.PresetCount(); }
  std::string PresetName(std::int32_t index) override {
    const char* name = nullptr;
    effect_.PresetName(index, &name);
    return name != nullptr ? name : "";
  }
  mw::HResult ApplyPreset(std::int32_t index) override { return effect_.ApplyPreset(index); }
  mw::HResult Put(std::size_t field, std::int32_t value) override {
    return effect_.Params().Put(field, value);
  }
  mw::HResult PutDouble(std::size_t field, double value) override {
    return effect_.Params().PutDouble(field, value);
  }
  mw::HResult Get(std::size_t field, std::int32_t* value) override {
    return effect_.Params().Get(field, value);
  }
  mw::HResult LoadRecord(const std::string& bytes) override {
    mw::MemoryStream stream(bytes.data(), bytes.size());
    return effect_.Load(stream);
  }
  mw::HResult SaveRecord(std::string* bytes) override {
    mw::MemoryStream stream;
    const mw::HResult hr = effect_.Save(stream, true);
    bytes->assign(stream.Bytes().begin(), stream.Bytes().end());
    return hr;
  }
  std::uint32_t RecordSize() override { return effect_.SizeMax(); }

 private:
  mw::Effect& effect_;
};

int Process(const mwfx::ProcessRequest& request) {
  std::unique_ptr<mw::Effect> effect = mw::CreateEffect(*request.entry);
  CoreSettings settings(*effect);
  const std::optional<std::string> record = mwfx::ApplySettings(settings, request);

  // The record is staged now, with the settings as they stand, and lands with the output.
  mwfx::StagedFile recordFile;
  std::string error;
  if (record && (!recordFile.Create(*request.saveRecord, &error) ||
                 !recordFile.Write(record->data(), record->size(), &error))) {
    throw Error(error);
  }

  const std::string& inPath = request.inPath;
  const std::string& outPath = request.outPath;
  mwfx::InputSound input;
  if (!input.Open(inPath, &error)) throw Error(error);
  std::uint8_t block[16];
  if (mw::Failed(input.CheckFormat(block))) throw Error("'" + inPath + "' is not accepted");
  effect->Connect(block, sizeof block);

  mwfx::OutputSound output;
  const mw::EffectFormat& format = input.Format();
  if (!output.Create(outPath, input.SndfileFormat(), format.nChannels,
                     static_cast<int>(format.nSamplesPerSec), &error)) {
    throw Error(error);
  }

  mwfx::Progress progress(input.Frames(), format.nSamplesPerSec);
  std::uint64_t framesRead = 0;
  bool readFailed = false, writeFailed = false;
  const mw::HResult hr = effect->RunWholeStream(
      request.bufferFrames, request.OutputFrames(),
      [&](std::uint8_t* buffer, std::size_t bytes) {
        const std::int64_t got = input.Read(buffer, bytes);
        if (got < 0) {
          readFailed = true;
        } else {
          framesRead += static_cast<std::uint64_t>(got) / format.nBlockAlign;
          progress.Advance(got / format.nBlockAlign);
        }
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
                " (" + mwfx::HexStatus(hr) + ")");
  }
  if (input.HeaderRead()) {
    for (const std::string& line : mwfx::InputWarnings(input.Header(), inPath, framesRead)) {
      std::fprintf(stderr, "mwfx: warning: %s\n", line.c_str());
    }
  }
  if (!output.Commit(&error)) throw Error(error);
  if (record && !recordFile.Commit(&error)) throw Error(error);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return mwfx::Main(std::vector<std::string>(argv + 1, argv + argc), &Process);
}

// mwfx, the Windows host: processes WAV files through an effect filter of mwppack1.dll in
// a real filter graph, File Source (Async) -> WAVE parser -> effect -> a sink of ours, and
// writes what reaches the sink with the input's own format chunk.
#include <windows.h>
#include <dshow.h>
#include <evcode.h>
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cli.h"
#include "core/frame/effect_format.h"
#include "wav_header.h"
#include "win/audio_graph.h"
#include "win/com_effect.h"
#include "win/files.h"
#include "win/settings_frame.h"
#include "win/wav_sink.h"

namespace {

using mwfx::Error;
using mwfx::HexStatus;

// Without data reaching the sink for this long, the graph is taken to have stalled.
constexpr DWORD kStallMilliseconds = 60000;
constexpr DWORD kWaitSliceMilliseconds = 100;

class ComApartment {
 public:
  ComApartment() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) throw Error("cannot start the component runtime (" + HexStatus(hr) + ")");
  }
  ~ComApartment() { CoUninitialize(); }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
};

class SinkRef {
 public:
  SinkRef() {
    const HRESULT hr = mwfx::WavSink::Create(&sink_);
    if (FAILED(hr)) throw Error("cannot create the sink (" + HexStatus(hr) + ")");
  }
  ~SinkRef() { sink_->Release(); }
  SinkRef(const SinkRef&) = delete;
  SinkRef& operator=(const SinkRef&) = delete;
  mwfx::WavSink* operator->() const { return sink_; }
  IBaseFilter* Filter() const { return static_cast<IBaseFilter*>(sink_); }

 private:
  mwfx::WavSink* sink_ = nullptr;
};

std::wstring FullPath(const std::string& path) {
  const std::wstring wide = mwfx::Widen(path);
  const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return wide;
  std::wstring full(n, L'\0');
  const DWORD m = GetFullPathNameW(wide.c_str(), n, &full[0], nullptr);
  full.resize(m);
  return full;
}

// Reads and checks the input's header, as the native host's reader would.
mwfx::WavLayout ReadInputLayout(const std::string& path) {
  mwfx::InputFile file;
  std::string error;
  if (!file.Open(path, &error)) throw Error(error);
  mwfx::WavLayout layout;
  const mwfx::WavCheck check = mwfx::ParseWav(
      [&file](std::uint64_t offset, void* buffer, std::size_t bytes) {
        return file.ReadAt(offset, buffer, bytes);
      },
      file.Size(), path, &layout, &error);
  if (check != mwfx::WavCheck::kAccepted) throw Error(error);

  // The effect's own test of media types must agree.
  std::vector<std::uint8_t> block(layout.fmtChunk);
  mw::ProposedMediaType type;
  type.majorType = mw::kMediaTypeAudio;
  type.formatBlock = block.data();
  type.formatBytes = static_cast<std::uint32_t>(block.size());
  if (mw::Failed(mw::CheckInputType(type))) throw Error("'" + path + "' is not accepted");
  return layout;
}

// The parser must describe the samples as the header does, or the output's header would
// misdescribe them.
void CheckConnectedFormat(const std::vector<BYTE>& format, const mwfx::WavLayout& layout,
                          const std::string& path) {
  if (format.size() < sizeof(WAVEFORMATEX)) throw Error("the sink was not given a wave format");
  const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(format.data());
  if (wf->nChannels != layout.channels || wf->nSamplesPerSec != layout.rate ||
      wf->nBlockAlign != layout.blockAlign || wf->wBitsPerSample != layout.bits) {
    throw Error("the WAVE parser describes '" + path + "' differently from its header");
  }
}

// Some files are played from a temporary copy with a header that describes exactly the
// samples they hold, which ends right after them:
// - Wine's WAVE parser delivers nothing from a file whose data chunk has an odd size and is
//   followed by its pad byte (8-bit mono with an odd number of frames): it reports no
//   duration and ends the stream at once;
// - a file that ends before its data chunk does, whose missing end the parser would try
//   to read;
// - a header whose block alignment disagrees with its channels and bits, by which the
//   parser would cut its buffers.
// Returns the file the graph is to play.
std::wstring PlayableInput(const std::string& path, const mwfx::WavLayout& layout,
                           mwfx::StagedFile* copy) {
  const bool asStored = (layout.dataBytes & 1) == 0 &&
                        layout.ExpectedFrames() == layout.Frames() &&
                        layout.storedBlockAlign == layout.blockAlign;
  if (asStored) return FullPath(path);
  wchar_t dir[MAX_PATH];
  const DWORD n = GetTempPathW(MAX_PATH, dir);
  std::string error;
  if (n == 0 || n >= MAX_PATH ||
      !copy->Create(mwfx::Narrow(std::wstring(dir, n) + L"mwfx-input.wav"), &error)) {
    throw Error(error.empty() ? "cannot find the temporary folder" : error);
  }
  const std::vector<std::uint8_t> header = mwfx::WavHeader(layout, layout.dataBytes, false);
  if (header.empty() || !copy->Write(header.data(), header.size(), &error)) {
    throw Error(error.empty() ? "'" + path + "' is too large" : error);
  }
  mwfx::InputFile input;
  if (!input.Open(path, &error)) throw Error(error);
  std::vector<std::uint8_t> buffer(1 << 20);
  for (std::uint64_t done = 0; done < layout.dataBytes;) {
    const std::size_t want = static_cast<std::size_t>(
        std::min<std::uint64_t>(buffer.size(), layout.dataBytes - done));
    if (input.ReadAt(layout.dataOffset + done, buffer.data(), want) != want) {
      throw Error("cannot read '" + path + "': the file ends early or is damaged");
    }
    if (!copy->Write(buffer.data(), want, &error)) throw Error(error);
    done += want;
  }
  if (!copy->Close(&error)) throw Error(error);
  return copy->TempPath();
}

// Events that mean the graph gave up.
bool IsAbort(LONG code) {
  return code == EC_ERRORABORT || code == EC_ERRORABORTEX || code == EC_USERABORT ||
         code == EC_STREAM_ERROR_STOPPED || code == EC_ERROR_STILLPLAYING;
}

// Runs the graph until every renderer has signalled completion.
void RunToCompletion(mwfx::AudioGraph& graph, mwfx::WavSink* sink, const mwfx::WavLayout& layout,
                     const std::string& writeError) {
  HRESULT hr = graph.Control()->Run();
  if (FAILED(hr)) throw Error("cannot start the filter graph (" + HexStatus(hr) + ")");
  mwfx::Progress progress(static_cast<std::int64_t>(layout.Frames()), layout.rate);
  std::uint64_t lastBytes = 0;
  DWORD quietSince = GetTickCount();
  for (;;) {
    LONG code = 0;
    hr = graph.Events()->WaitForCompletion(kWaitSliceMilliseconds, &code);
    if (hr == S_OK) {
      if (code == EC_COMPLETE) return;
      throw Error("processing ended early (event " + HexStatus(code) + ")");
    }
    if (hr != E_ABORT) throw Error("cannot wait for the filter graph (" + HexStatus(hr) + ")");

    LONG event = 0;
    LONG_PTR param1 = 0, param2 = 0;
    while (graph.Events()->GetEvent(&event, &param1, &param2, 0) == S_OK) {
      graph.Events()->FreeEventParams(event, param1, param2);
      if (IsAbort(event)) {
        throw Error("processing failed (" + HexStatus(static_cast<HRESULT>(param1)) + ")");
      }
    }
    if (FAILED(sink->WriteStatus())) {
      throw Error(!writeError.empty() ? writeError
                                      : "processing failed (" + HexStatus(sink->WriteStatus()) + ")");
    }
    const std::uint64_t bytes = sink->BytesReceived();
    progress.Set(static_cast<std::int64_t>(bytes / layout.blockAlign));
    if (bytes != lastBytes) {
      lastBytes = bytes;
      quietSince = GetTickCount();
    } else if (GetTickCount() - quietSince > kStallMilliseconds) {
      throw Error("the filter graph stopped: no data for " +
                  std::to_string(kStallMilliseconds / 1000) + " s (timed out)");
    }
  }
}

int Process(const mwfx::ProcessRequest& request) {
  // --buffer-frames and --output-frames are accepted for the same command line as the
  // native host; here the WAVE parser chooses the input buffer sizes, and the effect's
  // filter the output buffer sizes.
  ComApartment com;
  mwfx::ComEffect effect;
  std::string error;
  if (!effect.Create(*request.entry, &error)) throw Error(error);
  const std::optional<std::string> record = mwfx::ApplySettings(effect, request);

  // The record is staged now, with the settings as they stand, and lands with the output.
  mwfx::StagedFile recordFile;
  if (record && (!recordFile.Create(*request.saveRecord, &error) ||
                 !recordFile.Write(record->data(), record->size(), &error))) {
    throw Error(error);
  }

  const std::string& inPath = request.inPath;
  const mwfx::WavLayout layout = ReadInputLayout(inPath);

  mwfx::StagedFile output;
  if (!output.Create(request.outPath, &error)) throw Error(error);
  const std::vector<std::uint8_t> placeholder = mwfx::WavHeader(layout, 0);
  if (!output.Write(placeholder.data(), placeholder.size(), &error)) throw Error(error);

  // The sink streams what it receives into the staged output, on the streaming thread.
  SinkRef sink;
  std::uint64_t dataBytes = 0;
  std::string writeError;
  sink->SetWriter([&](const BYTE* data, std::size_t bytes) -> HRESULT {
    if (!output.Write(data, bytes, &writeError)) return E_FAIL;
    dataBytes += bytes;
    return S_OK;
  });

  mwfx::StagedFile playableCopy;
  const std::wstring playable = PlayableInput(inPath, layout, &playableCopy);
  {
    mwfx::AudioGraph graph;
    const HRESULT hr = graph.Build(playable, effect.Filter(), sink.Filter(), &error);
    if (FAILED(hr)) throw Error("cannot process '" + inPath + "': " + error);
    CheckConnectedFormat(sink->ConnectedFormat(), layout, inPath);
    RunToCompletion(graph, sink.operator->(), layout, writeError);
    graph.Control()->Stop();
  }
  if (FAILED(sink->WriteStatus())) throw Error(writeError);
  // An in-place effect passes every input byte on before its tail: less means the parser
  // did not deliver the whole file. (The effects that change the length make less or more.)
  const bool inPlace = request.entry->kind == mw::EffectKind::kInPlace;
  if (inPlace && dataBytes < layout.dataBytes) {
    throw Error("cannot read '" + inPath + "': the WAVE parser delivered " +
                std::to_string(dataBytes) + " of its " + std::to_string(layout.dataBytes) +
                " bytes of samples");
  }

  for (const std::string& line : mwfx::InputWarnings(layout, inPath, layout.Frames())) {
    std::fprintf(stderr, "mwfx: warning: %s\n", line.c_str());
  }

  if (dataBytes & 1) {
    const std::uint8_t pad = 0;
    if (!output.Write(&pad, 1, &error)) throw Error(error);
  }
  const std::vector<std::uint8_t> header = mwfx::WavHeader(layout, dataBytes);
  if (header.size() != placeholder.size()) {
    throw Error("cannot write '" + request.outPath + "': too much sound for a WAV file");
  }
  if (!output.Rewrite(header.data(), header.size(), &error)) throw Error(error);
  if (!output.Commit(&error)) throw Error(error);
  if (record && !recordFile.Commit(&error)) throw Error(error);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Byte-for-byte the native host's output: no carriage returns added.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(mwfx::Narrow(argv[i]));
  return mwfx::Main(args, &Process, &mwfx::EditSettings);
}

// The native command line's input path over arbitrary files: the file is opened and checked
// through the sound library, its format block goes to the effect's input test, and its
// samples are read in buffers of chosen sizes and streamed through Simple Delay, as
// `mwfx process` does. The header reader's view of the same file is checked against it.
#include "fuzz_support.h"

#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "core/effects/delay/simple_delay.h"
#include "core/frame/stream_host.h"
#include "sound_file.h"
#include "wav_header.h"

namespace {

// The fuzz bytes as a file without touching the disk.
class MemoryFile {
 public:
  MemoryFile(const std::uint8_t* data, std::size_t size) {
    fd_ = memfd_create("mwfuzz", 0);
    MW_REQUIRE(fd_ >= 0);
    MW_REQUIRE(write(fd_, data, size) == static_cast<ssize_t>(size));
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemoryFile() { close(fd_); }
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// Files of higher rates are read but not streamed: their delay lines and tails would make
// each run long.
constexpr std::uint32_t kMaxStreamRate = 8000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t readFrames = data[0] + 1;
  MemoryFile file(data + 1, size - 1);

  mwfx::InputSound input;
  std::string error;
  if (!input.Open(file.Path(), &error)) {
    MW_REQUIRE(!error.empty());
    return 0;
  }
  const mw::EffectFormat& f = input.Format();
  std::uint8_t block[16];
  MW_REQUIRE(input.CheckFormat(block) == mw::S_OK);
  MW_REQUIRE(f.nBlockAlign == f.wBitsPerSample / 8 * f.nChannels && f.nBlockAlign != 0);
  MW_REQUIRE(input.Frames() >= 0);

  // Where both readers take the file, they agree on what it holds.
  const mwfx::WavLayout& header = input.Header();
  if (input.HeaderRead()) {
    MW_REQUIRE(header.channels == f.nChannels && header.rate == f.nSamplesPerSec &&
               header.bits == f.wBitsPerSample && header.tag == f.wFormatTag);
  }

  // Read in buffers of whole frames and stream through the effect.
  auto effect = mw::CreateEffect(mw::kSimpleDelay);
  MW_REQUIRE(effect->Connect(block, sizeof block) == mw::S_OK);
  std::int64_t frames = 0;
  bool readFailed = false;
  auto source = [&](std::uint8_t* buffer, std::size_t bytes) -> std::int64_t {
    const std::int64_t got = input.Read(buffer, bytes);
    if (got < 0) {
      readFailed = true;
      return got;
    }
    MW_REQUIRE(static_cast<std::size_t>(got) <= bytes && got % f.nBlockAlign == 0);
    frames += got / f.nBlockAlign;
    return got;
  };
  if (f.nSamplesPerSec > kMaxStreamRate) {
    std::vector<std::uint8_t> buffer(readFrames * f.nBlockAlign);
    while (source(buffer.data(), buffer.size()) > 0) {
    }
  } else {
    std::uint64_t out = 0;
    const mw::HResult hr = effect->RunWholeStream(
        static_cast<std::uint32_t>(readFrames), static_cast<std::uint32_t>(readFrames),
        source, [&](const std::uint8_t*, std::size_t bytes) {
          MW_REQUIRE(bytes % f.nBlockAlign == 0);
          out += bytes;
          return mw::S_OK;
        });
    MW_REQUIRE(readFailed ? hr == mw::E_FAIL : hr == mw::S_OK);
    // Every input frame comes out, then the tail.
    if (!readFailed) MW_REQUIRE(out >= static_cast<std::uint64_t>(frames) * f.nBlockAlign);
  }
  if (!readFailed) MW_REQUIRE(frames <= input.Frames());
  return 0;
}

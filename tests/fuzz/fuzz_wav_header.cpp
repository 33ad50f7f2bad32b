// The WAV header reader of the Windows command line over arbitrary files, including files
// shorter than they say and reads that come back short. An accepted file describes one of
// the five encodings with data that lies inside the file in whole frames; the header
// written for its samples reads back as the same layout.
#include "fuzz_support.h"

#include <string>

#include "wav_header.h"

namespace {

mwfx::WavCheck Parse(const std::vector<std::uint8_t>& file, std::uint64_t claimedSize,
                     mwfx::WavLayout* layout, std::string* problem) {
  return mwfx::ParseWav(
      [&file](std::uint64_t offset, void* buffer, std::size_t bytes) -> std::size_t {
        if (offset >= file.size()) return 0;
        const std::size_t n = std::min<std::uint64_t>(bytes, file.size() - offset);
        std::memcpy(buffer, file.data() + offset, n);
        return n;
      },
      claimedSize, "input.wav", layout, problem);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte says how much longer than it is the file claims to be.
  const std::uint64_t extra = data[0] < 200 ? 0 : std::uint64_t{data[0]} << 20;
  const std::vector<std::uint8_t> file(data + 1, data + size);

  mwfx::WavLayout layout;
  std::string problem;
  const mwfx::WavCheck check = Parse(file, file.size() + extra, &layout, &problem);
  if (check != mwfx::WavCheck::kAccepted) {
    MW_REQUIRE(!problem.empty());
    return 0;
  }
  MW_REQUIRE(problem.empty());
  MW_REQUIRE(layout.fmtChunk.size() >= 16);
  MW_REQUIRE(layout.channels == 1 || layout.channels == 2);
  MW_REQUIRE(layout.rate != 0);
  MW_REQUIRE((layout.tag == 1 && (layout.bits == 8 || layout.bits == 16 || layout.bits == 32)) ||
             (layout.tag == 3 && (layout.bits == 32 || layout.bits == 64)));
  MW_REQUIRE(layout.blockAlign == layout.bits / 8 * layout.channels);
  MW_REQUIRE(layout.dataBytes % layout.blockAlign == 0);
  MW_REQUIRE(layout.dataOffset + layout.dataBytes <= file.size() + extra);
  MW_REQUIRE(layout.ExpectedFrames() >= layout.Frames());

  // The header of an output with the samples the file holds (when they are in memory).
  if (layout.dataOffset + layout.dataBytes > file.size()) return 0;
  const std::vector<std::uint8_t> header = mwfx::WavHeader(layout, layout.dataBytes);
  MW_REQUIRE(!header.empty());
  std::vector<std::uint8_t> out(header);
  out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(layout.dataOffset),
             file.begin() + static_cast<std::ptrdiff_t>(layout.dataOffset + layout.dataBytes));
  if (layout.dataBytes & 1) out.push_back(0);
  mwfx::WavLayout again;
  MW_REQUIRE(Parse(out, out.size(), &again, &problem) == mwfx::WavCheck::kAccepted);
  MW_REQUIRE(again.tag == layout.tag && again.storedTag == layout.storedTag &&
             again.channels == layout.channels && again.rate == layout.rate &&
             again.bits == layout.bits && again.blockAlign == layout.blockAlign &&
             again.dataBytes == layout.dataBytes && again.dataOffset == header.size() &&
             again.ExpectedFrames() == again.Frames());
  MW_REQUIRE(std::memcmp(out.data() + again.dataOffset, file.data() + layout.dataOffset,
                         static_cast<std::size_t>(layout.dataBytes)) == 0);
  return 0;
}

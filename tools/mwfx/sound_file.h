// WAV files through libsndfile, read and written as raw sample bytes so that every stored
// code passes through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <sndfile.h>

#include "core/frame/effect_format.h"
#include "wav_header.h"

namespace mwfx {

class InputSound {
 public:
  InputSound() = default;
  ~InputSound();
  InputSound(const InputSound&) = delete;
  InputSound& operator=(const InputSound&) = delete;

  // Opens and checks the file; on failure `error` says why (naming the refused format).
  bool Open(const std::string& path, std::string* error);
  // The file's WAV header as the header reader sees it, when that reader accepts the file:
  // what the data chunk claims and the stored block alignment, for the input warnings.
  bool HeaderRead() const { return headerRead_; }
  const WavLayout& Header() const { return header_; }
  const mw::EffectFormat& Format() const { return format_; }
  // The 16-byte wave format block the file describes.
  void FormatBlock(std::uint8_t out[16]) const;
  // Fills `out` with that block and answers whether the effects' input pins take it.
  mw::HResult CheckFormat(std::uint8_t out[16]) const;
  std::int64_t Frames() const { return info_.frames; }
  int SndfileFormat() const { return info_.format; }
  // Reads up to `bytes` bytes of whole frames; the count read, or -1 on an error.
  std::int64_t Read(std::uint8_t* buffer, std::size_t bytes);

 private:
  SNDFILE* file_ = nullptr;
  SF_INFO info_{};
  mw::EffectFormat format_;
  WavLayout header_;
  bool headerRead_ = false;
};

// A file written beside its target under a temporary name and renamed over the target
// only by Commit, so a failed run never clobbers an existing file. Destroyed without a
// commit, it leaves nothing behind.
class StagedFile {
 public:
  StagedFile() = default;
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  bool Create(const std::string& path, std::string* error);
  int Fd() const { return fd_; }
  bool Write(const void* data, std::size_t bytes, std::string* error);
  bool Commit(std::string* error);

 private:
  std::string path_;
  std::string temp_;
  int fd_ = -1;
};

class OutputSound {
 public:
  OutputSound() = default;
  ~OutputSound();
  OutputSound(const OutputSound&) = delete;
  OutputSound& operator=(const OutputSound&) = delete;

  bool Create(const std::string& path, int sndfileFormat, int channels, int rate,
              std::string* error);
  bool Write(const std::uint8_t* data, std::size_t bytes);
  bool Commit(std::string* error);

 private:
  StagedFile staged_;
  SNDFILE* file_ = nullptr;
};

}  // namespace mwfx

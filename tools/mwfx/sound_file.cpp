#include "sound_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli.h"
#include "core/frame/le_bytes.h"

namespace mwfx {
namespace {

// mkstemp creates files readable by the owner only; give the result the usual permissions.
void UsualPermissions(int fd) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
}

const char kAccepted[] =
    "accepted: 8-bit unsigned PCM, 16-bit PCM, 32-bit PCM, 32-bit float, 64-bit float; "
    "mono or stereo WAV";

std::string SubtypeName(int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_S8: return "8-bit signed PCM";
    case SF_FORMAT_PCM_U8: return "8-bit unsigned PCM";
    case SF_FORMAT_PCM_16: return "16-bit PCM";
    case SF_FORMAT_PCM_24: return "24-bit PCM";
    case SF_FORMAT_PCM_32: return "32-bit PCM";
    case SF_FORMAT_FLOAT: return "32-bit float";
    case SF_FORMAT_DOUBLE: return "64-bit float";
    case SF_FORMAT_ULAW: return "u-law";
    case SF_FORMAT_ALAW: return "A-law";
    case SF_FORMAT_IMA_ADPCM: return "IMA ADPCM";
    case SF_FORMAT_MS_ADPCM: return "MS ADPCM";
    case SF_FORMAT_GSM610: return "GSM 6.10";
    default: return "an unsupported encoding";
  }
}

std::string Describe(const SF_INFO& info) {
  SF_FORMAT_INFO fi{};
  fi.format = info.format & SF_FORMAT_TYPEMASK;
  std::string container = "unknown container";
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &fi, sizeof fi) == 0 && fi.name != nullptr) {
    container = fi.name;
  }
  std::ostringstream s;
  s << container << ", " << SubtypeName(info.format & SF_FORMAT_SUBMASK) << ", "
    << info.channels << (info.channels == 1 ? " channel" : " channels");
  return s.str();
}

}  // namespace

InputSound::~InputSound() {
  if (file_ != nullptr) sf_close(file_);
}

bool InputSound::Open(const std::string& path, std::string* error) {
  std::FILE* probe = std::fopen(path.c_str(), "rb");
  if (probe == nullptr) {
    *error = "cannot read '" + path + "': " + std::strerror(errno);
    return false;
  }
  std::fclose(probe);
  file_ = sf_open(path.c_str(), SFM_READ, &info_);
  if (file_ == nullptr) {
    *error = "'" + path + "' is not a sound file that can be read (" +
             sf_strerror(nullptr) + "); " + kAccepted;
    return false;
  }
  const int major = info_.format & SF_FORMAT_TYPEMASK;
  const int subtype = info_.format & SF_FORMAT_SUBMASK;
  std::uint16_t tag = 0, bits = 0;
  switch (subtype) {
    case SF_FORMAT_PCM_U8: tag = mw::kWaveFormatPcm; bits = 8; break;
    case SF_FORMAT_PCM_16: tag = mw::kWaveFormatPcm; bits = 16; break;
    case SF_FORMAT_PCM_32: tag = mw::kWaveFormatPcm; bits = 32; break;
    case SF_FORMAT_FLOAT: tag = mw::kWaveFormatIeeeFloat; bits = 32; break;
    case SF_FORMAT_DOUBLE: tag = mw::kWaveFormatIeeeFloat; bits = 64; break;
    default: break;
  }
  const bool wav = major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX;
  if (!wav || tag == 0 || (info_.channels != 1 && info_.channels != 2) ||
      info_.samplerate <= 0) {
    *error = "'" + path + "' is " + Describe(info_) + ", which is not accepted; " + kAccepted;
    return false;
  }
  std::uint8_t block[16] = {};
  mw::PutLe16(block, tag);
  mw::PutLe16(block + 2, static_cast<std::uint16_t>(info_.channels));
  mw::PutLe32(block + 4, static_cast<std::uint32_t>(info_.samplerate));
  mw::PutLe16(block + 14, bits);
  format_ = mw::EffectFormat::FromFormatBlock(block);

  std::FILE* raw = std::fopen(path.c_str(), "rb");
  if (raw != nullptr) {
    struct stat st;
    const std::uint64_t size = ::fstat(fileno(raw), &st) == 0 ? st.st_size : 0;
    std::string problem;
    headerRead_ = ParseWav(
                      [raw](std::uint64_t offset, void* buffer, std::size_t bytes) -> std::size_t {
                        if (fseeko(raw, static_cast<off_t>(offset), SEEK_SET) != 0) return 0;
                        return std::fread(buffer, 1, bytes, raw);
                      },
                      size, path, &header_, &problem) == WavCheck::kAccepted;
    std::fclose(raw);
  }
  return true;
}

void InputSound::FormatBlock(std::uint8_t out[16]) const {
  mw::PutLe16(out, format_.wFormatTag);
  mw::PutLe16(out + 2, format_.nChannels);
  mw::PutLe32(out + 4, format_.nSamplesPerSec);
  mw::PutLe32(out + 8, format_.nAvgBytesPerSec);
  mw::PutLe16(out + 12, format_.nBlockAlign);
  mw::PutLe16(out + 14, format_.wBitsPerSample);
}

bool InputSound::Refill() {
  if (block_ == nullptr) {
    blockSize_ = kIoBlockBytes - kIoBlockBytes % format_.nBlockAlign;
    block_.reset(new std::uint8_t[blockSize_]);
  }
  const sf_count_t got = sf_read_raw(file_, block_.get(), static_cast<sf_count_t>(blockSize_));
  if (got < 0 || (got == 0 && sf_error(file_) != SF_ERR_NO_ERROR)) {
    failed_ = true;
    return false;
  }
  blockFill_ = static_cast<std::size_t>(got - got % format_.nBlockAlign);
  blockRead_ = 0;
  return true;
}

mw::HResult InputSound::CheckFormat(std::uint8_t out[16]) const {
  FormatBlock(out);
  mw::ProposedMediaType type;
  type.majorType = mw::kMediaTypeAudio;
  type.formatBlock = out;
  type.formatBytes = 16;
  return mw::CheckInputType(type);
}

std::int64_t InputSound::Read(std::uint8_t* buffer, std::size_t bytes) {
  const std::size_t whole = bytes - bytes % format_.nBlockAlign;
  std::size_t done = 0;
  while (done < whole) {
    if (blockRead_ == blockFill_ && (failed_ || !Refill() || blockFill_ == 0)) break;
    const std::size_t n = std::min(whole - done, blockFill_ - blockRead_);
    std::memcpy(buffer + done, block_.get() + blockRead_, n);
    blockRead_ += n;
    done += n;
  }
  if (done == 0 && failed_) return -1;
  return static_cast<std::int64_t>(done);
}

StagedFile::~StagedFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) std::remove(temp_.c_str());
}

bool StagedFile::Create(const std::string& path, std::string* error) {
  path_ = path;
  // Refused up front, so that one file of a run cannot land while another cannot.
  struct stat st;
  if (path.empty()) {
    *error = "an empty file name was given";
    return false;
  }
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    *error = "cannot write '" + path + "': it is a directory";
    return false;
  }
  std::string pattern = path + ".mwfx-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = mkstemp(name.data());
  if (fd_ < 0) {
    *error = "cannot create a file beside '" + path + "': " + std::strerror(errno);
    return false;
  }
  temp_ = name.data();
  UsualPermissions(fd_);
  return true;
}

bool StagedFile::Write(const void* data, std::size_t bytes, std::string* error) {
  const char* p = static_cast<const char*>(data);
  while (bytes > 0) {
    const ssize_t n = ::write(fd_, p, bytes);
    if (n <= 0) {
      *error = "cannot write '" + path_ + "': " + std::strerror(errno);
      return false;
    }
    p += n;
    bytes -= static_cast<std::size_t>(n);
  }
  return true;
}

bool StagedFile::Commit(std::string* error) {
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0 || std::rename(temp_.c_str(), path_.c_str()) != 0) {
    *error = "cannot write '" + path_ + "': " + std::strerror(errno);
    return false;
  }
  temp_.clear();
  return true;
}

OutputSound::~OutputSound() {
  if (file_ != nullptr) sf_close(file_);
}

bool OutputSound::Create(const std::string& path, int sndfileFormat, int channels, int rate,
                         std::string* error) {
  if (!staged_.Create(path, error)) return false;
  SF_INFO info{};
  info.format = sndfileFormat;
  info.channels = channels;
  info.samplerate = rate;
  file_ = sf_open_fd(staged_.Fd(), SFM_WRITE, &info, SF_FALSE);
  if (file_ == nullptr) {
    *error = "cannot write '" + path + "': " + sf_strerror(nullptr);
    return false;
  }
  // No peak chunk for float files: it carries the time of writing, so that the same
  // sound written twice would give two different files.
  sf_command(file_, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  return true;
}

bool OutputSound::Flush() {
  const sf_count_t n = static_cast<sf_count_t>(blockFill_);
  blockFill_ = 0;
  return n == 0 || sf_write_raw(file_, block_.get(), n) == n;
}

bool OutputSound::Write(const std::uint8_t* data, std::size_t bytes) {
  if (block_ == nullptr) block_.reset(new std::uint8_t[kIoBlockBytes]);
  while (bytes > 0) {
    if (blockFill_ == kIoBlockBytes && !Flush()) return false;
    const std::size_t n = std::min(bytes, kIoBlockBytes - blockFill_);
    std::memcpy(block_.get() + blockFill_, data, n);
    blockFill_ += n;
    data += n;
    bytes -= n;
  }
  return true;
}

bool OutputSound::Commit(std::string* error) {
  const bool flushed = Flush();
  const int closed = sf_close(file_);
  file_ = nullptr;
  if (!flushed || closed != 0) {
    *error = flushed ? "cannot finish the output file" : "cannot write the output file";
    return false;
  }
  return staged_.Commit(error);
}

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read '" + path + "': " + std::strerror(errno);
    return false;
  }
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) {
    *error = "cannot read '" + path + "'";
    return false;
  }
  *bytes = s.str();
  return true;
}

}  // namespace mwfx

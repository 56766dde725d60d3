// The choice of file kind: the extension of any path, the kind guessed from
// any content, and a load dispatched by them into any section the drop or
// dialog arguments name.
//
// Input: the path's length, the path, the sound number, the stride and the
// length (signed 32 bits each, as the callers pass them); then the content.
#include <cstring>
#include <memory>
#include <string>

#include "files/file_kind.h"
#include "files/file_load.h"
#include "shell/core_session.h"
#include "shell/file_outcome.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/harnesses.h"

namespace {

void CheckExtension(const std::string& path) {
  // Exactly the five characters the callers provide: any write past them
  // is caught by the address sanitizer.
  std::unique_ptr<char[]> ext(new char[5]);
  GetFileExtension(ext.get(), path.c_str());
  const size_t length = strnlen(ext.get(), 5);
  FUZZ_CHECK(length <= 4);
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) {
    FUZZ_CHECK(length == 0);
    return;
  }
  // The characters right after the last dot, none of them a blank, a
  // control character or a byte from 0x80 up.
  FUZZ_CHECK(path.compare(dot + 1, length, ext.get()) == 0);
  for (size_t i = 0; i < length; ++i) FUZZ_CHECK(static_cast<signed char>(ext[i]) > 32);
  const bool stoppedEarly = length < 4 && dot + 1 + length < path.size();
  if (stoppedEarly) FUZZ_CHECK(static_cast<signed char>(path[dot + 1 + length]) <= 32);
  const int kind = FileKindOfExtension(ext.get());
  FUZZ_CHECK(kind == FILE_KIND_BIN || kind == FILE_KIND_WAV || kind == FILE_KIND_HEX || kind == FILE_KIND_AIFF);
}

void CheckGuess(const std::string& path, const uint8_t* content, size_t size) {
  const int kind = GuessFileType(path.c_str());
  int expected = FILE_KIND_BIN;
  auto digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
  if (size >= 4 && std::memcmp(content, "RIFF", 4) == 0) expected = FILE_KIND_WAV;
  if (size >= 4 && content[0] == ':' && digit(content[1]) && digit(content[2]) && digit(content[3]))
    expected = FILE_KIND_HEX;
  if (size >= 12 && std::memcmp(content, "FORM", 4) == 0 &&
      (std::memcmp(content + 8, "AIFF", 4) == 0 || std::memcmp(content + 8, "AIFC", 4) == 0))
    expected = FILE_KIND_AIFF;
  FUZZ_CHECK(kind == expected);
}

}  // namespace

int FuzzFileKind(const uint8_t* data, size_t size) {
  fuzz::FuzzPlatform& p = fuzz::Core();
  fuzz::Input in(data, size);
  const uint8_t pathLength = in.Byte();
  std::string path;
  for (uint8_t i = 0; i < pathLength && in.RestSize() > 0; ++i) path += static_cast<char>(in.Byte());
  path = path.c_str();  // a C string ends at its first zero, as the callers' do
  const uint8_t sound = in.Byte();
  const int32_t stride = static_cast<int32_t>(in.Le32());
  const int32_t length = static_cast<int32_t>(in.Le32());

  CoreSession& s = fuzz::NewSessionState();
  p.ForgetEffects();
  p.RemoveAllFiles();
  if (!path.empty()) p.SetFile(path, in.Rest(), in.RestSize());

  CheckExtension(path);
  if (!path.empty()) CheckGuess(path, in.Rest(), in.RestSize());

  const uint8_t* before = fuzz::MarkImage(sound);
  ApplyFileReport(s, tvOpenFileName(s.image, s.fileSettings, path.c_str(), sound, stride, length));
  const int64_t offset = static_cast<int64_t>(sound) * stride;
  const bool inImage = sound < MAX_EPROMS && offset >= 0 && length >= 0 && offset + length <= IMAGE_SIZE;
  if (inImage) {
    FUZZ_CHECK(fuzz::OutsideUnchanged(before, static_cast<uint64_t>(offset), static_cast<uint64_t>(length)));
  } else {
    FUZZ_CHECK(fuzz::ImageUnchanged(before));
  }
  if (sound < MAX_EPROMS) FUZZ_CHECK(s.image.SoundFile[sound] == path && s.image.SoundFileLoaded[sound] == 1);
  return 0;
}

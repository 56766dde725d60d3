#include "files/file_load.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "files/codec/aiff_parse.h"
#include "files/codec/byte_reader.h"
#include "files/codec/hex_parse.h"
#include "files/codec/wav_parse.h"
#include "files/file_access.h"
#include "files/file_kind.h"
#include "files/file_settings.h"
#include "files/image/image_section.h"
#include "files/sound_status.h"

namespace {

// The header fix-ups after a load, with the settings in force; only binary
// and HEX loads detect the sample rate.
void FinishLoad(ImageModel& image, const FileSettings& settings, UINT lOffset, UINT lSize, bool detectSampleRate,
                FileReport& report) {
  report.detectedRate = ApplyLoadFixups(image, lOffset, lSize, detectSampleRate && settings.AutoDetectSampleRate,
                                        settings.AutoCleanup != 0);
}

void ReportHexError(const HexParse& hex, FileReport& report) {
  switch (hex.error) {
    case HexError::kNone: return;
    case HexError::kRecordTooShort: report.Box(FormatText("Record too short at line %ld", hex.line)); break;
    case HexError::kChecksum:
      report.Box(FormatText("CRC error at line %ld: %02X vs %02X", hex.line, hex.expected, hex.found));
      break;
  }
  report.Fail(FileError::kHexRecord);
  report.hexError = hex.error;
}

FileReport LoadSoundFile(ImageModel& image, const FileSettings& settings, const char* filename, UINT lOffset,
                         UINT lSize, SoundParser parse) {
  FileReport report;
  // The sound readers' message names no file.
  FILE* ip = BeginSectionLoad(image, filename, lOffset, lSize, "Unable to open input file", report);
  if (ip == nullptr) return report;
  FileReader in(ip);
  const WavOptions options{lSize, settings.AutoScale != 0, WAV_FULL_SCALE,
                           settings.ResampleToPlaybackRate ? settings.sample_rate : 0};
  const WavParse wav = parse(in, options);
  std::copy(wav.codes.begin(), wav.codes.end(), image.imgMemory.get() + lOffset);
  ReportSoundParse(wav, options, report);
  // A read error ends the chunk walk as the end of the file would: say so,
  // as the other loaders do, rather than leave a silently shortened sound.
  EndSectionLoad(ip, filename, report);
  FinishLoad(image, settings, lOffset, lSize, false, report);
  return report;
}

// A section value from the int arguments of a drop or dialog load; one
// that can't be an image position becomes one the section check refuses.
UINT SectionValue(int64_t v) {
  return (v < 0 || v > static_cast<int64_t>(IMAGE_SIZE)) ? UINT32_MAX : static_cast<UINT>(v);
}

}  // namespace

FileReport LoadBinaryFile(ImageModel& image, const FileSettings& settings, const char* filename, UINT lOffset,
                          UINT lSize) {
  FileReport report;
  FILE* fp = BeginSectionLoad(image, filename, lOffset, lSize, "Unable to open input file %s", report);
  if (fp == nullptr) return report;
  std::fread(image.imgMemory.get() + lOffset, 1, lSize, fp);
  EndSectionLoad(fp, filename, report);
  FinishLoad(image, settings, lOffset, lSize, true, report);
  return report;
}

FileReport LoadHexFile(ImageModel& image, const FileSettings& settings, const char* filename, UINT lOffset,
                       UINT lSize) {
  FileReport report;
  FILE* fp = BeginSectionLoad(image, filename, lOffset, lSize, "Unable to open input file %s", report);
  if (fp == nullptr) return report;
  FileReader in(fp);
  const HexParse hex = ParseHex(in, {lSize});
  BYTE* section = image.imgMemory.get() + lOffset;
  for (UINT i = 0; i < lSize; ++i)
    if (hex.stored[i]) section[i] = hex.bytes[i];
  // What the records before a bad one stored stays, and so does the bad
  // record's own data.
  ReportHexError(hex, report);
  EndSectionLoad(fp, filename, report);
  FinishLoad(image, settings, lOffset, lSize, true, report);
  return report;
}

FileReport LoadWavFile(ImageModel& image, const FileSettings& settings, const char* filename, UINT lOffset,
                       UINT lSize) {
  return LoadSoundFile(image, settings, filename, lOffset, lSize, ParseWav);
}

FileReport LoadAiffFile(ImageModel& image, const FileSettings& settings, const char* filename, UINT lOffset,
                        UINT lSize) {
  return LoadSoundFile(image, settings, filename, lOffset, lSize, ParseAiff);
}

FileReport tvOpenFileName(ImageModel& image, const FileSettings& settings, const char* filename, BYTE fNum, int iSize,
                          int bufferSize) {
  if (fNum >= MAX_EPROMS) return {};
  const std::string path = filename ? filename : "";
  image.SoundFile[fNum] = path;
  image.SoundFileLoaded[fNum] = 1;

  char ext[5];
  GetFileExtension(ext, path.c_str());
  const int kind = ext[0] == '\0' ? GuessFileType(path.c_str()) : FileKindOfExtension(ext);
  const UINT lOffset = SectionValue(static_cast<int64_t>(fNum) * iSize);
  const UINT lSize = SectionValue(bufferSize);
  const char* name = image.SoundFile[fNum].c_str();
  switch (kind) {
    case FILE_KIND_HEX: return LoadHexFile(image, settings, name, lOffset, lSize);
    case FILE_KIND_WAV: return LoadWavFile(image, settings, name, lOffset, lSize);
    case FILE_KIND_AIFF: return LoadAiffFile(image, settings, name, lOffset, lSize);
    default: return LoadBinaryFile(image, settings, name, lOffset, lSize);
  }
}

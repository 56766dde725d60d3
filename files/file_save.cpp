#include "files/file_save.h"

#include <string>
#include <vector>

#include "files/codec/hex_parse.h"
#include "files/codec/wav_image.h"
#include "files/file_access.h"
#include "files/file_kind.h"
#include "files/file_settings.h"
#include "files/image/image_section.h"

namespace {

std::string PathOf(const char* filename) { return filename ? filename : ""; }

}  // namespace

FileReport SaveBinaryFile(const ImageModel& image, const char* filename, UINT lOffset, UINT lSize) {
  FileReport report;
  if (CheckSection(image, lOffset, lSize, report))
    WriteWholeFile(PathOf(filename), image.imgMemory.get() + lOffset, lSize, "Unable to open output file %s", report);
  return report;
}

FileReport SaveHexFile(const ImageModel& image, const char* filename, UINT lOffset, UINT lSize) {
  FileReport report;
  if (!CheckSection(image, lOffset, lSize, report)) return report;
  const std::string text = HexText(image.imgMemory.get() + lOffset, lSize);
  WriteWholeFile(PathOf(filename), text.data(), text.size(), "Unable to open output file %s", report);
  return report;
}

FileReport SaveWavFile(const ImageModel& image, const FileSettings& settings, const char* filename, UINT lOffset,
                       UINT lSize) {
  FileReport report;
  if (!CheckSection(image, lOffset, lSize, report)) return report;
  const std::vector<uint8_t> wav = WavImage(image.imgMemory.get() + lOffset, lSize, settings.sample_rate);
  WriteWholeFile(PathOf(filename), wav.data(), wav.size(), "Unable to open WAV output file: %s", report);
  return report;
}

FileReport SaveFileOfKind(const ImageModel& image, const FileSettings& settings, int kind, const char* filename,
                          UINT lOffset, UINT lSize) {
  switch (kind) {
    case FILE_KIND_HEX: return SaveHexFile(image, filename, lOffset, lSize);
    case FILE_KIND_WAV: return SaveWavFile(image, settings, filename, lOffset, lSize);
    default: return SaveBinaryFile(image, filename, lOffset, lSize);
  }
}

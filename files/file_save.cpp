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

FileReport SaveBinaryFile(const char* filename, UINT lOffset, UINT lSize) {
  FileReport report;
  if (CheckSection(lOffset, lSize, report))
    WriteWholeFile(PathOf(filename), imgMemory + lOffset, lSize, "Unable to open output file %s", report);
  return report;
}

FileReport SaveHexFile(const char* filename, UINT lOffset, UINT lSize) {
  FileReport report;
  if (!CheckSection(lOffset, lSize, report)) return report;
  const std::string text = HexText(imgMemory + lOffset, lSize);
  WriteWholeFile(PathOf(filename), text.data(), text.size(), "Unable to open output file %s", report);
  return report;
}

FileReport SaveWavFile(const char* filename, UINT lOffset, UINT lSize) {
  FileReport report;
  if (!CheckSection(lOffset, lSize, report)) return report;
  const std::vector<uint8_t> image = WavImage(imgMemory + lOffset, lSize, sample_rate);
  WriteWholeFile(PathOf(filename), image.data(), image.size(), "Unable to open WAV output file: %s", report);
  return report;
}

FileReport SaveFileOfKind(int kind, const char* filename, UINT lOffset, UINT lSize) {
  switch (kind) {
    case FILE_KIND_HEX: return SaveHexFile(filename, lOffset, lSize);
    case FILE_KIND_WAV: return SaveWavFile(filename, lOffset, lSize);
    default: return SaveBinaryFile(filename, lOffset, lSize);
  }
}

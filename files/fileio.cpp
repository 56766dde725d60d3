#include "files/fileio.h"

#include <cstring>

#include "files/file_access.h"
#include "files/hexfile.h"
#include "files/sound_read.h"
#include "files/wav_read.h"
#include "files/wav_write.h"
#include "shell/image_model.h"
#include "shell/playback.h"

const UINT uSampleRateTable[4] = {32000, 24000, 16000, 12000};

namespace {

bool SameTextIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = *a, y = *b;
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// A section value from the int arguments of a drop or dialog load; one
// that can't be an image position becomes one CheckImageSection refuses.
UINT SectionValue(int64_t v) { return (v < 0 || v > static_cast<int64_t>(IMAGE_SIZE)) ? UINT32_MAX : static_cast<UINT>(v); }

}  // namespace

int FileKindOfExtension(const char* ext) {
  if (SameTextIgnoringCase(ext, "hex")) return FILE_KIND_HEX;
  if (SameTextIgnoringCase(ext, "wav")) return FILE_KIND_WAV;
  for (const char* aiff : {"aif", "aiff", "aifc"})
    if (SameTextIgnoringCase(ext, aiff)) return FILE_KIND_AIFF;
  return FILE_KIND_BIN;
}

const char* const file_extension[3] = {"bin", "wav", "hex"};

const char* DefaultExtension(UINT format) { return format < 3 ? file_extension[format] : file_extension[0]; }

bool CheckImageSection(UINT lOffset, UINT lSize) {
  if (imgMemory == nullptr) {
    plat::MessageBox(nullptr, "Unable to allocate image memory", nullptr, MB_OK);
    return false;
  }
  if (static_cast<uint64_t>(lOffset) + lSize > IMAGE_SIZE) {
    plat::MessageBox(nullptr, "Section outside the image", nullptr, MB_OK);
    return false;
  }
  return true;
}

void ApplyLoadFixups(UINT lOffset, UINT lSize, bool detectSampleRate) {
  // Both header bytes must belong to the section just loaded: a shorter
  // section would have its neighbour's bytes read as a rate or cleared.
  if (imgMemory == nullptr || lOffset != 0 || lSize < 2) return;
  if (detectSampleRate && AutoDetectSampleRate && imgMemory[0] == imgMemory[1] && imgMemory[0] < 4) {
    sample_rate = uSampleRateTable[imgMemory[0]];
    ComputeWAVfromBuffer();
  }
  if (AutoCleanup && cMemoryFillValue == 0 && (imgMemory[0] > 3 || imgMemory[1] > 3)) {
    imgMemory[0] = 0;
    imgMemory[1] = 0;
  }
}

void GetFileExtension(char* dest, const char* src) {
  dest[0] = '\0';
  const char* dot = std::strrchr(src, '.');
  if (dot == nullptr) return;
  int n = 0;
  // Stops at blanks, control characters, the terminator and bytes above
  // 0x7F, all of which are 32 or less as signed bytes.
  while (n < 4 && static_cast<signed char>(dot[1 + n]) > 32) {
    dest[n] = dot[1 + n];
    ++n;
  }
  dest[n] = '\0';
}

int GuessFileType(const char* filename) {
  FILE* fp = OpenInputFile(filename ? filename : "");
  if (fp == nullptr) return FILE_KIND_BIN;
  char head[12];
  const size_t got = std::fread(head, 1, sizeof head, fp);
  std::fclose(fp);
  if (got < 4) return FILE_KIND_BIN;
  if (std::memcmp(head, "RIFF", 4) == 0) return FILE_KIND_WAV;
  if (got == sizeof head && std::memcmp(head, "FORM", 4) == 0 &&
      (std::memcmp(head + 8, "AIFF", 4) == 0 || std::memcmp(head + 8, "AIFC", 4) == 0))
    return FILE_KIND_AIFF;
  if (head[0] == ':' && IsDecimalDigit(head[1]) && IsDecimalDigit(head[2]) && IsDecimalDigit(head[3]))
    return FILE_KIND_HEX;
  return FILE_KIND_BIN;
}

void LoadBinaryFile(const char* filename, UINT lOffset, UINT lSize) {
  FILE* fp = BeginSectionLoad(filename, lOffset, lSize, "Unable to open input file %s");
  if (fp == nullptr) return;
  std::fread(imgMemory + lOffset, 1, lSize, fp);
  EndSectionLoad(fp, filename);
  ApplyLoadFixups(lOffset, lSize, true);
}

void SaveBinaryFile(const char* filename, UINT lOffset, UINT lSize) {
  if (!CheckImageSection(lOffset, lSize)) return;
  WriteWholeFile(filename ? filename : "", imgMemory + lOffset, lSize, "Unable to open output file %s");
}

void tvOpenFileName(const char* filename, BYTE fNum, int iSize, int bufferSize, HWND hWndStatus) {
  if (fNum >= MAX_EPROMS) return;
  const std::string path = filename ? filename : "";
  SoundFile[fNum] = path;
  SoundFileLoaded[fNum] = 1;

  char ext[5];
  GetFileExtension(ext, path.c_str());
  const int kind = ext[0] == '\0' ? GuessFileType(path.c_str()) : FileKindOfExtension(ext);
  const UINT lOffset = SectionValue(static_cast<int64_t>(fNum) * iSize);
  const UINT lSize = SectionValue(bufferSize);
  switch (kind) {
    case FILE_KIND_HEX: LoadHexFile(SoundFile[fNum].c_str(), lOffset, lSize); break;
    case FILE_KIND_WAV: LoadWavFile(SoundFile[fNum].c_str(), lOffset, lSize, hWndStatus); break;
    case FILE_KIND_AIFF: LoadAiffFile(SoundFile[fNum].c_str(), lOffset, lSize, hWndStatus); break;
    default: LoadBinaryFile(SoundFile[fNum].c_str(), lOffset, lSize); break;
  }
}

#include "files/file_kind.h"

#include <cstdio>
#include <cstring>

#include "files/file_access.h"

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

}  // namespace

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

int FileKindOfExtension(const char* ext) {
  if (SameTextIgnoringCase(ext, "hex")) return FILE_KIND_HEX;
  if (SameTextIgnoringCase(ext, "wav")) return FILE_KIND_WAV;
  for (const char* aiff : {"aif", "aiff", "aifc"})
    if (SameTextIgnoringCase(ext, aiff)) return FILE_KIND_AIFF;
  return FILE_KIND_BIN;
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

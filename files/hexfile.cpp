#include "files/hexfile.h"

#include <cstring>
#include <string>

#include "files/file_access.h"
#include "files/fileio.h"
#include "shell/image_model.h"

namespace {

// A line is read with this limit (terminator included): longer lines come
// in pieces, each counted as a line.
constexpr int kLineLimit = 255;
constexpr size_t kLineBuffer = 524;
constexpr size_t kHeaderChars = 9;   // ':' count(2) address(4) type(2)
constexpr BYTE kDataRecord = 0;
constexpr UINT kBytesPerRecord = 16;

// Characters of the record's text: up to the line end, never beyond what
// was read.
size_t TextLength(const char* line) { return std::strcspn(line, "\r\n"); }

// A record cut before the characters it needs is refused like a bad
// checksum: nothing past the line's text is ever read.
bool RecordTooShort(size_t length, size_t needed, long linen) {
  if (length >= needed) return false;
  ShowFileMessage(FormatText("Record too short at line %ld", linen));
  return true;
}

// Reads the records of `fp` into the section; stops at the first bad one.
void ReadRecords(FILE* fp, BYTE* section, UINT lSize) {
  char line[kLineBuffer];
  long linen = 0;
  while (std::fgets(line, kLineLimit, fp) != nullptr) {
    ++linen;
    if (line[0] != ':') continue;
    const size_t length = TextLength(line);
    if (RecordTooShort(length, kHeaderChars, linen)) return;
    const BYTE lBytes = StrHex(line + 1);
    const BYTE lAddrH = StrHex(line + 3);
    const BYTE lAddrL = StrHex(line + 5);
    const BYTE lType = StrHex(line + 7);
    if (lType != kDataRecord || lBytes == 0) continue;
    if (RecordTooShort(length, kHeaderChars + 2u * lBytes + 2u, linen)) return;
    BYTE calcCRC = static_cast<BYTE>(lBytes + lAddrH + lAddrL + lType);
    const UINT address = lAddrH * 256u + lAddrL;
    for (UINT i = 0; i < lBytes; ++i) {
      const BYTE value = StrHex(line + kHeaderChars + 2 * i);
      calcCRC = static_cast<BYTE>(calcCRC + value);
      if (address + i < lSize) section[address + i] = value;
    }
    const BYTE lCRC = StrHex(line + kHeaderChars + 2u * lBytes);
    const BYTE expected = static_cast<BYTE>(256 - calcCRC);
    if (lCRC != expected) {
      ShowFileMessage(FormatText("CRC error at line %ld: %02X vs %02X", linen, expected, lCRC));
      return;
    }
  }
}

void AppendRecord(std::string& text, UINT address, const BYTE* data, UINT count) {
  char field[16];
  std::snprintf(field, sizeof field, ":%02X%04X00", count, address & 0xFFFF);
  text += field;
  BYTE sum = static_cast<BYTE>(count + (address & 0xFF) + ((address >> 8) & 0xFF));
  for (UINT i = 0; i < count; ++i) {
    std::snprintf(field, sizeof field, "%02X", data[i]);
    text += field;
    sum = static_cast<BYTE>(sum + data[i]);
  }
  // CR LF whatever the platform: the files are shared with Windows users.
  std::snprintf(field, sizeof field, "%02X\r\n", static_cast<BYTE>(256 - sum));
  text += field;
}

}  // namespace

BYTE CharHex(char c) {
  if (c >= '0' && c <= '9') return static_cast<BYTE>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<BYTE>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<BYTE>(c - 'a' + 10);
  return 15;
}

BYTE StrHex(const char* c) { return static_cast<BYTE>(CharHex(c[0]) * 16 + CharHex(c[1])); }

void LoadHexFile(const char* filename, UINT lOffset, UINT lSize) {
  FILE* fp = BeginSectionLoad(filename, lOffset, lSize, "Unable to open input file %s");
  if (fp == nullptr) return;
  ReadRecords(fp, imgMemory + lOffset, lSize);
  EndSectionLoad(fp, filename);
  ApplyLoadFixups(lOffset, lSize, true);
}

void SaveHexFile(const char* filename, UINT lOffset, UINT lSize) {
  if (!CheckImageSection(lOffset, lSize)) return;
  const BYTE* source = imgMemory + lOffset;
  std::string text;
  text.reserve((lSize / kBytesPerRecord + 2) * 45);
  for (UINT address = 0; address < lSize; address += kBytesPerRecord) {
    const UINT count = lSize - address < kBytesPerRecord ? lSize - address : kBytesPerRecord;
    AppendRecord(text, address, source + address, count);
  }
  text += ":00000001FF\r\n";
  WriteWholeFile(filename ? filename : "", text.data(), text.size(), "Unable to open output file %s");
}

#include "files/hexfile.h"

#include <string>

#include "files/codec/byte_reader.h"
#include "files/file_access.h"
#include "files/fileio.h"
#include "shell/image_model.h"

namespace {

void ShowError(const HexParse& hex) {
  switch (hex.error) {
    case HexError::kNone: break;
    case HexError::kRecordTooShort: ShowFileMessage(FormatText("Record too short at line %ld", hex.line)); break;
    case HexError::kChecksum:
      ShowFileMessage(FormatText("CRC error at line %ld: %02X vs %02X", hex.line, hex.expected, hex.found));
      break;
  }
}

}  // namespace

void LoadHexFile(const char* filename, UINT lOffset, UINT lSize) {
  FILE* fp = BeginSectionLoad(filename, lOffset, lSize, "Unable to open input file %s");
  if (fp == nullptr) return;
  FileReader in(fp);
  const HexParse hex = ParseHex(in, {lSize});
  BYTE* section = imgMemory + lOffset;
  for (UINT i = 0; i < lSize; ++i)
    if (hex.stored[i]) section[i] = hex.bytes[i];
  // What the records before a bad one stored stays, and so does the bad
  // record's own data.
  ShowError(hex);
  EndSectionLoad(fp, filename);
  ApplyLoadFixups(lOffset, lSize, true);
}

void SaveHexFile(const char* filename, UINT lOffset, UINT lSize) {
  if (!CheckImageSection(lOffset, lSize)) return;
  const std::string text = HexText(imgMemory + lOffset, lSize);
  WriteWholeFile(filename ? filename : "", text.data(), text.size(), "Unable to open output file %s");
}

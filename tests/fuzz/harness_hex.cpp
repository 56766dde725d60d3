// The Intel HEX parser over any text, from memory and through a stream, for
// a section and for the whole address space; then the section's bytes
// written as HEX text and read back must come out unchanged.
//
// Input: flags (bit 0 a whole-image section), the section size (16 bits),
// two bytes the loader's seeds carry (section position and fill byte; the
// fill byte stands for the bytes no record stored); then the file.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "files/codec/byte_reader.h"
#include "files/codec/hex_parse.h"
#include "shell/image_model.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/harnesses.h"

namespace {

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// Every line HexText writes: a data record of at most 16 bytes or the end
// record, upper-case digits, CR LF.
bool WellFormedHexText(const std::string& s) {
  size_t pos = 0;
  while (pos < s.size()) {
    const size_t end = s.find("\r\n", pos);
    if (end == std::string::npos) return false;
    const std::string line = s.substr(pos, end - pos);
    if (line.size() < 11 || line.size() > 11 + 32 || line[0] != ':' || (line.size() - 11) % 2) return false;
    for (size_t i = 1; i < line.size(); ++i)
      if (!IsUpperHex(line[i])) return false;
    pos = end + 2;
  }
  return s.size() >= 13 && s.compare(s.size() - 13, 13, ":00000001FF\r\n") == 0;
}

bool SameEnd(const HexParse& a, const HexParse& b) {
  return a.error == b.error && a.line == b.line && a.expected == b.expected && a.found == b.found;
}

}  // namespace

int FuzzHexLoader(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  const uint8_t flags = in.Byte();
  const uint16_t sizeField = in.Le16();
  in.Byte();
  const uint8_t fill = in.Byte();
  const uint32_t sectionSize = (flags & 1) ? IMAGE_SIZE : sizeField;
  const uint8_t* file = in.Rest();
  const size_t fileSize = in.RestSize();

  const HexParse hex = ParseHex(file, fileSize, {sectionSize});
  // Nothing is described outside the section.
  FUZZ_CHECK(hex.bytes.size() == sectionSize && hex.stored.size() == sectionSize);
  FUZZ_CHECK((hex.error == HexError::kNone) == (hex.line == 0));
  FUZZ_CHECK(hex.line >= 0 && static_cast<size_t>(hex.line) <= fileSize);
  if (hex.error == HexError::kChecksum) FUZZ_CHECK(hex.expected != hex.found);

  // The loader's stream reads what memory reads.
  FILE* fp = fuzz::OpenBytes(file, fileSize);
  FUZZ_CHECK(fp != nullptr);
  FileReader stream(fp);
  const HexParse streamed = ParseHex(stream, {sectionSize});
  std::fclose(fp);
  FUZZ_CHECK(SameEnd(streamed, hex) && streamed.bytes == hex.bytes && streamed.stored == hex.stored);

  // The section only crops the whole address space.
  if (sectionSize < IMAGE_SIZE) {
    const HexParse whole = ParseHex(file, fileSize, {IMAGE_SIZE});
    FUZZ_CHECK(SameEnd(whole, hex));
    FUZZ_CHECK(std::equal(hex.bytes.begin(), hex.bytes.end(), whole.bytes.begin()));
    FUZZ_CHECK(std::equal(hex.stored.begin(), hex.stored.end(), whole.stored.begin()));
  }

  // Whatever was loaded, the writer's text reads back to the same section.
  // Writing is the slow half; sections past 4 KB only repeat its records.
  if (sectionSize > 4096) return 0;
  std::vector<uint8_t> section(sectionSize, fill);
  for (uint32_t i = 0; i < sectionSize; ++i)
    if (hex.stored[i]) section[i] = hex.bytes[i];
  const std::string text = HexText(section.data(), sectionSize);
  FUZZ_CHECK(WellFormedHexText(text));
  const HexParse back = ParseHex(reinterpret_cast<const uint8_t*>(text.data()), text.size(), {sectionSize});
  FUZZ_CHECK(back.error == HexError::kNone);
  FUZZ_CHECK(back.bytes == section);
  FUZZ_CHECK(std::all_of(back.stored.begin(), back.stored.end(), [](uint8_t b) { return b == 1; }));
  return 0;
}

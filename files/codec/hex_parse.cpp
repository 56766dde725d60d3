#include "files/codec/hex_parse.h"

#include <cstdio>
#include <cstring>

namespace {

// A line is read with this limit (terminator included): longer lines come
// in pieces, each counted as a line.
constexpr size_t kLineLimit = 255;
constexpr size_t kHeaderChars = 9;  // ':' count(2) address(4) type(2)
constexpr uint8_t kDataRecord = 0;
constexpr uint32_t kBytesPerRecord = 16;

// Cuts the text into the pieces a line reader with a limit of kLineLimit
// returns: up to and including a line end, at most kLineLimit - 1
// characters, NULs kept.
class LinePieces {
 public:
  explicit LinePieces(ByteReader& in) : in_(in) {}
  // The next piece into `line`, ended by a NUL; false at the end of the
  // text, and for a piece that a failed read cut short: its rest is unknown.
  bool Next(char (&line)[kLineLimit]);

 private:
  bool Refill() {
    pos_ = 0;
    end_ = in_.Read(buffer_, sizeof buffer_);
    return end_ > 0;
  }
  ByteReader& in_;
  char buffer_[4096];
  size_t pos_ = 0;
  size_t end_ = 0;
};

bool LinePieces::Next(char (&line)[kLineLimit]) {
  size_t n = 0;
  bool ranOut = false;
  while (n < kLineLimit - 1) {
    if (pos_ == end_ && !Refill()) {
      ranOut = true;
      break;
    }
    line[n++] = buffer_[pos_++];
    if (line[n - 1] == '\n') break;
  }
  line[n] = '\0';
  return n > 0 && !(ranOut && in_.Failed());
}

// Characters of the record's text: up to the line end or a NUL.
size_t TextLength(const char* line) { return std::strcspn(line, "\r\n"); }

bool Fail(HexParse& hex, HexError error, long line) {
  hex.error = error;
  hex.line = line;
  return false;
}

// Stores one record's data; false when the record is bad. A record cut
// before the characters it needs is refused: nothing past the line's text
// is ever read.
bool ReadRecord(const char* line, long linen, HexParse& hex) {
  const size_t length = TextLength(line);
  if (length < kHeaderChars) return Fail(hex, HexError::kRecordTooShort, linen);
  const uint8_t lBytes = StrHex(line + 1);
  const uint8_t lAddrH = StrHex(line + 3);
  const uint8_t lAddrL = StrHex(line + 5);
  const uint8_t lType = StrHex(line + 7);
  if (lType != kDataRecord || lBytes == 0) return true;
  if (length < kHeaderChars + 2u * lBytes + 2u) return Fail(hex, HexError::kRecordTooShort, linen);
  uint8_t calcCRC = static_cast<uint8_t>(lBytes + lAddrH + lAddrL + lType);
  const uint32_t address = lAddrH * 256u + lAddrL;
  for (uint32_t i = 0; i < lBytes; ++i) {
    const uint8_t value = StrHex(line + kHeaderChars + 2 * i);
    calcCRC = static_cast<uint8_t>(calcCRC + value);
    if (address + i >= hex.bytes.size()) continue;
    hex.bytes[address + i] = value;
    hex.stored[address + i] = 1;
  }
  const uint8_t lCRC = StrHex(line + kHeaderChars + 2u * lBytes);
  const uint8_t expected = static_cast<uint8_t>(256 - calcCRC);
  if (lCRC == expected) return true;
  hex.expected = expected;
  hex.found = lCRC;
  return Fail(hex, HexError::kChecksum, linen);
}

void AppendRecord(std::string& text, uint32_t address, const uint8_t* data, uint32_t count) {
  char field[16];
  std::snprintf(field, sizeof field, ":%02X%04X00", count, address & 0xFFFF);
  text += field;
  uint8_t sum = static_cast<uint8_t>(count + (address & 0xFF) + ((address >> 8) & 0xFF));
  for (uint32_t i = 0; i < count; ++i) {
    std::snprintf(field, sizeof field, "%02X", data[i]);
    text += field;
    sum = static_cast<uint8_t>(sum + data[i]);
  }
  // CR LF whatever the platform: the files are shared with Windows users.
  std::snprintf(field, sizeof field, "%02X\r\n", static_cast<uint8_t>(256 - sum));
  text += field;
}

}  // namespace

uint8_t CharHex(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
  return 15;
}

uint8_t StrHex(const char* c) { return static_cast<uint8_t>(CharHex(c[0]) * 16 + CharHex(c[1])); }

HexParse ParseHex(ByteReader& in, const HexOptions& options) {
  HexParse hex;
  hex.bytes.assign(options.sectionSize, 0);
  hex.stored.assign(options.sectionSize, 0);
  LinePieces pieces(in);
  char line[kLineLimit];
  long linen = 0;
  while (pieces.Next(line)) {
    ++linen;
    if (line[0] == ':' && !ReadRecord(line, linen, hex)) break;
  }
  return hex;
}

HexParse ParseHex(const uint8_t* data, size_t size, const HexOptions& options) {
  MemoryReader in(data, size);
  return ParseHex(in, options);
}

std::string HexText(const uint8_t* data, uint32_t size) {
  std::string text;
  text.reserve((size / kBytesPerRecord + 2) * 45);
  for (uint32_t address = 0; address < size; address += kBytesPerRecord) {
    const uint32_t count = size - address < kBytesPerRecord ? size - address : kBytesPerRecord;
    AppendRecord(text, address, data + address, count);
  }
  text += ":00000001FF\r\n";
  return text;
}

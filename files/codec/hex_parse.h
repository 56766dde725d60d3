// Intel HEX text and the bytes of an image section, over bytes alone: no
// file, window or global. Only data records with 16-bit addresses are read;
// their addresses are offsets within the section. The text written has
// 16-byte data records and the end-of-file record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/codec/byte_reader.h"

// Value of one hexadecimal digit; any other character gives 15.
uint8_t CharHex(char c);
// The byte formed by the two digits at `c`.
uint8_t StrHex(const char* c);

// Why reading stopped before the end of the text.
enum class HexError {
  kNone,
  kRecordTooShort,  // a record's line ends before the characters it needs
  kChecksum,        // a data record's checksum is wrong; its bytes are stored all the same
};

struct HexOptions {
  uint32_t sectionSize = 0;  // records at or beyond it are dropped
};

struct HexParse {
  std::vector<uint8_t> bytes;   // sectionSize bytes: what the records put there, 0 elsewhere
  std::vector<uint8_t> stored;  // sectionSize flags: 1 where a record put a byte, else 0
  HexError error = HexError::kNone;
  long line = 0;               // the line of the error; every line read counts, from 1
  uint8_t expected = 0;        // for kChecksum: the checksum due
  uint8_t found = 0;           // and the one the record carries
};

// Reads the records until the end of the text or the first bad one. Lines
// are read in pieces of at most 254 characters, each counted as a line. A
// failed read ends the text before the piece it cut: what that piece holds
// is not the file's line.
HexParse ParseHex(ByteReader& in, const HexOptions& options);
HexParse ParseHex(const uint8_t* data, size_t size, const HexOptions& options);

// The records of `size` bytes at addresses 0 onwards, then the end-of-file
// record; every line ends in CR LF.
std::string HexText(const uint8_t* data, uint32_t size);

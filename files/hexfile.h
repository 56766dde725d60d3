// Intel HEX reader and writer for image sections. Only data records with
// 16-bit addresses are read; 16-byte data records and the end-of-file record
// are written. Addresses are offsets within the section.
#pragma once

#include "platform/platform.h"

// Value of one hexadecimal digit; any other character gives 15.
BYTE CharHex(char c);
// The byte formed by the two digits at `c`.
BYTE StrHex(const char* c);
void LoadHexFile(const char* filename, UINT lOffset, UINT lSize);
void SaveHexFile(const char* filename, UINT lOffset, UINT lSize);

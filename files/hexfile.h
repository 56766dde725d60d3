// Intel HEX reader and writer for image sections.
#pragma once

#include "platform/platform.h"

BYTE CharHex(char c);
BYTE StrHex(const char* c);
void LoadHexFile(const char* filename, UINT lOffset, UINT lSize);
void SaveHexFile(const char* filename, UINT lOffset, UINT lSize);

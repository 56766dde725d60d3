// Intel HEX reader and writer for image sections, thin over the records of
// files/hex_parse.h: the file, the image and the messages.
#pragma once

#include "files/codec/hex_parse.h"
#include "platform/platform.h"

void LoadHexFile(const char* filename, UINT lOffset, UINT lSize);
void SaveHexFile(const char* filename, UINT lOffset, UINT lSize);

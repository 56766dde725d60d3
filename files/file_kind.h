// The kind of an image file: by its extension, or, for a name without one,
// by its first bytes.
#pragma once

constexpr int FILE_KIND_BIN = 0;
constexpr int FILE_KIND_WAV = 1;
constexpr int FILE_KIND_HEX = 2;
constexpr int FILE_KIND_AIFF = 3;  // read only: an AIFF or AIFF-C sound

// `dest` holds at least 5 characters.
void GetFileExtension(char* dest, const char* src);
// FILE_KIND_HEX for "hex", FILE_KIND_WAV for "wav", FILE_KIND_AIFF for
// "aif", "aiff" and "aifc" (any case), otherwise FILE_KIND_BIN.
int FileKindOfExtension(const char* ext);
// The kind the file's first bytes show; FILE_KIND_BIN when it can't be read.
int GuessFileType(const char* filename);

// Loading and saving image sections: the Load File and Save File commands,
// the choice of file kind, raw binary files and the post-load fix-ups.
#pragma once

#include <string>

#include "files/file_settings.h"
#include "platform/platform.h"

constexpr int FILE_KIND_BIN = 0;
constexpr int FILE_KIND_WAV = 1;
constexpr int FILE_KIND_HEX = 2;
constexpr int FILE_KIND_AIFF = 3;  // read only: an AIFF or AIFF-C sound

extern const UINT uSampleRateTable[4];

// The filter list of both file dialogs; index 1 binary, 2 WAV, 3 HEX,
// 4 all files.
constexpr int FILE_FILTER_COUNT = 4;
extern const FileFilter file_filter[FILE_FILTER_COUNT];
// The open dialog offers AIFF files after those, as index 5, so that the
// four keep the indexes DefaultFileFormat and the dialogs count on.
extern const FileFilter aiff_file_filter;
// Extensions by DefaultFileFormat.
extern const char* const file_extension[3];

void tvOpenFile(HWND hWnd, HWND hWndStatus);
void tvOpenFileName(const char* filename, BYTE fNum, int iSize, int bufferSize, HWND hWndStatus);
void tvSaveFile(HWND hWnd);
int GuessFileType(const char* filename);
// FILE_KIND_HEX for "hex", FILE_KIND_WAV for "wav", FILE_KIND_AIFF for
// "aif", "aiff" and "aifc" (any case), otherwise FILE_KIND_BIN.
int FileKindOfExtension(const char* ext);
// `dest` holds at least 5 characters.
void GetFileExtension(char* dest, const char* src);
void LoadBinaryFile(const char* filename, UINT lOffset, UINT lSize);
void SaveBinaryFile(const char* filename, UINT lOffset, UINT lSize);

// After a load into the section of `lSize` bytes at `lOffset`: the optional
// sample-rate detection (binary and HEX loads) and header clean-up, for a
// section at the image's start that holds both header bytes.
void ApplyLoadFixups(UINT lOffset, UINT lSize, bool detectSampleRate);

// The extension ("bin", "wav", "hex") for a default file format; "bin" for
// a value outside the table.
const char* DefaultExtension(UINT format);
// The file dialogs' filter index for a default file format; 1 (binary) for
// a value outside the table.
DWORD DefaultFilterIndex(UINT format);
// The folder holding `path`, as the file dialogs should start in it next
// time; a name without folder is in the platform's current folder.
std::string FolderOfPath(const std::string& path);

// True when the section lies within the image and the image exists;
// otherwise tells the user and returns false.
bool CheckImageSection(UINT lOffset, UINT lSize);


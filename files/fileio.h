// Loading and saving image sections: the Load File and Save File commands,
// the choice of file kind, raw binary files and the post-load fix-ups.
#pragma once

#include <string>

#include "platform/platform.h"

constexpr int FILE_KIND_BIN = 0;
constexpr int FILE_KIND_WAV = 1;
constexpr int FILE_KIND_HEX = 2;

extern UINT DefaultFileFormat;
extern std::string RecentLoadPath;
extern std::string RecentSavePath;
extern UINT AutoDetectSampleRate;
extern UINT AutoCleanup;
extern const UINT uSampleRateTable[4];

void tvOpenFile(HWND hWnd, HWND hWndStatus);
void tvOpenFileName(const char* filename, BYTE fNum, int iSize, int bufferSize, HWND hWndStatus);
void tvSaveFile(HWND hWnd);
int GuessFileType(const char* filename);
void GetFileExtension(char* dest, const char* src);
void LoadBinaryFile(const char* filename, UINT lOffset, UINT lSize);
void SaveBinaryFile(const char* filename, UINT lOffset, UINT lSize);

// After a load into the section at `lOffset`: the optional sample-rate
// detection (binary and HEX loads) and header clean-up.
void ApplyLoadFixups(UINT lOffset, bool detectSampleRate);

// The extension ("bin", "wav", "hex") for a default file format; "bin" for
// a value outside the table.
const char* DefaultExtension(UINT format);

// True when the section lies within the image and the image exists;
// otherwise tells the user and returns false.
bool CheckImageSection(UINT lOffset, UINT lSize);

void FileIoInit();

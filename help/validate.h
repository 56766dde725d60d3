// The help-file check, the online-help fallback and the stored texts.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

struct SUPFILE {
  char name[32];      // relative to the help folder
  uint8_t text;       // nonzero: control characters are left out of the digest
  uint32_t hash[5];   // SHA-1 words H0..H4
};

constexpr int SUPPORT_FILE_COUNT = 9;
// The help files, checked in this order (help/help_digests.cpp, generated).
extern const SUPFILE support_file[SUPPORT_FILE_COUNT];

// Bytes of a file that take part in its digest.
constexpr unsigned HELP_READ_LIMIT = 100000;

// Checks the help files in the current directory: 0 all present and intact,
// 1 a file missing, 2 a file altered (both after AltMessageBox), 3 no memory.
int ValidateSupportFiles(HWND hWnd, HINSTANCE hInst);
// ValidateSupportFiles over any table, for tests.
int ValidateSupportFileTable(HWND hWnd, const SUPFILE* table, int count);
// Tells the user the help is damaged; OK opens the online help.
void AltMessageBox(HWND hWnd);
// 0 the contact text, 1 the online help address, anything else "". The text
// stays valid until the next call.
const char* ContactInfo(int which);

// The digest the check computes for one file; false when it can't be read.
bool SupportFileDigest(const std::string& path, bool text, uint32_t digest[5]);
// The Help command: check the help folder `helpPath` and open its start
// page; the current directory is the same afterwards, whatever happened.
void ShowHelp(HWND hWnd, const std::string& helpPath);
// ShowHelp over any table, for tests.
void ShowHelpFromTable(HWND hWnd, const std::string& helpPath, const SUPFILE* table, int count);

// The Help command opens the local help only when every help file is
// present and unaltered; otherwise it offers the online help.
#include "help/validate.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "help/sha1.h"

namespace {

constexpr char kDamagedHelpText[] =
    "One or more help files is missing or has been modified.\nPlease click OK for online help.";
constexpr char kHelpStartPage[] = "help.htm";
constexpr char kHelpCaption[] = "Help";

// Both texts are kept out of plain sight in the program: stored combined
// with one key byte, unscrambled on every call.
constexpr unsigned char kScrambleKey = 0xA7;

template <size_t N>
struct ScrambledText {
  unsigned char bytes[N - 1];
};

template <size_t N>
constexpr ScrambledText<N> Scramble(const char (&text)[N]) {
  ScrambledText<N> out{};
  for (size_t i = 0; i + 1 < N; ++i) out.bytes[i] = static_cast<unsigned char>(text[i] ^ kScrambleKey);
  return out;
}

constexpr auto contact_str = Scramble(
    "Talverine EPROM Utility\n"
    "For help, updates and bug reports, write to\n"
    "the Talverine team: help@talverine.example\n"
    "https://talverine.example/");
constexpr auto nohelp_str = Scramble("https://talverine.example/help/online/talverine-help.html");

// The help module's state: the buffer ContactInfo hands out.
struct HelpTexts {
  char valStr[512] = {};
};
HelpTexts g_texts;
char (&valStr)[512] = g_texts.valStr;
static_assert(sizeof contact_str.bytes < sizeof valStr && sizeof nohelp_str.bytes < sizeof valStr);

template <size_t N>
void Unscramble(const ScrambledText<N>& text) {
  for (size_t i = 0; i < sizeof text.bytes; ++i) valStr[i] = static_cast<char>(text.bytes[i] ^ kScrambleKey);
  valStr[sizeof text.bytes] = '\0';
}

// Compacts `bytes` to those from 32 up; returns how many remain.
size_t DropControlCharacters(BYTE* bytes, size_t count) {
  size_t kept = 0;
  for (size_t i = 0; i < count; ++i)
    if (bytes[i] >= 32) bytes[kept++] = bytes[i];
  return kept;
}

// Reads until the end of the file or until HELP_READ_LIMIT bytes are kept;
// a text file's control characters are not kept. Never reads a byte more.
size_t ReadKeptBytes(FILE* fp, bool text, BYTE* buffer) {
  size_t kept = 0;
  while (kept < HELP_READ_LIMIT) {
    const size_t got = std::fread(buffer + kept, 1, HELP_READ_LIMIT - kept, fp);
    if (got == 0) break;
    kept += text ? DropControlCharacters(buffer + kept, got) : got;
  }
  return kept;
}

// The digest of an open file, read through `buffer` (HELP_READ_LIMIT bytes).
void DigestFile(FILE* fp, bool text, BYTE* buffer, uint32_t digest[5]) {
  const size_t kept = ReadKeptBytes(fp, text, buffer);
  SHA1Context context;
  SHA1Reset(&context);
  SHA1Input(&context, buffer, static_cast<unsigned>(kept));
  SHA1Result(&context);
  std::memcpy(digest, context.Message_Digest, sizeof context.Message_Digest);
}

// The name field need not be terminated when it is full.
std::string RowName(const SUPFILE& row) {
  const void* end = std::memchr(row.name, '\0', sizeof row.name);
  return std::string(row.name, end ? static_cast<const char*>(end) - row.name : sizeof row.name);
}

// 0 intact, 1 missing, 2 altered.
int CheckSupportFile(const SUPFILE& row, BYTE* buffer) {
  FILE* fp = plat::OpenFile(RowName(row), "rb");
  if (fp == nullptr) return 1;
  uint32_t digest[5];
  DigestFile(fp, row.text != 0, buffer, digest);
  std::fclose(fp);
  return std::memcmp(digest, row.hash, sizeof digest) == 0 ? 0 : 2;
}

// Opens `target` in the user's browser; when no program could take it, the
// user is told rather than left wondering why nothing appeared.
void OpenInBrowser(HWND hWnd, const std::string& target, const std::string& what) {
  if (plat::ShellOpen(hWnd, target.c_str())) return;
  const std::string text = "Unable to open " + what + ":\n" + target;
  plat::MessageBox(hWnd, text.c_str(), kHelpCaption, MB_OK | MB_ICONWARNING);
}

}  // namespace

int ValidateSupportFileTable(HWND hWnd, const SUPFILE* table, int count) {
  BYTE* buffer = static_cast<BYTE*>(plat::AllocMemory(HELP_READ_LIMIT));
  if (buffer == nullptr) return 3;
  int result = 0;
  for (int row = 0; row < count && result == 0; ++row) result = CheckSupportFile(table[row], buffer);
  plat::FreeMemory(buffer);
  if (result != 0) AltMessageBox(hWnd);
  return result;
}

int ValidateSupportFiles(HWND hWnd, HINSTANCE /*hInst*/) {
  return ValidateSupportFileTable(hWnd, support_file, SUPPORT_FILE_COUNT);
}

void AltMessageBox(HWND hWnd) {
  if (plat::MessageBox(hWnd, kDamagedHelpText, nullptr, MB_OKCANCEL) == IDOK)
    OpenInBrowser(hWnd, ContactInfo(1), "the online help");
}

const char* ContactInfo(int which) {
  valStr[0] = '\0';
  if (which == 0) Unscramble(contact_str);
  if (which == 1) Unscramble(nohelp_str);
  return valStr;
}

bool SupportFileDigest(const std::string& path, bool text, uint32_t digest[5]) {
  FILE* fp = plat::OpenFile(path, "rb");
  if (fp == nullptr) return false;
  BYTE* buffer = static_cast<BYTE*>(plat::AllocMemory(HELP_READ_LIMIT));
  if (buffer != nullptr) {
    DigestFile(fp, text, buffer, digest);
    plat::FreeMemory(buffer);
  }
  std::fclose(fp);
  return buffer != nullptr;
}

void ShowHelpFromTable(HWND hWnd, const std::string& helpPath, const SUPFILE* table, int count) {
  const std::string saveCurrDir = plat::GetCurrentDirectory();
  // Without its folder the help is as good as missing; checking the current
  // directory instead might open some other help.htm.
  if (!plat::SetCurrentDirectory(helpPath)) {
    AltMessageBox(hWnd);
    return;
  }
  if (ValidateSupportFileTable(hWnd, table, count) == 0) OpenInBrowser(hWnd, kHelpStartPage, "the help page");
  plat::SetCurrentDirectory(saveCurrDir);
}

void ShowHelp(HWND hWnd, const std::string& helpPath) {
  ShowHelpFromTable(hWnd, helpPath, support_file, SUPPORT_FILE_COUNT);
}

#include "files/file_access.h"

#include <cstdarg>
#include <vector>

#include <cstring>

#include "files/fileio.h"
#include "platform/platform.h"
#include "shell/image_model.h"

const char kPartialSuffix[] = ".tvpart";

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text;
  if (needed > 0) {
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, again);
    text.assign(buffer.data(), static_cast<size_t>(needed));
  }
  va_end(again);
  return text;
}

void ShowFileMessage(const std::string& text) { plat::MessageBox(nullptr, text.c_str(), nullptr, MB_OK); }

void ShowFileMessage(const char* format, const std::string& path) { ShowFileMessage(FormatText(format, path.c_str())); }

FILE* OpenInputFile(const std::string& path) {
  // Only plain files: a FIFO would block the window until some other
  // program writes to it.
  const Platform::PathKind kind = plat::GetPathKind(path);
  if (kind == Platform::PathKind::Directory || kind == Platform::PathKind::Other) return nullptr;
  return plat::OpenFile(path, "rb");
}

FILE* BeginSectionLoad(const char* filename, unsigned lOffset, unsigned lSize, const char* openFailFormat) {
  if (!CheckImageSection(lOffset, lSize)) return nullptr;
  const std::string path = filename ? filename : "";
  FILE* fp = OpenInputFile(path);
  if (fp == nullptr) {
    ShowFileMessage(openFailFormat, path);
    return nullptr;
  }
  std::memset(imgMemory + lOffset, static_cast<BYTE>(cMemoryFillValue), lSize);
  return fp;
}

void EndSectionLoad(FILE* fp, const char* filename) {
  const bool readFailed = std::ferror(fp) != 0;
  std::fclose(fp);
  if (readFailed) ShowFileMessage("Unable to read input file %s", filename ? filename : "");
}

namespace {

// Writes, flushes and closes; the stream is closed whatever happens.
bool WriteAndClose(FILE* fp, const void* data, size_t size) {
  bool ok = size == 0 || std::fwrite(data, 1, size, fp) == size;
  ok = std::fflush(fp) == 0 && ok;
  ok = std::fclose(fp) == 0 && ok;
  return ok;
}

// Opening for appending changes nothing in an existing file.
bool MayWrite(const std::string& path) {
  FILE* fp = plat::OpenFile(path, "ab");
  if (fp == nullptr) return false;
  std::fclose(fp);
  return true;
}

}  // namespace

bool WriteWholeFile(const std::string& path, const void* data, size_t size, const char* openFailFormat) {
  const Platform::PathKind kind = plat::GetPathKind(path);
  if (path.empty() || kind == Platform::PathKind::Directory) {
    ShowFileMessage(openFailFormat, path);
    return false;
  }
  // Renaming over a file would ignore its write protection: a file the user
  // may not write is refused as opening it for writing would be.
  if (kind == Platform::PathKind::Regular && !MayWrite(path)) {
    ShowFileMessage(openFailFormat, path);
    return false;
  }
  // Devices and FIFOs can't be replaced by renaming; they have no old
  // contents to protect either.
  const bool direct = kind == Platform::PathKind::Other;
  const std::string target = direct ? path : path + kPartialSuffix;
  FILE* fp = plat::OpenFile(target, "wb");
  if (fp == nullptr) {
    ShowFileMessage(openFailFormat, path);
    return false;
  }
  bool ok = WriteAndClose(fp, data, size);
  if (ok && !direct) ok = plat::ReplaceFile(target, path);
  if (!ok) {
    if (!direct) plat::RemoveFile(target);
    ShowFileMessage("Unable to write output file %s", path);
  }
  return ok;
}

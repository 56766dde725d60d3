#include "files/file_access.h"

#include <utility>

#include "files/image/image_section.h"

const char kPartialSuffix[] = ".tvpart";

namespace {

void ReportFailure(FileReport& report, FileError why, std::string text) {
  report.Box(std::move(text));
  report.Fail(why);
}

// `format` names the file in its one %s.
void ReportPathFailure(FileReport& report, FileError why, const char* format, const std::string& path) {
  ReportFailure(report, why, FormatText(format, path.c_str()));
}

}  // namespace

FILE* OpenInputFile(const std::string& path) {
  // Only plain files: a FIFO would block the window until some other
  // program writes to it.
  const Platform::PathKind kind = plat::GetPathKind(path);
  if (kind == Platform::PathKind::Directory || kind == Platform::PathKind::Other) return nullptr;
  return plat::OpenFile(path, "rb");
}

bool CheckSection(const ImageModel& image, UINT lOffset, UINT lSize, FileReport& report) {
  switch (CheckImageSection(image, lOffset, lSize)) {
    case SectionCheck::kOk: return true;
    case SectionCheck::kNoImage: ReportFailure(report, FileError::kNoImage, "Unable to allocate image memory"); break;
    case SectionCheck::kOutsideImage:
      ReportFailure(report, FileError::kOutsideImage, "Section outside the image");
      break;
  }
  return false;
}

FILE* BeginSectionLoad(ImageModel& image, const char* filename, UINT lOffset, UINT lSize,
                       const char* openFailFormat, FileReport& report) {
  if (!CheckSection(image, lOffset, lSize, report)) return nullptr;
  const std::string path = filename ? filename : "";
  FILE* fp = OpenInputFile(path);
  if (fp == nullptr) {
    ReportPathFailure(report, FileError::kCannotOpen, openFailFormat, path);
    return nullptr;
  }
  FillSection(image, lOffset, lSize);
  return fp;
}

void EndSectionLoad(FILE* fp, const char* filename, FileReport& report) {
  const bool readFailed = std::ferror(fp) != 0;
  std::fclose(fp);
  if (!readFailed) return;
  report.Box(FormatText("Unable to read input file %s", filename ? filename : ""));
  // The cause of whatever the parse found wrong with the bytes it got.
  report.error = FileError::kCannotRead;
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

void WriteWholeFile(const std::string& path, const void* data, size_t size, const char* openFailFormat,
                    FileReport& report) {
  const Platform::PathKind kind = plat::GetPathKind(path);
  // Renaming over a file would ignore its write protection: a file the user
  // may not write is refused as opening it for writing would be.
  if (path.empty() || kind == Platform::PathKind::Directory ||
      (kind == Platform::PathKind::Regular && !MayWrite(path))) {
    ReportPathFailure(report, FileError::kCannotOpen, openFailFormat, path);
    return;
  }
  // Devices and FIFOs can't be replaced by renaming; they have no old
  // contents to protect either.
  const bool direct = kind == Platform::PathKind::Other;
  const std::string target = direct ? path : path + kPartialSuffix;
  FILE* fp = plat::OpenFile(target, "wb");
  if (fp == nullptr) {
    ReportPathFailure(report, FileError::kCannotOpen, openFailFormat, path);
    return;
  }
  bool ok = WriteAndClose(fp, data, size);
  if (ok && !direct) ok = plat::ReplaceFile(target, path);
  if (!ok) {
    if (!direct) plat::RemoveFile(target);
    ReportPathFailure(report, FileError::kCannotWrite, "Unable to write output file %s", path);
  }
}

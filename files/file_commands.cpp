#include "files/file_commands.h"

#include "files/file_kind.h"
#include "files/file_load.h"
#include "files/file_save.h"
#include "files/file_settings.h"
#include "resources/dialog_templates.h"
#include "settings/dialogs.h"
#include "shell/image_model.h"

const FileFilter file_filter[FILE_FILTER_COUNT] = {
    {"Binary files (*.BIN)", "*.BIN"},
    {"Wave files (*.WAV)", "*.WAV"},
    {"Intel Hex files", "*.HEX"},
    {"All  files", "*.*"},
};

const FileFilter aiff_file_filter = {"AIFF files", "*.AIF;*.AIFF;*.AIFC"};

const char* const file_extension[3] = {"bin", "wav", "hex"};

namespace {

OPENFILENAME FileDialogRecord(HWND hWnd, UINT defaultFormat, const std::string& initialDir, DWORD flags) {
  OPENFILENAME ofn;
  ofn.hwndOwner = hWnd;
  ofn.filters.assign(file_filter, file_filter + FILE_FILTER_COUNT);
  ofn.nFilterIndex = DefaultFilterIndex(defaultFormat);
  ofn.initialDir = initialDir;
  ofn.flags = flags;
  return ofn;
}

// A dialog that failed (rather than being cancelled) is reported, in a box
// the main window owns.
FileReport DialogFailure(const FileDialogResult& result) {
  FileReport report;
  if (result.outcome != FileDialogResult::kFailed) return report;
  report.Box(FormatText("Unable to open dialog: %lX", static_cast<unsigned long>(result.error)), "Error!", true);
  report.Fail(FileError::kDialogFailed);
  return report;
}

// The part of the image a dialog load or save works on.
struct SectionChoice {
  bool chosen = false;
  BYTE sound = 0;
  UINT length = 0;
  bool bothSounds = false;
};

// One sound by default; in the one-EPROM two-sounds arrangement the user
// picks a sound or the whole EPROM.
SectionChoice ChooseSection(HWND hWnd, const ImageModel& image, const std::string& path) {
  SectionChoice c;
  c.length = image.DataSize();
  if (image.EPROM_Arrangement != eaOneEpromTwoSounds) {
    c.chosen = true;
    return c;
  }
  const INT_PTR answer =
      dlg::DialogBoxParam(hWnd, IDD_CHOOSE_SOUND, WhichHalfDialog, reinterpret_cast<LPARAM>(path.c_str()));
  if (answer == CHOOSE_SOUND_1 || answer == CHOOSE_SOUND_2) {
    c.chosen = true;
    c.sound = static_cast<BYTE>(answer);
  } else if (answer == CHOOSE_BOTH_SOUNDS) {
    c.chosen = true;
    c.length = image.EpromBytes();
    c.bothSounds = true;
  }
  return c;
}

// The extension a save appends when the name has none: the one of the
// filter in use, or the default format's for the all-files filter.
const char* ExtensionForFilter(DWORD filterIndex, UINT defaultFormat) {
  if (filterIndex >= 1 && filterIndex <= 3) return file_extension[filterIndex - 1];
  return DefaultExtension(defaultFormat);
}

}  // namespace

const char* DefaultExtension(UINT format) { return format < 3 ? file_extension[format] : file_extension[0]; }

DWORD DefaultFilterIndex(UINT format) { return format < 3 ? format + 1 : 1; }

std::string FolderOfPath(const std::string& path) {
#ifdef _WIN32
  const std::string::size_type sep = path.find_last_of("/\\");
#else
  const std::string::size_type sep = path.find_last_of('/');
#endif
  if (sep == std::string::npos) return plat::GetCurrentDirectory();
  // Keep the separator of a root folder ("/", "C:\").
  if (sep == 0 || path[sep - 1] == ':') return path.substr(0, sep + 1);
  return path.substr(0, sep);
}

FileReport tvOpenFile(HWND hWnd, ImageModel& image, FileSettings& settings) {
  OPENFILENAME ofn = FileDialogRecord(hWnd, settings.DefaultFileFormat, settings.RecentLoadPath,
                                      OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST);
  // AIFF is read, never written: only the open dialog offers it.
  ofn.filters.push_back(aiff_file_filter);
  const FileDialogResult result = plat::ChooseFile(ofn, false);
  if (result.outcome != FileDialogResult::kChosen || ofn.file.empty()) {
    image.SoundFileLoaded[0] = 0;
    image.SoundFileLoaded[1] = 0;
    return DialogFailure(result);
  }
  const std::string filename = ofn.file;
  const SectionChoice c = ChooseSection(hWnd, image, filename);
  FileReport report;
  if (c.chosen) {
    if (c.bothSounds) image.SoundFileLoaded[1] = 0;
    report = tvOpenFileName(image, settings, filename.c_str(), c.sound, static_cast<int>(c.length),
                            static_cast<int>(c.length));
  }
  // The dialog doesn't move the current folder here, so the folder to start
  // in next time comes from the chosen path itself.
  settings.RecentLoadPath = FolderOfPath(filename);
  report.settingsChanged = true;
  return report;
}

namespace {

bool MayReplace(HWND hWnd, const std::string& filename) {
  if (plat::GetPathKind(filename) == Platform::PathKind::Missing) return true;
  const std::string question = filename + " already exists.\nDo you want to replace it?";
  return plat::MessageBox(hWnd, question.c_str(), "Save File", MB_YESNO | MB_ICONWARNING) == IDYES;
}

}  // namespace

FileReport tvSaveFile(HWND hWnd, ImageModel& image, FileSettings& settings) {
  OPENFILENAME ofn = FileDialogRecord(hWnd, settings.DefaultFileFormat, settings.RecentSavePath,
                                      OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
  const FileDialogResult result = plat::ChooseFile(ofn, true);
  if (result.outcome != FileDialogResult::kChosen || ofn.file.empty()) return DialogFailure(result);
  std::string filename = ofn.file;
  const SectionChoice c = ChooseSection(hWnd, image, filename);
  FileReport report;
  if (c.chosen) {
    char ext[5];
    GetFileExtension(ext, filename.c_str());
    std::string extension = ext;
    if (extension.empty()) {
      extension = ExtensionForFilter(ofn.nFilterIndex, settings.DefaultFileFormat);
      filename += "." + extension;
      // The dialog asked about the name as typed; the file now written is
      // another one, and it must not be replaced without asking either.
      if (!MayReplace(hWnd, filename)) return report;
    }
    image.SoundFileLoaded[c.sound] = 1;
    image.SoundFile[c.sound] = filename;
    report = SaveFileOfKind(image, settings, FileKindOfExtension(extension.c_str()), filename.c_str(),
                            c.sound * c.length, c.length);
  }
  settings.RecentSavePath = FolderOfPath(filename);
  report.settingsChanged = true;
  return report;
}

// What a load or save command has to tell: its texts in the order they
// arose and where each goes, the playback rate the loaded header selected,
// why it failed, and whether a remembered folder changed. The command shows
// nothing itself; shell/ applies the report (shell/file_outcome.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "files/codec/hex_parse.h"
#include "files/codec/sound_parse.h"

struct FileText {
  enum class Place {
    kBox,     // a message box with an OK button
    kStatus,  // part 1 of the status bar
  };
  Place place = Place::kBox;
  std::string text;
  std::string caption;         // a box's caption; empty for the system's default
  bool ownedByWindow = false;  // a box the main window owns; otherwise it has no owner
};

// Why a command failed.
enum class FileError {
  kNone,
  kNoImage,       // the image could not be allocated
  kOutsideImage,  // the section does not lie within the image
  kCannotOpen,    // the file could not be opened, for reading or for writing
  kCannotRead,    // reading failed part way
  kCannotWrite,   // writing failed after the file was opened
  kHexRecord,     // an Intel HEX record ended the load early: see hexError
  kSound,         // the sound file's content ended the load early: see soundError
  kDialogFailed,  // a file dialog failed
};

struct FileReport {
  std::vector<FileText> texts;
  std::optional<uint32_t> detectedRate;  // the playback rate the header bytes of a load select
  FileError error = FileError::kNone;    // the first failure; a failed read outranks the rest
  HexError hexError = HexError::kNone;
  WavError soundError = WavError::kNone;
  bool settingsChanged = false;  // a remembered folder changed: the configuration is to be written

  // A box; by default without owner and with the default caption.
  void Box(std::string text, std::string caption = "", bool ownedByWindow = false) {
    texts.push_back({FileText::Place::kBox, std::move(text), std::move(caption), ownedByWindow});
  }
  void Status(std::string text) { texts.push_back({FileText::Place::kStatus, std::move(text), "", false}); }
  // Keeps the first failure.
  void Fail(FileError why) {
    if (error == FileError::kNone) error = why;
  }
  bool failed() const { return error != FileError::kNone; }
};

#if defined(__GNUC__)
#define TV_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define TV_PRINTF_FORMAT(f, a)
#endif

// `format` (printf style) formatted into a string of any length.
std::string FormatText(const char* format, ...) TV_PRINTF_FORMAT(1, 2);

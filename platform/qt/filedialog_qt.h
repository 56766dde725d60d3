// The open and save file dialogs, from an OPENFILENAME record.
//
// Implements:
// - Qt's own (non-native) file dialog, so that it looks the same everywhere
//   and tests can drive it;
// - the filter list, each filter matching without regard to case (a
//   "*.BIN" filter shows kick.bin too; "*.*" shows every file, dot or not);
// - the filter index in and out (1-based) and the initial folder;
// - OFN_FILEMUSTEXIST (only an existing file can be chosen) and
//   OFN_OVERWRITEPROMPT (replacing a file is confirmed, and only then);
// - the chosen path and its file name without folder.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "platform/platform.h"

class QWidget;

// The Qt name filters for `filters`, in order: the description, with the
// pattern added in parentheses when the description does not show it.
QStringList QtNameFilters(const std::vector<FileFilter>& filters);

// Runs the dialog modally; false on cancel. `currentDir` resolves a relative
// initial folder.
bool RunFileDialog(QWidget* parent, OPENFILENAME& ofn, bool save, const QString& currentDir);

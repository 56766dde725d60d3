#include "platform/qt/filedialog_qt.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

namespace {

// "*.*" means every file on the desktop the filters come from; on Linux a
// name needs no dot.
QString QtPattern(const std::string& pattern) {
  QStringList parts = QString::fromUtf8(pattern).split(';', Qt::SkipEmptyParts);
  for (QString& part : parts) {
    part = part.trimmed();
    if (part == QLatin1String("*.*")) part = QStringLiteral("*");
  }
  return parts.join(' ');
}

QString InitialFolder(const OPENFILENAME& ofn, const QString& currentDir) {
  if (ofn.initialDir.empty()) return currentDir;
  const QString dir = QString::fromUtf8(ofn.initialDir);
  return QDir(currentDir).absoluteFilePath(dir);
}

}  // namespace

QStringList QtNameFilters(const std::vector<FileFilter>& filters) {
  QStringList out;
  for (const FileFilter& f : filters) {
    const QString description = QString::fromUtf8(f.description).trimmed();
    const QString pattern = QtPattern(f.pattern);
    // Qt reads the patterns from the last parentheses of the text: a
    // description that already ends in its own pattern is shown as it is.
    if (!pattern.isEmpty() && description.endsWith(QStringLiteral("(%1)").arg(pattern)))
      out << description;
    else
      out << QStringLiteral("%1 (%2)").arg(description, pattern.isEmpty() ? QStringLiteral("*") : pattern);
  }
  return out;
}

bool RunFileDialog(QWidget* parent, OPENFILENAME& ofn, bool save, const QString& currentDir) {
  QFileDialog dialog(parent);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save || !(ofn.flags & OFN_FILEMUSTEXIST) ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (save && !(ofn.flags & OFN_OVERWRITEPROMPT)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setDirectory(InitialFolder(ofn, currentDir));
  // Qt's file list already matches filters without regard to case; the
  // filter keeps its own spelling.
  dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
  dialog.setNameFilters(QtNameFilters(ofn.filters));
  // The dialog keeps its own spelling of the filters (blanks run together),
  // so indexes are taken from its list.
  const QStringList filters = dialog.nameFilters();
  if (!ofn.filters.empty() && !filters.isEmpty()) {
    const qsizetype index = ofn.nFilterIndex >= 1 && ofn.nFilterIndex <= filters.size() ? ofn.nFilterIndex - 1 : 0;
    dialog.selectNameFilter(filters[index]);
  }
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  const QString path = QDir::cleanPath(chosen.front());
  ofn.file = QFile::encodeName(path).toStdString();
  ofn.fileTitle = QFile::encodeName(QFileInfo(path).fileName()).toStdString();
  const qsizetype used = filters.indexOf(dialog.selectedNameFilter());
  if (used >= 0) ofn.nFilterIndex = static_cast<DWORD>(used + 1);
  return true;
}

#include "gui/window_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace corvane::gui {

QStringList NameFilters(const QString& classicFilter) {
  const QStringList parts = classicFilter.split(u'|');
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString text = parts[i];
    const qsizetype paren = text.indexOf(u'(');
    if (paren >= 0) text = text.left(paren);
    text = text.trimmed();
    QStringList patterns = parts[i + 1].toLower().split(u';', Qt::SkipEmptyParts);
    for (QString& p : patterns) p = p.trimmed();
    out.push_back(text + " (" + patterns.join(u' ') + ")");
  }
  return out;
}

namespace {

void Prepare(QFileDialog& dialog, const FileDialogRequest& request) {
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setWindowTitle(request.Title);
  if (!request.Folder.isEmpty() && QDir(request.Folder).exists()) dialog.setDirectory(request.Folder);
  dialog.setNameFilters(request.Filters);
  if (!request.Filters.isEmpty()) dialog.selectNameFilter(request.Filters.front());
  dialog.setDefaultSuffix(request.DefaultSuffix);
}

}  // namespace

QStringList QtWindowDialogs::OpenFiles(QWidget* parent, const FileDialogRequest& request) {
  QFileDialog dialog(parent);
  Prepare(dialog, request);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(request.MultipleFiles ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles();
}

QString QtWindowDialogs::SaveFile(QWidget* parent, const FileDialogRequest& request) {
  QFileDialog dialog(parent);
  Prepare(dialog, request);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (!request.ProposedName.isEmpty()) dialog.selectFile(request.ProposedName);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.front();
}

void QtWindowDialogs::ShowError(QWidget* parent, const QString& message) {
  QMessageBox::critical(parent, QStringLiteral("Corvane 2"), message);
}

}  // namespace corvane::gui

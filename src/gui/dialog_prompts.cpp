#include "gui/dialog_prompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace corvane::gui {

namespace {

const QString kBoxTitle = QStringLiteral("Corvane 2");

QString OpenFileInteractively(QWidget* parent, const FileRequest& request) {
  QFileDialog dialog(parent, request.Title, request.Folder, request.Filter);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(request.MustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  if (!request.DefaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.DefaultSuffix);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.front();
}

}  // namespace

DialogPrompts DialogPrompts::Interactive() {
  DialogPrompts prompts;
  prompts.OpenFile = &OpenFileInteractively;
  prompts.Message = [](QWidget* parent, const QString& text) { QMessageBox::information(parent, kBoxTitle, text); };
  prompts.Error = [](QWidget* parent, const QString& text) { QMessageBox::critical(parent, kBoxTitle, text); };
  return prompts;
}

}  // namespace corvane::gui

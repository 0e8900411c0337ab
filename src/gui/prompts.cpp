#include "gui/prompts.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <exception>
#include <new>

namespace corvane::gui {

namespace {

const QString kBoxTitle = QStringLiteral("Corvane 2");

void Prepare(QFileDialog& dialog, const FileRequest& request) {
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setWindowTitle(request.Title);
  if (!request.Folder.isEmpty() && QDir(request.Folder).exists()) dialog.setDirectory(request.Folder);
  if (!request.Filters.isEmpty()) dialog.setNameFilters(request.Filters);
  if (!request.SelectedFilter.isEmpty()) dialog.selectNameFilter(request.SelectedFilter);
  dialog.setDefaultSuffix(request.DefaultSuffix);
}

}  // namespace

QStringList FilterPatterns(const QString& filter) {
  const qsizetype open = filter.lastIndexOf(u'(');
  const qsizetype close = filter.lastIndexOf(u')');
  if (open < 0 || close < open) return {};
  return filter.mid(open + 1, close - open - 1).split(u' ', Qt::SkipEmptyParts);
}

QString PathText(const std::string& path) { return QFile::decodeName(path.c_str()); }

std::string PathOf(const QString& text) { return QFile::encodeName(text).toStdString(); }

FileRequest FileRequestFor(const QString& title, const std::string& folder, const QStringList& filters,
                           const QString& suffix) {
  FileRequest request;
  request.Title = title;
  request.Folder = PathText(folder);
  request.Filters = filters;
  request.DefaultSuffix = suffix;
  return request;
}

QString Prompts::OpenFile(QWidget* parent, const FileRequest& request) {
  const QStringList files = OpenFiles(parent, request);
  return files.isEmpty() ? QString() : files.front();
}

QStringList QtPrompts::OpenFiles(QWidget* parent, const FileRequest& request) {
  QFileDialog dialog(parent);
  Prepare(dialog, request);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(request.MultipleFiles ? QFileDialog::ExistingFiles
                     : request.MustExist   ? QFileDialog::ExistingFile
                                           : QFileDialog::AnyFile);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles();
}

QString QtPrompts::SaveFile(QWidget* parent, const FileRequest& request) {
  QFileDialog dialog(parent);
  Prepare(dialog, request);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (!request.DefaultSuffix.isEmpty()) {
    // A name typed without extension takes the kind of the filter chosen last.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
      const QStringList patterns = FilterPatterns(filter);
      if (!patterns.isEmpty() && patterns.front().startsWith(QLatin1String("*.")))
        dialog.setDefaultSuffix(patterns.front().mid(2));
    });
  }
  if (!request.ProposedName.isEmpty()) dialog.selectFile(request.ProposedName);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.front();
}

void QtPrompts::Message(QWidget* parent, const QString& text) { QMessageBox::information(parent, kBoxTitle, text); }

void QtPrompts::Error(QWidget* parent, const QString& text) { QMessageBox::critical(parent, kBoxTitle, text); }

QString ActionError(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::bad_alloc&) {
    return QStringLiteral("Out of memory: the action was stopped. A smaller memory setting or output size may help.");
  } catch (const std::exception& e) {
    return QString::fromStdString(e.what());
  }
  return {};
}

}  // namespace corvane::gui

#pragma once
// The modal dialogs the main window opens: file choosers and the error box of
// an action that failed. The window asks through this interface, so tests
// answer in its place and never block; the default opens Qt's own file dialog
// widget (the same on every desktop) and a message box.
#include <QString>
#include <QStringList>

class QWidget;

namespace corvane::gui {

/// One file dialog: title, start folder, name filters (the first is chosen),
/// the extension added to a name typed without one, and for save dialogs the
/// file name offered.
struct FileDialogRequest {
  QString Title;
  QString Folder;
  QStringList Filters;
  QString DefaultSuffix;
  QString ProposedName;
  bool MultipleFiles = false;
};

/// Name filters in the toolkit's form from the classic "Text|patterns|Text|
/// patterns" form: "All (*.avi;*.jpg)|*.avi;*.jpg|AVI (*.avi)|*.avi" gives
/// "All (*.avi *.jpg)" and "AVI (*.avi)". Each text keeps what stands before
/// its parenthesis; the patterns come from the pattern part, in lower case
/// (the dialog matches names in any case).
QStringList NameFilters(const QString& classicFilter);

class WindowDialogs {
 public:
  virtual ~WindowDialogs() = default;
  /// An open dialog for existing files; empty when cancelled.
  virtual QStringList OpenFiles(QWidget* parent, const FileDialogRequest& request) = 0;
  /// A save dialog; empty when cancelled.
  virtual QString SaveFile(QWidget* parent, const FileDialogRequest& request) = 0;
  /// The error box of an action that an error ended.
  virtual void ShowError(QWidget* parent, const QString& message) = 0;
};

/// The dialogs a user sees: QFileDialog (not the desktop's native one) and
/// QMessageBox.
class QtWindowDialogs final : public WindowDialogs {
 public:
  QStringList OpenFiles(QWidget* parent, const FileDialogRequest& request) override;
  QString SaveFile(QWidget* parent, const FileDialogRequest& request) override;
  void ShowError(QWidget* parent, const QString& message) override;
};

}  // namespace corvane::gui

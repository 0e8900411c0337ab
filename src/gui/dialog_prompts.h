#pragma once
// The file dialogs and message boxes the settings dialog opens. They are
// replaceable, so that tests answer them without a blocking window; the
// program uses Qt's own file dialog widget, which looks and behaves the same
// on every desktop.
#include <QString>
#include <functional>

class QWidget;

namespace corvane::gui {

/// An open-file dialog as a button asks for it.
struct FileRequest {
  QString Title;
  QString Folder;         ///< where the dialog starts
  QString Filter;         ///< e.g. "DarkFrame picture (*.bmp)"; empty: every file
  QString DefaultSuffix;  ///< added to a typed name without extension
  bool MustExist = true;  ///< only an existing file can be confirmed
};

struct DialogPrompts {
  /// The confirmed file, or an empty text when the user cancelled.
  std::function<QString(QWidget* parent, const FileRequest& request)> OpenFile;
  /// A message the user acknowledges (the PSF size message).
  std::function<void(QWidget* parent, const QString& text)> Message;
  /// An error that ended an action (a file that cannot be read).
  std::function<void(QWidget* parent, const QString& text)> Error;

  /// The interactive dialogs and boxes.
  static DialogPrompts Interactive();
};

}  // namespace corvane::gui

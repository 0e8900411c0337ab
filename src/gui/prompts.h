#pragma once
// The modal windows the program opens: file dialogs, the message box and the
// error box of an action that failed. Both windows ask through one Prompts
// object, so a test replaces that one object and answers in the user's place
// without blocking; the program uses Qt's own file dialog widget (the same on
// every desktop) and message boxes.
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

class QWidget;

namespace corvane::gui {

/// One file dialog.
struct FileRequest {
  QString Title;
  QString Folder;              ///< where the dialog starts
  QStringList Filters;         ///< name filters; none: every file
  QString SelectedFilter;      ///< the filter chosen at start; empty: the first
  QString DefaultSuffix;       ///< added to a typed name without extension (save dialogs: then the chosen filter's)
  QString ProposedName;        ///< save dialogs: the name offered
  bool MultipleFiles = false;  ///< open dialogs: several files may be chosen
  bool MustExist = true;       ///< open dialogs: only an existing file can be confirmed
};

/// Name filters of the file kinds beyond the first ones (AVI, BMP, JPEG),
/// shared by the open and save dialogs. The first pattern of each is the
/// extension a save in that kind adds.
inline const QString SerFilter = QStringLiteral("SER (*.ser)");
inline const QString FitsFilter = QStringLiteral("FITS (*.fits *.fit *.fts)");
inline const QString TiffFilter = QStringLiteral("TIFF (*.tif *.tiff)");
inline const QString PngFilter = QStringLiteral("PNG (*.png)");

/// The patterns of a name filter: "FITS (*.fits *.fit)" gives *.fits and *.fit.
QStringList FilterPatterns(const QString& filter);

/// A file name as the system takes it (bytes) as a text, and back.
QString PathText(const std::string& path);
std::string PathOf(const QString& text);

/// A request with its title, the folder it starts in (a file name of the
/// system), its name filters and default extension; the rest as by default.
FileRequest FileRequestFor(const QString& title, const std::string& folder, const QStringList& filters,
                           const QString& suffix);

class Prompts {
 public:
  virtual ~Prompts() = default;
  /// An open dialog; the confirmed files, none when cancelled.
  virtual QStringList OpenFiles(QWidget* parent, const FileRequest& request) = 0;
  /// A save dialog; the confirmed file, empty when cancelled.
  virtual QString SaveFile(QWidget* parent, const FileRequest& request) = 0;
  /// A message the user acknowledges (the PSF size message).
  virtual void Message(QWidget* parent, const QString& text) = 0;
  /// The error box of an action that an error ended.
  virtual void Error(QWidget* parent, const QString& text) = 0;

  /// An open dialog for one file; empty when cancelled.
  QString OpenFile(QWidget* parent, const FileRequest& request);
};

/// The dialogs a user sees: QFileDialog (not the desktop's native one) and
/// QMessageBox.
class QtPrompts final : public Prompts {
 public:
  QStringList OpenFiles(QWidget* parent, const FileRequest& request) override;
  QString SaveFile(QWidget* parent, const FileRequest& request) override;
  void Message(QWidget* parent, const QString& text) override;
  void Error(QWidget* parent, const QString& text) override;
};

/// Runs one user action and answers the text of the error that ended it, or
/// an empty text when it ran to its end. Every error is caught here, at the
/// action boundary: the program's own errors name the operation, the file and
/// the values; a lack of memory gets a text of its own.
QString ActionError(const std::function<void()>& action);

}  // namespace corvane::gui

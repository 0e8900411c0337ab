#pragma once
// The main window: the two panes and one panel per step of the workflow, the
// status bar, the keys and the mouse actions. Every handler calls one
// Workbench action (or one core function) and then shows what the core holds;
// Refresh() sets every widget from the model with its signals blocked, so no
// change loops back.
#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>

#include "app/window_rules.h"
#include "app/workbench.h"
#include "gui/gui_services.h"
#include "gui/prompts.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace corvane::gui {

class PicturePane;
class TDialogForm;

/// The window's size: its client area, status bar included.
constexpr int MainFormClientWidth = 791;
constexpr int MainFormClientHeight = 595;

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  /// FormCreate. The workbench's services show in this window when they are
  /// GuiServices (attached when the window is first shown); `prompts` answers
  /// the file dialogs and error boxes.
  TMainForm(Workbench& workbench, Prompts& prompts);
  ~TMainForm() override;

  /// The settings dialog, created after the main window (start-up order).
  void AttachDialog(TDialogForm* dialog);

  /// Previews files as if they were picked with "Preview" (the command line).
  void PreviewFiles(const QStringList& files);

  /// Sets every widget from the model.
  void Refresh();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // FormCreate and FormShow.
  void BuildWidgets();
  void Connect();
  void FormShow();
  // Listeners and the workflow handler.
  void ApplyGeneral();
  void WorkflowChanged();
  // Actions.
  void LoadFramesChooseBitBtnClick();
  void LoadFramesLoadBitBtnClick();
  void StackFramesGoBitBtnClick();
  void StackFramesResetBitBtnClick();
  void StackFramesSaveBitBtnClick();
  void PictureCalculateBitBtnClick();
  void PictureSaveBitBtnClick();
  void SettingsSpeedButtonClick(bool down);
  void CombineFramesMethodRadioGroupClick(int method);
  void FrameInfoNrSpinEditChange(int value);
  void FrameInfoQualitySpinEditChange(int value);
  void FrameInfoFilterChange();
  enum class MouseStep { Down, Move, Up };
  void InputFrameImageMouse(MouseStep step, QPoint p);
  void InputFrameImageDblClick();
  void ResultPictureImageMouseMove(QPoint p);
  void LocalPSFImageDblClick();
  bool HandleKey(QKeyEvent* event);

  /// Runs one action: an error it raises ends it with the error box, and the
  /// window goes on. The widgets show the model afterwards either way.
  void RunAction(const std::function<void()>& action);
  void ShowLocalPSF(const Bitmap& picture);

  Workbench& m_wb;
  GuiServices* m_services;  // null when the workbench reports elsewhere
  Prompts& m_prompts;
  TDialogForm* m_dialog = nullptr;
  std::unique_ptr<StatusPanelTarget> m_stateTarget;
  bool m_shown = false;
  bool m_dialogClosedReport = false;
  bool m_resultDrag = false;
  GeneralAppearance m_appearance;

  // The input picture and the result picture.
  struct PaneColumn {
    QLabel* Caption = nullptr;
    PicturePane* Pane = nullptr;
    QLabel* ProgressCaption = nullptr;
    QProgressBar* Progress = nullptr;
    QCheckBox* Whole = nullptr;  ///< "Whole image"
  };
  PaneColumn m_input;
  PaneColumn m_result;
  // Load frames
  QPushButton* m_loadChoose = nullptr;
  QPushButton* m_loadLoad = nullptr;
  QPlainTextEdit* m_loadMemo = nullptr;
  // Frame quality
  QSpinBox* m_frameNr = nullptr;
  QSpinBox* m_frameQuality = nullptr;
  QSpinBox* m_frameFilter = nullptr;
  QCheckBox* m_frameFilterCheck = nullptr;
  QPlainTextEdit* m_frameMemo = nullptr;
  // Stack frames
  QPushButton* m_stackGo = nullptr;
  QPushButton* m_stackReset = nullptr;
  QPushButton* m_stackSave = nullptr;
  QPlainTextEdit* m_stackMemo = nullptr;
  // Combine frames
  QGroupBox* m_combineGroup = nullptr;
  QButtonGroup* m_combineButtons = nullptr;
  QLabel* m_combineLabel1 = nullptr;
  QLabel* m_combineLabel2 = nullptr;
  QSpinBox* m_combineSpin1 = nullptr;
  QSpinBox* m_combineSpin2 = nullptr;
  QPlainTextEdit* m_combineMemo = nullptr;
  // Enhancement
  PicturePane* m_localPsf = nullptr;
  QCheckBox* m_postUMA = nullptr;
  QCheckBox* m_postDEC = nullptr;
  QPlainTextEdit* m_enhancementMemo = nullptr;
  // Edit & Save picture
  QPushButton* m_calculate = nullptr;
  QPushButton* m_save = nullptr;
  QToolButton* m_settings = nullptr;
  QPlainTextEdit* m_pictureMemo = nullptr;
  // Status bar
  QLabel* m_statusMemory = nullptr;
  QLabel* m_statusState = nullptr;
  QLabel* m_statusMessage = nullptr;
};

}  // namespace corvane::gui

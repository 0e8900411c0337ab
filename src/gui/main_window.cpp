#include "gui/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolButton>

#include "app/version.h"
#include "enhance/local_psf.h"
#include "gui/app_icon.h"
#include "gui/dialog_form.h"
#include "gui/picture_pane.h"
#include "output/bitmap_ops.h"
#include "output/saving.h"

namespace corvane::gui {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

constexpr const char* GuideText = "Preview ---> Load ---> Calculate ---> Go! ---> Calculate ---> Save ---> Ready!";

template <class W>
W* Named(W* widget, const char* objectName) {
  widget->setObjectName(QString::fromLatin1(objectName));
  return widget;
}

QPlainTextEdit* MakeMemo(QWidget* parent, const char* name, const char* accessibleName) {
  auto* memo = Named(new QPlainTextEdit(parent), name);
  memo->setReadOnly(true);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setFocusPolicy(Qt::NoFocus);
  memo->document()->setDocumentMargin(2);
  memo->setAccessibleName(QString::fromLatin1(accessibleName));
  return memo;
}

// Replaces a memo's lines (only when they differ, so the memo repaints only then).
template <class Lines>
void SetMemoLines(QPlainTextEdit* memo, const Lines& lines) {
  QStringList list;
  for (const std::string& line : lines) list.push_back(Q(line));
  const QString text = list.join(u'\n');
  if (memo->toPlainText() != text) memo->setPlainText(text);
}

QSpinBox* MakeSpin(QWidget* parent, const char* name, const char* accessibleName) {
  auto* spin = Named(new QSpinBox(parent), name);
  spin->setAccessibleName(QString::fromLatin1(accessibleName));
  return spin;
}

void SetSpin(QSpinBox* spin, int minimum, int maximum, int value, int step = 1) {
  const QSignalBlocker block(spin);
  spin->setRange(minimum, std::max(minimum, maximum));
  spin->setSingleStep(step);
  spin->setValue(value);
}

// The Qt key of an event as a key of the window's table.
WindowKey KeyOf(const QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape: return WindowKey::Escape;
    case Qt::Key_PageUp: return WindowKey::PageUp;
    case Qt::Key_PageDown: return WindowKey::PageDown;
    case Qt::Key_3: return WindowKey::Digit3;
    case Qt::Key_9: return WindowKey::Digit9;
    case Qt::Key_Plus: return WindowKey::Plus;
    case Qt::Key_Minus: return WindowKey::Minus;
    case Qt::Key_F1: return WindowKey::F1;
    case Qt::Key_F2: return WindowKey::F2;
    case Qt::Key_F3: return WindowKey::F3;
    case Qt::Key_F4: return WindowKey::F4;
    case Qt::Key_F5: return WindowKey::F5;
    default: return WindowKey::Other;
  }
}

}  // namespace

TMainForm::TMainForm(Workbench& workbench, Prompts& prompts)
    : m_wb(workbench), m_services(dynamic_cast<GuiServices*>(&workbench.Svc)), m_prompts(prompts) {
  setObjectName("MainForm");
  setWindowTitle("Corvane 2");
  setWindowIcon(ProgramIcon());
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(MainFormClientWidth, MainFormClientHeight);
  BuildWidgets();
  Connect();

  // FormCreate, with the settings at their built-in defaults.
  m_save->setText(Q(SaveButtonCaption(m_wb.Config.General.SaveAsButton)));
  m_wb.ChooseCombineMethod(CombineMean);  // the combine panel as for Mean
  Bitmap design;
  KernelToBitmap(design, StartupLocalPSF());
  BitmapToKernel(m_wb.LocalPSF, design, 0, 0);  // the local PSF from LocalPSFImage's design picture
  ShowLocalPSF(design);
  // A LUT file chosen in the dialog may go while the program runs.
  m_wb.Render.RenderWithoutUnreadableLut = true;
  m_wb.Quality.QualityEdit = {0, 1000, 900};
  m_wb.Quality.Filter = {0, 1000, m_wb.Quality.QualityEdit.Value};

  // The window's listeners and the workflow handler: the General settings
  // are applied, every other change shows in the memos. The settings keep
  // their listeners for good, so each one checks that the window is still there.
  const QPointer<TMainForm> self(this);
  m_wb.Config.RegisterGeneralListener([self] {
    if (self) self->ApplyGeneral();
  });
  const auto refresh = [self] {
    if (self) self->Refresh();
  };
  m_wb.Config.RegisterLoadFramesListener(refresh);
  m_wb.Config.RegisterStackFramesListener(refresh);
  m_wb.Config.RegisterEditSaveListener(refresh);
  m_wb.OnStateChanged = [this] { WorkflowChanged(); };
  // The window sees the keys before its controls, and hides every hint of
  // the program while "Show Hints" is off.
  qApp->installEventFilter(this);
  Refresh();
  ApplyGeneral();
}

TMainForm::~TMainForm() {
  m_wb.OnStateChanged = nullptr;
  if (m_services != nullptr) {
    m_services->AttachPanes(nullptr, nullptr);
    m_services->AttachProgress(1, nullptr, nullptr);
    m_services->AttachProgress(2, nullptr, nullptr);
    m_services->AttachStatus(nullptr, nullptr);
  }
  m_wb.Fsm.SetStatusTarget(nullptr);
}

void TMainForm::BuildWidgets() {
  auto* central = Named(new QWidget(this), "MainFormClient");
  setCentralWidget(central);
  QFont small = font();
  small.setPointSizeF(8.0);
  setFont(small);

  // Hints are tool tips (shown per "Show Hints") and accessible descriptions.
  auto hint = [](QWidget* w, const char* text) {
    w->setToolTip(QString::fromLatin1(text));
    w->setAccessibleDescription(QString::fromLatin1(text));
  };
  auto label = [](QWidget* parent, const char* name, const char* text, QRect geometry) {
    auto* l = Named(new QLabel(QString::fromLatin1(text), parent), name);
    l->setGeometry(geometry);
    return l;
  };

  // The two panes, each with its caption, progress bar and "Whole image"
  // box. The result pane stands left: the local PSF is picked on it, and the
  // local PSF's hint sends the user to the left preview window.
  struct PaneTexts {
    const char* Prefix;  // of the controls' names
    const char* Caption;
    const char* PaneName;
    const char* PaneHint;
    const char* ProgressCaption;
    const char* BarName;
    const char* BarHint;
    const char* WholeHint;
  };
  auto paneColumn = [&](int x, const PaneTexts& t) {
    auto named = [&t](QWidget* w, const char* part) {
      w->setObjectName(QString::fromLatin1(t.Prefix) + QLatin1String(part));
      return w;
    };
    PaneColumn c;
    c.Caption = new QLabel(QString::fromLatin1(t.Caption), central);
    named(c.Caption, "Label")->setGeometry(x, 5, 320, 17);
    c.Pane = new PicturePane(320, 240, central);
    named(c.Pane, "Image")->move(x, 24);
    c.Pane->setAccessibleName(QString::fromLatin1(t.PaneName));
    hint(c.Pane, t.PaneHint);
    c.ProgressCaption = new QLabel(QString::fromLatin1(t.ProgressCaption), central);
    named(c.ProgressCaption, "ProgressLabel")->setGeometry(x, 268, 100, 16);
    c.Progress = new QProgressBar(central);
    named(c.Progress, "ProgressBar")->setGeometry(x + 104, 269, 216, 14);
    c.Progress->setTextVisible(false);
    c.Progress->setValue(0);
    c.Progress->setAccessibleName(QString::fromLatin1(t.BarName));
    hint(c.Progress, t.BarHint);
    c.Whole = new QCheckBox("Whole image", central);
    named(c.Whole, "WholeImageCheckBox")->setGeometry(x, 285, 200, 20);
    c.Whole->setChecked(true);
    hint(c.Whole, t.WholeHint);
    return c;
  };
  m_result = paneColumn(
      44, {"ResultPicture", "Result picture", "Result picture", "Output preview window",
           "Calculate:", "Calculate progress", "Show progress while calculating", "Fit result into preview window"});
  m_input = paneColumn(427, {"InputFrame", "Input frame", "Input picture", "Input preview window",
                             "Frame nr.:", "Input progress", "Progress ", "Fit frame into preview window"});

  // One panel per step, memos aligned at the foot of each; the panels are as
  // wide as their captions need, 3 pixels apart and from the window's edges.
  constexpr int panelY = 308, panelH = 262, memoY = 152, memoH = 104;
  int x = 3;
  auto panel = [&](const char* name, const char* title, int width) {
    auto* box = Named(new QGroupBox(QString::fromLatin1(title), central), name);
    box->setGeometry(x, panelY, width, panelH);
    x += width + 3;
    return box;
  };
  auto button = [](QWidget* parent, const char* name, const char* text, QRect geometry) {
    auto* b = Named(new QPushButton(QString::fromLatin1(text), parent), name);
    b->setGeometry(geometry);
    return b;
  };

  QGroupBox* load = panel("LoadFramesGroupBox", "Load frames", 114);
  m_loadChoose = button(load, "LoadFramesChooseBitBtn", "Preview", {5, 22, 104, 27});
  hint(m_loadChoose, "Choose and preview  files, always use prior to Load");
  m_loadLoad = button(load, "LoadFramesLoadBitBtn", "Load", {5, 53, 104, 27});
  m_loadLoad->setEnabled(false);
  hint(m_loadLoad, "After preview, load frames from picked files");
  m_loadMemo = MakeMemo(load, "LoadFramesMemo", "Load frames memo");
  m_loadMemo->setGeometry(5, memoY, 104, memoH);

  QGroupBox* quality = panel("FrameInfoGroupBox", "Frame quality", 132);
  label(quality, "FrameInfoNrLabel", "Frame nr:", {6, 24, 56, 18});
  m_frameNr = MakeSpin(quality, "FrameInfoNrSpinEdit", "Frame nr");
  m_frameNr->setGeometry(77, 22, 52, 22);
  label(quality, "FrameInfoQualityLabel", "Quality:", {6, 52, 56, 18});
  m_frameQuality = MakeSpin(quality, "FrameInfoQualitySpinEdit", "Quality");
  m_frameQuality->setGeometry(77, 50, 52, 22);
  m_frameFilterCheck = Named(new QCheckBox("Filter >=", quality), "FrameInfoFilterCheckBox");
  m_frameFilterCheck->setGeometry(4, 79, 72, 20);
  m_frameFilter = MakeSpin(quality, "FrameInfoFilterSpinEdit", "Filter threshold");
  m_frameFilter->setGeometry(77, 78, 52, 22);
  m_frameMemo = MakeMemo(quality, "FrameInfoMemo", "Frame quality memo");
  m_frameMemo->setGeometry(5, memoY, 122, memoH);

  QGroupBox* stack = panel("StackFramesGroupBox", "Stack frames", 134);
  m_stackGo = button(stack, "StackFramesGoBitBtn", "Go!", {5, 22, 124, 27});
  m_stackReset = button(stack, "StackFramesResetBitBtn", "Reset", {5, 53, 124, 27});
  hint(m_stackReset, "Reset results from a former stacking action");
  m_stackSave = button(stack, "StackFramesSaveBitBtn", "Save stacked frames", {5, 84, 124, 27});
  hint(m_stackSave, "Save frames after stacking");
  for (QPushButton* b : {m_stackGo, m_stackReset, m_stackSave}) b->setEnabled(false);
  m_stackMemo = MakeMemo(stack, "StackFramesMemo", "Stack frames memo");
  m_stackMemo->setGeometry(5, memoY, 124, memoH);

  m_combineGroup = panel("CombineFramesGroupBox", "Combine frames to picture", 148);
  auto* method = Named(new QGroupBox("Combine method", m_combineGroup), "CombineFramesMethodRadioGroup");
  method->setGeometry(4, 18, 140, 60);
  m_combineButtons = new QButtonGroup(this);
  const char* const methods[] = {"Mean", "Median", "Multiply", "Add"};
  for (int i = 0; i < 4; ++i) {
    auto* radio = new QRadioButton(QString::fromLatin1(methods[i]), method);
    radio->setObjectName(QStringLiteral("CombineFramesMethodRadioGroup%1").arg(QString::fromLatin1(methods[i])));
    radio->setGeometry(i < 2 ? 5 : 70, 18 + (i % 2) * 19, i < 2 ? 65 : 69, 19);
    m_combineButtons->addButton(radio, i);
  }
  m_combineButtons->button(0)->setChecked(true);
  m_combineLabel1 = label(m_combineGroup, "CombineFramesLabel1", "", {8, 86, 62, 18});
  m_combineSpin1 = MakeSpin(m_combineGroup, "CombineFramesSpinEdit1", "Combine value 1");
  m_combineSpin1->setGeometry(70, 84, 66, 22);
  m_combineLabel2 = label(m_combineGroup, "CombineFramesLabel2", "", {8, 114, 62, 18});
  m_combineSpin2 = MakeSpin(m_combineGroup, "CombineFramesSpinEdit2", "Combine value 2");
  m_combineSpin2->setGeometry(70, 112, 66, 22);
  m_combineMemo = MakeMemo(m_combineGroup, "CombineFramesMemo", "Combine memo");
  m_combineMemo->setGeometry(5, memoY, 138, memoH);

  QGroupBox* enhancement = panel("EnhancementGroupBox", "Enhancement", 122);
  label(enhancement, "LocalPSFLabel", "Local PSF:", {6, 34, 60, 18});
  m_localPsf = Named(new PicturePane(51, 45, enhancement, 3), "LocalPSFImage");
  m_localPsf->move(66, 20);
  m_localPsf->SetStretched(false);
  m_localPsf->setAccessibleName("Local PSF");
  hint(m_localPsf, "Move mouse over left preview window while holding down left mouse button; doubleclick to save PSF");
  auto* methodBox = Named(new QGroupBox(" Method: ", enhancement), "EnhancementMethodGroupBox");
  methodBox->setGeometry(4, 70, 114, 62);
  m_postUMA = Named(new QCheckBox("Unsharp Mask:", methodBox), "EnhancementPostUMACheckBox");
  m_postUMA->setGeometry(5, 18, 107, 19);
  m_postDEC = Named(new QCheckBox("Deconvolution", methodBox), "EnhancementPostDECCheckBox");
  m_postDEC->setGeometry(5, 38, 107, 19);
  // The pre-enhancement and histogram boxes exist but are hidden: no such run exists.
  for (const auto& [name, text] :
       {std::pair{"EnhancementPreUMACheckBox", "Unsharp Mask:"},
        std::pair{"EnhancementPreDECCheckBox", "Deconvolution"}, std::pair{"EnhancementPreHISCheckBox", "Histogram"},
        std::pair{"EnhancementPostHISCheckBox", "Histogram"}}) {
    auto* hidden = Named(new QCheckBox(QString::fromLatin1(text), methodBox), name);
    hidden->setEnabled(false);
    hidden->hide();
  }
  m_enhancementMemo = MakeMemo(enhancement, "EnhancementMemo", "Enhancement memo");
  m_enhancementMemo->setGeometry(5, memoY, 112, memoH);
  const Memo7 design = DesignMemo();
  SetMemoLines(m_enhancementMemo, std::vector<std::string>(design.begin(), design.end() - 1));

  QGroupBox* picture = panel("PictureGroupBox", "Edit && Save picture", 120);
  m_calculate = button(picture, "PictureCalculateBitBtn", "Calculate", {5, 22, 110, 27});
  m_calculate->setEnabled(false);
  hint(m_calculate, "Calculate an endresult, using stack, combine and enhancement settings");
  m_save = button(picture, "PictureSaveBitBtn", "Save", {5, 53, 110, 27});
  m_save->setEnabled(false);
  hint(m_save, "Save endresult picture");
  m_settings = Named(new QToolButton(picture), "SettingsSpeedButton");
  m_settings->setGeometry(5, 84, 36, 27);
  m_settings->setCheckable(true);
  m_settings->setIcon(SettingsIcon());
  m_settings->setAccessibleName("Settings");
  hint(m_settings, "Display settings dialog");
  m_pictureMemo = MakeMemo(picture, "PictureMemo", "Picture memo");
  m_pictureMemo->setGeometry(5, memoY, 110, memoH);

  QFont memoFont = small;
  memoFont.setPointSizeF(7.0);
  for (QPlainTextEdit* memo : {m_loadMemo, m_frameMemo, m_stackMemo, m_combineMemo, m_enhancementMemo, m_pictureMemo})
    memo->setFont(memoFont);

  // The status bar: "Memory used", the workflow state, messages.
  auto* bar = Named(new QStatusBar(this), "StatusBar");
  bar->setSizeGripEnabled(false);
  setStatusBar(bar);
  auto panelLabel = [bar](const char* name, const char* accessibleName, int width, const char* text, int stretch) {
    auto* l = Named(new QLabel(QString::fromLatin1(text)), name);
    l->setMinimumWidth(width);
    l->setAccessibleName(QString::fromLatin1(accessibleName));
    bar->addWidget(l, stretch);
    return l;
  };
  m_statusMemory = panelLabel("StatusBarPanel0", "Memory used", 110, "Memory used: 0 Mb", 0);
  m_statusState = panelLabel("StatusBarPanel1", "State", 80, "", 0);
  m_statusState->setAlignment(Qt::AlignCenter);
  // The message panel takes the rest of the bar (at least 320 pixels): the
  // frame-budget and alignment lines are longer than that.
  m_statusMessage = panelLabel("StatusBarPanel2", "Status", 320, GuideText, 1);
  m_stateTarget = std::make_unique<StatusPanelTarget>(m_statusState);
}

void TMainForm::Connect() {
  connect(m_loadChoose, &QPushButton::clicked, this, &TMainForm::LoadFramesChooseBitBtnClick);
  connect(m_loadLoad, &QPushButton::clicked, this, &TMainForm::LoadFramesLoadBitBtnClick);
  connect(m_stackGo, &QPushButton::clicked, this, &TMainForm::StackFramesGoBitBtnClick);
  connect(m_stackReset, &QPushButton::clicked, this, &TMainForm::StackFramesResetBitBtnClick);
  connect(m_stackSave, &QPushButton::clicked, this, &TMainForm::StackFramesSaveBitBtnClick);
  connect(m_calculate, &QPushButton::clicked, this, &TMainForm::PictureCalculateBitBtnClick);
  connect(m_save, &QPushButton::clicked, this, &TMainForm::PictureSaveBitBtnClick);
  connect(m_settings, &QToolButton::clicked, this, &TMainForm::SettingsSpeedButtonClick);
  connect(m_combineButtons, &QButtonGroup::idClicked, this, &TMainForm::CombineFramesMethodRadioGroupClick);
  connect(m_combineSpin1, &QSpinBox::valueChanged, this, [this](int v) { m_wb.CombinePanelState.Spin1.Value = v; });
  connect(m_combineSpin2, &QSpinBox::valueChanged, this, [this](int v) { m_wb.CombinePanelState.Spin2.Value = v; });
  connect(m_frameNr, &QSpinBox::valueChanged, this, &TMainForm::FrameInfoNrSpinEditChange);
  connect(m_frameQuality, &QSpinBox::valueChanged, this, &TMainForm::FrameInfoQualitySpinEditChange);
  connect(m_frameFilter, &QSpinBox::valueChanged, this, [this](int v) {
    m_wb.Quality.Filter.Set(v);
    FrameInfoFilterChange();
  });
  connect(m_frameFilterCheck, &QCheckBox::clicked, this, [this](bool ticked) {
    m_wb.Quality.FilterChecked = ticked;
    FrameInfoFilterChange();
  });
  connect(m_postUMA, &QCheckBox::clicked, this, [this](bool ticked) { m_wb.Enhancement.PostUnsharpMask = ticked; });
  connect(m_postDEC, &QCheckBox::clicked, this, [this](bool ticked) { m_wb.Enhancement.PostDeconvolution = ticked; });
  connect(m_input.Whole, &QCheckBox::toggled, m_input.Pane, &PicturePane::SetStretched);
  connect(m_result.Whole, &QCheckBox::toggled, m_result.Pane, &PicturePane::SetStretched);
  connect(m_input.Pane, &PicturePane::MousePressed, this,
          [this](QPoint p) { InputFrameImageMouse(MouseStep::Down, p); });
  connect(m_input.Pane, &PicturePane::MouseMoved, this, [this](QPoint p) { InputFrameImageMouse(MouseStep::Move, p); });
  connect(m_input.Pane, &PicturePane::MouseReleased, this,
          [this](QPoint p) { InputFrameImageMouse(MouseStep::Up, p); });
  connect(m_input.Pane, &PicturePane::DoubleClicked, this, &TMainForm::InputFrameImageDblClick);
  connect(m_result.Pane, &PicturePane::MousePressed, this, [this] { m_resultDrag = true; });
  connect(m_result.Pane, &PicturePane::MouseMoved, this, &TMainForm::ResultPictureImageMouseMove);
  connect(m_result.Pane, &PicturePane::MouseReleased, this, [this] { m_resultDrag = false; });
  connect(m_localPsf, &PicturePane::DoubleClicked, this, &TMainForm::LocalPSFImageDblClick);
}

void TMainForm::AttachDialog(TDialogForm* dialog) {
  m_dialog = dialog;
  // However the user closes the dialog (its close box, Esc), it reports that,
  // then runs the General listeners, whose ApplyGeneralSettings takes the
  // report and pops the toggle up.
  connect(dialog, &TDialogForm::Closed, this, [this] { m_dialogClosedReport = true; });
  ApplyGeneral();
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!m_shown) {
    m_shown = true;
    FormShow();
  }
}

void TMainForm::FormShow() {
  if (const QScreen* s = screen(); s != nullptr) move(s->availableGeometry().center() - rect().center());
  if (m_services != nullptr) {
    m_services->AttachPanes(m_input.Pane, m_result.Pane);
    m_services->AttachProgress(1, m_input.Progress, m_input.ProgressCaption);
    m_services->AttachProgress(2, m_result.Progress, m_result.ProgressCaption);
    m_services->AttachStatus(m_statusMemory, m_statusMessage);
  }
  m_wb.Fsm.SetStatusTarget(m_stateTarget.get());
  m_wb.Fsm.EventDone();
  setWindowTitle(Q(MainWindowCaption(ProgramVersion())));
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // A long action that pumps messages stops at its next check.
  if (m_wb.Busy()) m_wb.Svc.RaiseAbort();
  // The program ends with the window: an open dialog hides and so writes the
  // settings file, however the window was closed.
  if (m_dialog != nullptr) m_dialog->hide();
  QMainWindow::closeEvent(event);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget != nullptr && widget->window() == this) return HandleKey(static_cast<QKeyEvent*>(event));
  } else if (event->type() == QEvent::ToolTip && !m_appearance.ShowHints) {
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

bool TMainForm::HandleKey(QKeyEvent* event) {
  const bool keypad = event->modifiers().testFlag(Qt::KeypadModifier);
  const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
  const KeyCommand command = MapWindowKey(KeyOf(event), keypad, ctrl);
  if (command.Action == KeyAction::None) return false;
  RunAction([&] { m_wb.KeyCommandAction(command); });
  return true;
}

void TMainForm::ApplyGeneral() {
  m_appearance =
      ApplyGeneralSettings(m_wb.Config.General, m_dialogClosedReport, m_dialog != nullptr && m_dialog->isVisible());
  {
    const QSignalBlocker block(m_settings);
    m_settings->setChecked(m_appearance.SettingsButtonDown);
  }
  const QColor colour = m_appearance.MemoText == MemoColour::Black
                            ? QColor(Qt::black)
                            : palette().color(QPalette::Inactive, QPalette::PlaceholderText);
  for (QPlainTextEdit* memo : {m_loadMemo, m_frameMemo, m_stackMemo, m_combineMemo, m_enhancementMemo, m_pictureMemo}) {
    QPalette p = memo->palette();
    p.setColor(QPalette::Active, QPalette::Text, colour);
    p.setColor(QPalette::Inactive, QPalette::Text, colour);
    memo->setPalette(p);
  }
  m_save->setText(Q(m_appearance.SaveCaption));
}

void TMainForm::WorkflowChanged() {
  Refresh();
  if (ChangeHandlerEffects(m_wb.Fsm.GetState(), m_wb.Fsm.GetLastCompleted()).ResetResultCursor)
    m_result.Pane->unsetCursor();
  if (m_dialog != nullptr) m_dialog->Refresh();
}

void TMainForm::RunAction(const std::function<void()>& action) {
  const QString error = ActionError(action);
  if (m_services != nullptr) m_services->Flush();
  Refresh();
  if (!error.isEmpty()) m_prompts.Error(this, error);
}

// ---------------------------------------------------------------------------
// Refresh

void TMainForm::Refresh() {
  // The step buttons, as the workflow leaves them.
  const WindowButtons& b = m_wb.Buttons;
  m_loadChoose->setEnabled(b.Preview);
  m_loadLoad->setEnabled(b.Load);
  m_stackGo->setEnabled(b.Go);
  m_stackReset->setEnabled(b.Reset);
  m_stackSave->setEnabled(b.SaveStacked);
  m_calculate->setEnabled(b.Calculate);
  m_save->setEnabled(b.Save);

  // Frame quality.
  const FrameQualityPanel& q = m_wb.Quality;
  SetSpin(m_frameNr, q.Nr.Minimum, q.Nr.Maximum, q.Nr.Value);
  SetSpin(m_frameQuality, q.QualityEdit.Minimum, q.QualityEdit.Maximum, q.QualityEdit.Value);
  SetSpin(m_frameFilter, q.Filter.Minimum, q.Filter.Maximum, q.Filter.Value);
  {
    const QSignalBlocker block(m_frameFilterCheck);
    m_frameFilterCheck->setChecked(q.FilterChecked);
  }
  SetMemoLines(m_frameMemo, q.Memo);
  m_input.Caption->setText(Q(q.InputLabel));

  // Combine frames.
  const CombinePanel& c = m_wb.CombinePanelState;
  {
    const QSignalBlocker block(m_combineButtons);
    if (QAbstractButton* chosen = m_combineButtons->button(m_wb.CombineMethod)) chosen->setChecked(true);
  }
  SetMemoLines(m_combineMemo, c.Memo);
  m_combineLabel1->setText(Q(c.Label1));
  m_combineLabel2->setText(Q(c.Label2));
  for (const auto& [spin, s] : {std::pair{m_combineSpin1, &c.Spin1}, std::pair{m_combineSpin2, &c.Spin2}}) {
    SetSpin(spin, s->Minimum, s->Maximum, s->Value, std::max(1, s->Increment));
    spin->setVisible(s->Shown);
    spin->setEnabled(s->Shown);
  }

  // Enhancement.
  {
    const QSignalBlocker a(m_postUMA), d(m_postDEC);
    m_postUMA->setChecked(m_wb.Enhancement.PostUnsharpMask);
    m_postDEC->setChecked(m_wb.Enhancement.PostDeconvolution);
  }

  // The memos and the result's caption.
  SetMemoLines(m_loadMemo, m_wb.LoadFramesMemo);
  SetMemoLines(m_stackMemo, m_wb.StackFramesMemo);
  SetMemoLines(m_pictureMemo, m_wb.Picture.Memo);
  m_result.Caption->setText(m_wb.Picture.ResultLabel.empty() ? QStringLiteral("Result picture")
                                                             : Q(m_wb.Picture.ResultLabel));
}

void TMainForm::ShowLocalPSF(const Bitmap& picture) {
  m_localPsf->SetPicture(picture);
  m_localPsf->update();
}

// ---------------------------------------------------------------------------
// Actions

void TMainForm::PreviewFiles(const QStringList& files) {
  if (m_wb.Busy() || files.isEmpty()) return;
  std::vector<std::string> paths;
  for (const QString& f : files) paths.push_back(PathOf(QFileInfo(f).absoluteFilePath()));
  RunAction([&] { m_wb.PreviewAction(paths); });
}

void TMainForm::LoadFramesChooseBitBtnClick() {
  if (m_wb.Busy()) return;
  FileRequest request = FileRequestFor(
      "Choose which frames to load", m_wb.Config.General.PictureDirectory,
      {"All (*.avi *.jpg *.jpeg *.bmp *.ser *.fits *.fit *.fts *.tif *.tiff *.png)", "JPEG Image File (*.jpg)",
       "JPEG Image File (*.jpeg)", "Bitmaps (*.bmp)", "AVI (*.avi)", SerFilter, FitsFilter, TiffFilter, PngFilter},
      "bmp");
  request.MultipleFiles = true;
  const QStringList files = m_prompts.OpenFiles(this, request);
  if (files.isEmpty()) return;  // cancelled: nothing changes
  PreviewFiles(files);
}

void TMainForm::LoadFramesLoadBitBtnClick() {
  RunAction([&] { m_wb.LoadAction(); });
}

void TMainForm::StackFramesGoBitBtnClick() {
  RunAction([&] { m_wb.StackFramesRun(); });
}

void TMainForm::StackFramesResetBitBtnClick() {
  RunAction([&] { m_wb.StackFramesReset(); });
}

void TMainForm::StackFramesSaveBitBtnClick() {
  RunAction([&] { m_wb.StackFramesSave(); });
}

void TMainForm::PictureCalculateBitBtnClick() {
  RunAction([&] { m_wb.CalculateRun(); });
}

void TMainForm::PictureSaveBitBtnClick() {
  if (m_wb.Busy()) return;
  RunAction([&] {
    m_wb.SavePictureAction([this](const std::string& proposed) -> std::optional<std::string> {
      // The four result formats, the "Save format" chosen at start.
      const QStringList filters{"Bitmaps (*.bmp)", FitsFilter, PngFilter, TiffFilter};
      const std::uint8_t saveFormat = m_wb.Config.EditSave.SaveFormat;
      const int chosen = saveFormat <= 3 ? saveFormat : 0;  // as Save: another value saves a BMP
      const auto format = static_cast<ResultFormat>(chosen);
      FileRequest request = FileRequestFor("Save result picture", m_wb.Config.General.ResultDirectory, filters,
                                           QString::fromLatin1(ResultFormatExtension(format)).mid(1));
      request.SelectedFilter = filters[chosen];
      request.ProposedName = PathText(proposed);
      const QString file = m_prompts.SaveFile(this, request);
      if (file.isEmpty()) return std::nullopt;
      return PathOf(file);
    });
  });
}

void TMainForm::SettingsSpeedButtonClick(bool down) {
  if (m_dialog == nullptr) {
    const QSignalBlocker block(m_settings);
    m_settings->setChecked(false);
    return;
  }
  if (down) {
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
  } else {
    m_dialog->hide();
  }
}

void TMainForm::CombineFramesMethodRadioGroupClick(int method) {
  RunAction([&] { m_wb.ChooseCombineMethod(method); });
}

void TMainForm::FrameInfoNrSpinEditChange(int value) {
  RunAction([&] {
    m_wb.Quality.Nr.Set(value);
    m_wb.Quality.FrameInfoNrSpinEditChange(m_wb.Frames, m_wb.FramesLoaded, m_wb.Svc);
  });
}

void TMainForm::FrameInfoQualitySpinEditChange(int value) {
  RunAction([&] {
    m_wb.Quality.QualityEdit.Set(value);
    m_wb.Quality.FrameInfoQualitySpinEditChange(m_wb.Frames);
  });
}

void TMainForm::FrameInfoFilterChange() {
  RunAction([&] { m_wb.Quality.FrameInfoFilterChange(m_wb.Frames); });
}

void TMainForm::InputFrameImageMouse(MouseStep step, QPoint p) {
  // Not while a load or a stacking run shows its frames in the pane: the mark
  // that run uses stays as it was when it started.
  if (m_wb.Busy() || m_services == nullptr) return;
  const Bitmap& shown = m_input.Pane->Picture();
  const bool whole = m_input.Whole->isChecked();
  const int w = shown.Width(), h = shown.Height();
  switch (step) {
    case MouseStep::Down:
      m_services->InvertInInputPane(
          m_wb.Mark.MouseDown(p.x(), p.y(), whole, w, h, AreaSizeOf(m_wb.Config.StackFrames.AreaSize)));
      break;
    case MouseStep::Move: m_services->InvertInInputPane(m_wb.Mark.MouseMove(p.x(), p.y(), whole, w, h)); break;
    case MouseStep::Up: m_services->InvertInInputPane(m_wb.Mark.MouseUp(p.x(), p.y(), whole, w, h)); break;
  }
}

void TMainForm::InputFrameImageDblClick() {
  if (m_wb.Busy()) return;
  RunAction([&] {
    // The table is inverting from here on, whether or not the file is written.
    FillInvertingLut(m_wb.Render);
    const QString file = m_prompts.SaveFile(
        this,
        FileRequestFor("Save a look up table", m_wb.Config.General.PSFDirectory, {"Look up tables (*.lut)"}, "lut"));
    if (!file.isEmpty()) WriteLutFile(*m_wb.Render.LutTable, PathOf(file));
  });
}

void TMainForm::ResultPictureImageMouseMove(QPoint p) {
  if (!m_resultDrag || m_wb.Busy()) return;
  const QString error = ActionError([&] {
    const Bitmap picture = PickLocalPSF(m_wb.LocalPSF, m_result.Pane->Picture(), p.x(), p.y(),
                                        m_result.Whole->isChecked(), m_result.Pane->width(), m_result.Pane->height());
    if (!picture.Empty()) ShowLocalPSF(picture);
  });
  if (!error.isEmpty()) {
    m_resultDrag = false;
    m_prompts.Error(this, error);
  }
}

void TMainForm::LocalPSFImageDblClick() {
  if (m_wb.Busy() || !m_localPsf->HasPicture()) return;
  RunAction([&] {
    const QString file = m_prompts.SaveFile(
        this, FileRequestFor("Save a local PSF as bitmap", m_wb.Config.General.PSFDirectory, {"PSF (*.bmp)"}, "bmp"));
    if (!file.isEmpty()) SaveLocalPSF(m_wb.LocalPSF, PathOf(file));
  });
}

}  // namespace corvane::gui

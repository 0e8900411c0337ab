#pragma once
// The program's one instance of each unit's state, and the main window's
// actions as toolkit-free functions: the desktop program binds its buttons to
// them, the batch tool calls them in the order of a run.
#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "acquire/frame_quality.h"
#include "acquire/loader.h"
#include "app/fsm.h"
#include "app/window_rules.h"
#include "core/frame_list.h"
#include "core/services.h"
#include "enhance/local_psf.h"
#include "output/picture_memo.h"
#include "output/render.h"
#include "settings/settings.h"
#include "stack/align.h"
#include "stack/combine.h"
#include "stack/manual_mark.h"

namespace corvane {

/// The settings dialog's tabs, for the automatic tab step.
enum class SettingsTab { General, PreviewFrames, StackFrames, Enhancement, EditSave };

/// A memo of seven lines, with its design text at start.
using Memo7 = std::array<std::string, 7>;
Memo7 DesignMemo();

/// Load memo lines (Preview frames settings), rebuilt on every change of them.
void BuildLoadMemo(Memo7& memo, const TLoadFramesSettings& s);
/// Stack memo lines (Stack frames settings); values outside the lists leave a line.
void BuildStackMemo(Memo7& memo, const TStackFramesSettings& s);

/// The main window's button states, as the workflow handler leaves them.
struct WindowButtons {
  bool Preview = true;
  bool Load = false;
  bool Go = false;
  bool Reset = false;
  bool SaveStacked = false;
  bool Calculate = false;
  bool Save = false;
  bool PreviewTabEnabled = false;
};

/// How the last Go! ended.
struct StackOutcome {
  int Aligned = 0;       ///< frames aligned, from the first on
  int Frames = 0;        ///< frames in the list
  bool Stopped = false;  ///< a stop request ended the run before the last frame
};

/// The enhancement panel's two "post" check boxes.
struct EnhancementChoice {
  bool PostUnsharpMask = false;    ///< EnhancementPostUMACheckBox ("Unsharp Mask:")
  bool PostDeconvolution = false;  ///< EnhancementPostDECCheckBox ("Deconvolution")
};

class Workbench {
 public:
  /// Start-up in the program's order: settings, frame list and budget, the
  /// workflow machine, the listeners (the loader's first, then the window's).
  explicit Workbench(Services& services);
  Workbench(const Workbench&) = delete;
  Workbench& operator=(const Workbench&) = delete;

  Services& Svc;
  Settings Config;
  FrameList Frames;
  TResultPicture Result;
  Tfsm Fsm;
  AlignmentMemory Alignment;
  FrameLoader Loader;
  FrameQualityPanel Quality;
  ManualMark Mark;
  RenderState Render;
  TConvKernel LocalPSF;
  PictureInfo Picture;
  EnhancementChoice Enhancement;

  // Combine panel: the chosen method and its two spin edits.
  int CombineMethod = CombineMean;
  CombinePanel CombinePanelState;
  /// CombineFramesMethodRadioGroupClick: applies the method's panel row again.
  void ChooseCombineMethod(int method);

  // Window state.
  bool FramesLoaded = false;
  std::string ChosenFileName;
  std::string ChosenFileExt;
  bool PictureCalculated = false;
  WindowButtons Buttons;
  Memo7 LoadFramesMemo = DesignMemo();
  Memo7 StackFramesMemo = DesignMemo();
  /// Called when the settings dialog should bring a tab forward ("Auto select Settings").
  std::function<void(SettingsTab)> OnSelectTab;
  /// Called after the workflow handler has set Buttons (after every event of
  /// the workflow machine) and after Reset changed them: the window applies
  /// Buttons from here.
  std::function<void()> OnStateChanged;
  /// The clock of the naming rules (tests set a fixed one).
  std::function<std::tm()> Now;

  /// Preview: the front-end's open dialog chose `files` (a cancel does not
  /// call this). True when the loader read and showed the first file.
  bool PreviewAction(const std::vector<std::string>& files);
  /// Load: reads every picked frame into the frame list.
  void LoadAction();
  /// Go!: aligns every frame to the basis. Refused, with a status-line
  /// message and nothing changed, when there is no frame or the basis
  /// "Result" has not been calculated for the loading channel yet. With
  /// "Automatically set quality" and the sharpness rating, each aligned
  /// frame's Quality becomes 1000 x its sharpness / the sharpest's; with
  /// "Keep the best N %" the best of the aligned frames get Quality 1000 and
  /// the rest 0 (KeepBestFrames), ranked by sharpness or else by Quality, and a
  /// quality filter that lets every frame pass is set to 1000. A stop request
  /// ends the run after the current frame; the later frames keep their fields,
  /// and the status line says where the run stopped. LastStack tells how it
  /// ended.
  bool StackFramesRun();
  StackOutcome LastStack;
  /// Reset: every frame's shift back to (0, 0).
  void StackFramesReset();
  /// Save stacked frames: each frame moved by its shift, as
  /// ResultDirectory + "STACK_" + the save name. Answers the files written.
  std::vector<std::string> StackFramesSave();
  /// Calculate: combine, sharpen, store as the result plane of the loading
  /// channel, render.
  void CalculateRun();
  /// Renders the result picture with the picture memo and the result label.
  void RenderPicture();
  /// Save (without "Save As"): writes the rendered picture under the naming
  /// rules into the result folder; answers the file written ("" when none).
  std::string SaveAction();
  /// Answers the file the user chose for `proposedName` (a name without
  /// folder and extension, to be offered in the result folder), or nothing
  /// when the user cancelled.
  using SaveChooser = std::function<std::optional<std::string>(const std::string& proposedName)>;
  /// Save with "Save As": proposes the save name (the autonumber advances even
  /// when the user then cancels) and writes the rendered picture to the chosen
  /// file; a chosen name with an extension other than ".bmp" writes nothing.
  /// The caption then names the picture as after Save. Answers the file
  /// written ("" when none). Refused while an action runs.
  std::string SaveAsAction(const SaveChooser& choose);
  /// The save button: SaveAsAction with "Save As" on, else SaveAction.
  std::string SavePictureAction(const SaveChooser& choose);

  /// A key of the main window (MapWindowKey): the stop request, the frame
  /// browser's step or the quality of the shown frame. Answers false for
  /// KeyAction::None, which the window passes on to its controls.
  bool KeyCommandAction(const KeyCommand& command);

  /// Whether an action (load, stack, calculate) is running. The long actions
  /// let the front-end take input between frames; an action started then is
  /// refused (it does nothing and answers false or nothing), so no action
  /// runs inside another and frees what that one works on.
  bool Busy() const noexcept { return m_busy; }

  /// Whether the result plane of a loading channel holds a calculation.
  bool Calculated(int channel) const noexcept { return m_calculated.at(static_cast<std::size_t>(channel & 3)); }

 private:
  void ApplyStateChange();
  /// After a Go over the first `reached` frames: qualities from the
  /// sharpness ratings (relative to the sharpest), then "keep the best".
  void RateStackedFrames(int reached);
  void SelectTab(SettingsTab tab);
  Bitmap RenderedPicture();
  void EnhanceStep(TImageListItem& m, int method, std::int32_t parameter, bool local, const Bitmap& picture);

  std::array<bool, 4> m_calculated{};
  bool m_busy = false;
};

}  // namespace corvane

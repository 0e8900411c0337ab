#include "app/workbench.h"

#include <algorithm>
#include <filesystem>

#include "acquire/frame_rating.h"
#include "core/errors.h"
#include "core/image_ops.h"
#include "enhance/sharpen.h"
#include "output/bitmap_ops.h"
#include "output/save_names.h"
#include "output/saving.h"
#include "stack/coarse_align.h"

namespace corvane {

Memo7 DesignMemo() { return {"  ", " ", "  ", "               Info", " ", "  ", ""}; }

void BuildLoadMemo(Memo7& memo, const TLoadFramesSettings& s) {
  switch (s.SourceType) {
    case 0: memo[0] = " -- AVI --"; break;
    case 1: memo[0] = " -- BMP --"; break;
    case 2: memo[0] = " -- JPG --"; break;
    case 3: memo[0] = " -- FITS --"; break;
    case 4: memo[0] = " -- SER --"; break;
    case 5: memo[0] = " -- TIFF --"; break;
    case 6: memo[0] = " -- PNG --"; break;
    default: break;
  }
  static const char* const channels[] = {"Channel:     L", "Channel:     R", "Channel:     G", "Channel:     B"};
  if (s.Channel < 4) memo[1] = channels[s.Channel];
  memo[2] = s.AVICorrection ? "AVI Correction   " : "No AVI Correction";
  if (s.DarkFrame)
    memo[3] = s.FlatField ? "DarkFrame+FlatField" : "DarkFrame";
  else
    memo[3] = s.FlatField ? "FlatField" : "         ";
  memo[4] = "Resize       " + std::to_string(s.Resize) + "x";
  memo[5] = s.LoadWhat == 1 ? "Single object" : "Whole image   ";
  memo[6] = "Output size: " + std::to_string(s.OutputWidth) + "x" + std::to_string(s.OutputHeight);
}

void BuildStackMemo(Memo7& memo, const TStackFramesSettings& s) {
  memo[0] = s.Automatic ? "Auto Stack" : "Manual Stack";
  memo[1] = (s.StackUsing & UsingMove) ? "Shift: YES" : "Shift: NO";
  memo[2] = (s.StackUsing & UsingRotate) ? "Rotate: YES" : "Rotate: NO";
  memo[3] = (s.StackUsing & UsingResize) ? "Resize: YES" : "Resize: NO";
  static const char* const basis[] = {"Result Picture", "1st Frame", "Users choice"};
  if (s.Basis < 3) memo[4] = basis[s.Basis];
  static const char* const areas[] = {" 96 x  72", "192 x 144", "384 x 288"};
  if (s.AreaSize < 3) memo[5] = areas[s.AreaSize];
  static const char* const zooms[] = {"1 x ", "2 x ", "4 x "};
  if (s.Zoom < 3) memo[6] = zooms[s.Zoom];
}

namespace {

// Marks the workbench busy for the life of an action.
class BusyScope {
 public:
  explicit BusyScope(bool& busy) : m_busy(busy) { m_busy = true; }
  ~BusyScope() { m_busy = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& m_busy;
};

std::tm LocalNow() {
  const std::time_t t = std::time(nullptr);
  std::tm out{};
  localtime_r(&t, &out);
  return out;
}

}  // namespace

Workbench::Workbench(Services& services)
    : Svc(services), Loader(Config, Frames, services), LocalPSF(StartupLocalPSF()), Now(&LocalNow) {
  Config.AttachServices(services);
  Config.AttachFrameList(&Frames);
  // The loader registers its listener at start-up, before the window's own.
  Config.RegisterLoadFramesListener([this] { Loader.LoadFramesChanged(); });
  Config.RegisterLoadFramesListener([this] {
    Quality.Nr.Maximum = Frames.FrameCount();
    Quality.Nr.Value = Frames.CurrentFrame + 1;
    BuildLoadMemo(LoadFramesMemo, Config.LoadFrames);
  });
  Config.RegisterStackFramesListener([this] { BuildStackMemo(StackFramesMemo, Config.StackFrames); });
  Config.RegisterEditSaveListener([this] { RenderPicture(); });
  Fsm.SetOnChange([this] { ApplyStateChange(); });
  CombinePanelState = CombinePanelFor(CombineMean, 0);
}

void Workbench::ApplyStateChange() {
  const WindowEnables e = ChangeHandlerEffects(Fsm.GetState(), Fsm.GetLastCompleted());
  Buttons.PreviewTabEnabled = e.PreviewTabEnabled;
  auto apply = [](bool& target, const std::optional<bool>& v) {
    if (v) target = *v;
  };
  apply(Buttons.Load, e.Load);
  apply(Buttons.Go, e.Go);
  apply(Buttons.Reset, e.Reset);
  apply(Buttons.SaveStacked, e.SaveStacked);
  apply(Buttons.Calculate, e.Calculate);
  apply(Buttons.Save, e.Save);
  apply(PictureCalculated, e.PictureCalculated);
  if (e.ClearManualMark) Mark.Clear();
  if (OnStateChanged) OnStateChanged();
}

void Workbench::SelectTab(SettingsTab tab) {
  if (Config.General.AutoSelectTabSheet && OnSelectTab) OnSelectTab(tab);
}

void Workbench::ChooseCombineMethod(int method) {
  CombineMethod = std::clamp(method, 0, 3);
  CombinePanel next = CombinePanelFor(CombineMethod, Frames.FrameCount());
  if (next.KeepValues) {
    // Mean and Median hide the spin edits; they keep whatever value they had.
    const CombinePanel old = CombinePanelState;
    next.Spin1 = {false, old.Spin1.Minimum, old.Spin1.Maximum, old.Spin1.Value, old.Spin1.Increment};
    next.Spin2 = {false, old.Spin2.Minimum, old.Spin2.Maximum, old.Spin2.Value, old.Spin2.Increment};
  }
  CombinePanelState = next;
}

bool Workbench::PreviewAction(const std::vector<std::string>& files) {
  if (m_busy) return false;
  if (!files.empty()) {
    const std::string& first = files.front();
    Config.General.PictureDirectory = DirectoryOfChosenFile(first);
    ChosenFileName = FileNamePart(first);
    ChosenFileExt = UpperExtension(first);
  }
  const bool ok = Loader.Preview(files);
  FramesLoaded = false;
  if (!ok) return false;
  Fsm.EventPreview();
  SelectTab(SettingsTab::PreviewFrames);
  if (PictureCalculated && Config.General.AutoChannelIncrement) {
    PictureCalculated = false;
    Config.IncrementLoadFramesChannel();
  }
  return true;
}

void Workbench::LoadAction() {
  if (m_busy) return;
  const BusyScope busy(m_busy);
  Fsm.EventDone();
  Fsm.EventLoad();
  Quality.ShowSharpness = false;  // the frames loaded are not rated yet
  Loader.Load();
  if (!Frames.Empty()) FramesLoaded = true;
  Quality.Nr.Maximum = Frames.FrameCount();
  Quality.Nr.Value = Frames.CurrentFrame + 1;
  Quality.FrameInfoNrSpinEditChange(Frames, FramesLoaded, Svc);
  Quality.InputLabel = FrameQualityPanel::InputFrameLabel(Quality.Nr.Value, Quality.Nr.Maximum);
  SelectTab(SettingsTab::StackFrames);
  Fsm.EventDone();
}

bool Workbench::StackFramesRun() {
  if (m_busy) return false;
  const TStackFramesSettings& s = Config.StackFrames;
  const int channel = Config.LoadFrames.Channel & 3;
  if (Frames.Empty()) {
    Svc.ShowStatus("Nothing to stack: no frames are loaded");
    return false;
  }
  if (s.Basis == 0 && !Calculated(channel)) {
    Svc.ShowStatus("No result picture to stack on yet: press Calculate first, or choose another basis");
    return false;
  }
  const BusyScope busy(m_busy);
  Fsm.EventStack();
  const TImage16* basisPlane = nullptr;
  switch (s.Basis) {
    case 0: basisPlane = &Result.PlaneOfChannel(channel); break;
    case 2: basisPlane = &Frames[std::clamp(Quality.Nr.Value - 1, 0, Frames.Count() - 1)].Image; break;
    default: basisPlane = &Frames[0].Image; break;
  }
  const AlignBasis basis(*basisPlane);
  const TPoint32 area = AreaSizeOf(s.AreaSize);
  LastStack = StackOutcome{0, Frames.Count(), false};
  // The whole-frame estimate needs the basis's spectrum, made once for the run.
  std::unique_ptr<CoarseAligner> coarse;
  if (s.CoarseAlign && !(s.StackUsing & UsingLast)) coarse = std::make_unique<CoarseAligner>(basis.Plane);
  Svc.ProgressStart(1, 0, Frames.Count() - 1, "FrameNr");
  int reached = 0;
  for (int i = 0; i < Frames.Count(); ++i) {
    Svc.ProgressStep(1, i);
    TImageListItem& frame = Frames[i];
    std::int32_t fx, fy, bx, by;
    if (Mark.ManualMarkSet) {
      fx = bx = Mark.MarkX;
      fy = by = Mark.MarkY;
    } else {
      fx = HalfSpan(frame.Image.Width, area.x);
      fy = HalfSpan(frame.Image.Height, area.y);
      bx = HalfSpan(basis.Plane.Width, area.x);
      by = HalfSpan(basis.Plane.Height, area.y);
    }
    // The settings are read for every frame: the dialog may change them while Go runs.
    AlignOptions options;
    options.StackUsing = s.StackUsing;
    options.LoadResize = Config.LoadFrames.Resize;
    options.SetQuality = s.SetQuality;
    options.Show = s.ShowProcess;
    options.Rating = s.Rating == FrameRating::Sharpness ? RatingMeasure::Sharpness : RatingMeasure::QualityIndex;
    options.NormaliseBrightness = s.NormaliseBrightness;
    options.SubPixel = s.SubPixel;
    options.Coarse = coarse.get();
    AlignFrame(frame, fx, fy, i, area.x, area.y, bx, by, basis, options, Alignment, Svc);
    reached = i + 1;
    Svc.ProcessPending();
    // Esc can only have come in while pending input was taken.
    const bool stop = Svc.TakeAbort();
    const bool lastShown = stop || i == Frames.Count() - 1;
    if (s.ShowProcess && Svc.HasInputPane() && (lastShown || Svc.LiveViewDue())) {
      Bitmap overlay(std::max(basis.Plane.Width, frame.Image.Width), std::max(basis.Plane.Height, frame.Image.Height));
      Image16ToBitmap(overlay, basis.Plane, 0, 0, basis.Plane.Width, basis.Plane.Height, ChannelR);
      Image16ToBitmap(overlay, basis.Plane, 0, 0, basis.Plane.Width, basis.Plane.Height, ChannelG);
      Image16ToBitmap(overlay, frame.Image, 0, 0, frame.Image.Width, frame.Image.Height, ChannelB);
      Svc.ShowInInputPane(overlay);
    }
    Svc.ShowMemoryUsed();
    LastStack.Aligned = i + 1;
    if (stop) {
      LastStack.Stopped = i + 1 < Frames.Count();
      break;
    }
  }
  RateStackedFrames(reached);
  Quality.FrameInfoNrSpinEditChange(Frames, FramesLoaded, Svc);
  if (LastStack.Stopped)
    Svc.ShowStatus("Stacking stopped at frame " + std::to_string(LastStack.Aligned) + " of " +
                   std::to_string(LastStack.Frames) + ": frames " + std::to_string(LastStack.Aligned + 1) + " to " +
                   std::to_string(LastStack.Frames) + " keep their earlier shifts");
  SelectTab(SettingsTab::Enhancement);
  Fsm.EventDone();
  return true;
}

void Workbench::RateStackedFrames(int reached) {
  const TStackFramesSettings& s = Config.StackFrames;
  const bool sharpness = s.SetQuality && s.Rating == FrameRating::Sharpness;
  Quality.ShowSharpness = sharpness;
  if (sharpness) {
    // Qualities relative to the sharpest frame of the run.
    double best = 0.0;
    for (int i = 0; i < reached; ++i) best = std::max(best, Frames[i].Sharpness);
    for (int i = 0; i < reached; ++i) Frames[i].Quality = SharpnessQuality(Frames[i].Sharpness, best);
  }
  if (s.KeepBest > 0 && reached > 0) {
    std::vector<int> positions;
    std::vector<double> keys;
    for (int i = 0; i < reached; ++i) {
      positions.push_back(i);
      keys.push_back(sharpness ? Frames[i].Sharpness : static_cast<double>(Frames[i].Quality));
    }
    KeepBestFrames(Frames, positions, keys, s.KeepBest);
    // The filter lets the kept frames pass at any threshold from 1 up; a
    // filter that lets every frame pass is set to 1000.
    if (Quality.Threshold <= 0) {
      Quality.FilterChecked = true;
      if (Quality.Filter.Value <= 0) Quality.Filter.Set(1000);
      Quality.FrameInfoFilterChange(Frames);
    }
    Quality.ShowPassCount(Frames);
  }
}

void Workbench::StackFramesReset() {
  if (m_busy) return;
  Svc.ProgressStart(1, 0, Frames.Count() - 1, "FrameNr");
  for (int i = 0; i < Frames.Count(); ++i) {
    Svc.ProgressStep(1, i);
    Frames[i].Shift = {0, 0};
    Frames[i].SubShift = {};
  }
  Buttons.SaveStacked = false;
  if (OnStateChanged) OnStateChanged();
}

std::vector<std::string> Workbench::StackFramesSave() {
  std::vector<std::string> written;
  if (m_busy || Frames.Empty()) return written;
  const std::string folder = PrepareResultFolder(Config);
  const std::tm now = Now();
  for (int i = 0; i < Frames.Count(); ++i) {
    const TImageListItem& frame = Frames[i];
    const std::int32_t w = frame.Image.Width, h = frame.Image.Height;
    Bitmap bitmap(w, h);
    frame.ToBitmap(bitmap);
    auto scratch = TImageListItem::CreateFromBitmap(bitmap, "scratch", -1, Config.LoadFrames.Channel);
    Image16Copy(scratch->Image, 0, 0, frame.Image, frame.Shift.x, frame.Shift.y, w, h);
    Image16ToBitmap(bitmap, scratch->Image, 0, 0, w, h, ChannelL);
    written.push_back(SaveUnderSaveName(Config, folder, "STACK_", FileNamePart(frame.FileName), now, bitmap));
  }
  return written;
}

void Workbench::EnhanceStep(TImageListItem& m, int method, std::int32_t parameter, bool local, const Bitmap& picture) {
  // The starting estimate O is M quantised to 8 bits, as drawn into a grey picture.
  Bitmap grey(m.Image.Width, m.Image.Height);
  m.ToBitmap(grey);
  auto o = TImageListItem::CreateFromBitmap(grey, "scratch", -1, Config.LoadFrames.Channel);
  TConvKernel kernel = LocalPSF;
  if (!local) {
    // A PSF picture that is missing, empty or cannot be read as a kernel falls back to the local PSF.
    Bitmap psf = picture;
    TConvKernel fromPicture;
    if (!psf.Empty() && BitmapToKernel(fromPicture, psf, 0, 0) && fromPicture[0] != 0) kernel = fromPicture;
  }
  switch (method) {
    case 1: UnsharpMask(*o, m, m.Image.Width, m.Image.Height, kernel, parameter); break;
    case 2: VanCittert(*o, m, m.Image.Width, m.Image.Height, kernel, parameter, Svc); break;
    case 3: LucyRichardson(*o, m, m.Image.Width, m.Image.Height, kernel, parameter, Svc); break;
    default: break;
  }
  Image16Copy(m.Image, 0, 0, o->Image, 0, 0, m.Image.Width, m.Image.Height);
}

void Workbench::CalculateRun() {
  if (m_busy) return;
  const BusyScope busy(m_busy);
  Fsm.EventCalculate();
  const TLoadFramesSettings& load = Config.LoadFrames;
  TImageListItem m(load.OutputWidth, load.OutputHeight);
  CombineOptions combine;
  combine.Method = CombineMethod;
  combine.P1 = CombinePanelState.Spin1.Value;
  combine.P2 = CombinePanelState.Spin2.Value;
  combine.Threshold = Quality.Threshold;
  combine.CurrentFrame = Frames.CurrentFrame;
  if (Config.StackFrames.SubPixel)
    combine.Placement =
        Config.StackFrames.Interpolation == FrameInterpolation::Bilinear ? Resampling::Bilinear : Resampling::Bicubic;
  CombineFrames(Frames, m, combine);
  const TEnhanceSettings& e = Config.Enhance;
  if (Enhancement.PostUnsharpMask) EnhanceStep(m, 1, e.UMAPost, e.UMAPostLocalPSF, e.UMAPostPSF);
  if (Enhancement.PostDeconvolution)
    EnhanceStep(m, e.DECMethod == 0 ? 2 : 3, e.DECPost, e.DECPostLocalPSF, e.DECPostPSF);
  const int channel = load.Channel & 3;
  TImage16& plane = Result.PlaneOfChannel(channel);
  Image16Free(plane);
  Image16Create(plane, load.OutputWidth, load.OutputHeight);
  Image16Copy(plane, 0, 0, m.Image, 0, 0, m.Image.Width, m.Image.Height);
  m_calculated[static_cast<std::size_t>(channel)] = true;
  if (!m_calculated[0]) {
    // The picture takes its size from the L plane. Until an L plane has been
    // calculated it is black at the size of the planes calculated, so a colour
    // run shows and saves the frames' size, not the start-up 192 x 144.
    Image16Free(Result.Mono);
    Image16Create(Result.Mono, load.OutputWidth, load.OutputHeight);
  }
  RenderPicture();
  SelectTab(SettingsTab::EditSave);
  Fsm.EventDone();
}

void Workbench::RenderPicture() {
  BuildPictureInfo(Picture, Result, Config, Frames, Now());
  RenderResultPicture(Result, Config, Render, Fsm.GetState(), Svc);
}

Bitmap Workbench::RenderedPicture() {
  // The picture as last shown; without a result pane, rendered now.
  const Bitmap* shown = Svc.ResultPaneBitmap();
  return shown != nullptr ? *shown : RenderResultPicture(Result, Config, Render, 0, Svc);
}

std::string Workbench::SaveAction() {
  if (m_busy) return {};
  const std::tm now = Now();
  std::string path;
  const auto format = static_cast<ResultFormat>(Config.EditSave.SaveFormat);
  if (format == ResultFormat::Fits || format == ResultFormat::Png || format == ResultFormat::Tiff) {
    path = SaveResultPicture16(Config, Frames, Result, Render, format, now);
  } else {
    Bitmap rendered = RenderedPicture();
    path = SaveResultPicture(Config, Frames, rendered, now);
  }
  Picture.ResultLabel = ResultLabelAfterSave(Config, Frames, now);
  return path;
}

std::string Workbench::SaveAsAction(const SaveChooser& choose) {
  if (m_busy) return {};
  Bitmap rendered = RenderedPicture();
  const std::tm now = Now();
  const std::string proposed = ProposedSaveName(Config, Frames, now);
  const std::optional<std::string> chosen = choose ? choose(proposed) : std::nullopt;
  std::string written;
  if (chosen && !chosen->empty()) written = SaveResultPictureAs(rendered, Result, Config, Render, *chosen);
  Picture.ResultLabel = ResultLabelAfterSave(Config, Frames, now);
  return written;
}

std::string Workbench::SavePictureAction(const SaveChooser& choose) {
  return Config.General.SaveAsButton ? SaveAsAction(choose) : SaveAction();
}

bool Workbench::KeyCommandAction(const KeyCommand& command) {
  switch (command.Action) {
    case KeyAction::None: return false;
    case KeyAction::Abort: Svc.RaiseAbort(); break;
    case KeyAction::NextFrame: Quality.StepFrame(+1, Frames, FramesLoaded, Svc); break;
    case KeyAction::PreviousFrame: Quality.StepFrame(-1, Frames, FramesLoaded, Svc); break;
    case KeyAction::QualityUp: Quality.StepQuality(+1, Frames); break;
    case KeyAction::QualityDown: Quality.StepQuality(-1, Frames); break;
    case KeyAction::QualityPreset: Quality.PresetQuality(command.Preset, Frames); break;
  }
  return true;
}

}  // namespace corvane

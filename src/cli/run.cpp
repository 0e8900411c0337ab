#include "cli/run.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <new>
#include <optional>

#include "app/workbench.h"
#include "cli/outputs.h"
#include "cli/report.h"
#include "cli/terminal_services.h"
#include "core/errors.h"
#include "core/file_io.h"
#include "enhance/psf_picture.h"
#include "io/fits.h"
#include "io/picture_files.h"
#include "output/render.h"
#include "output/saving.h"

namespace corvane::cli {

namespace {

/// A file named on the command line that is not there or cannot be read, or
/// input that gave no frame at all (exit status 2).
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

/// Throws InputError unless `path` names a readable regular file (checked
/// without opening it, so a pipe or device is refused before it can block).
void CheckReadable(const std::string& path, const std::string& what) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) throw InputError("cannot read " + what + Quoted(path) + ": no such file");
  if (fs::is_directory(status)) throw InputError("cannot read " + what + Quoted(path) + ": it is a folder");
  if (!fs::is_regular_file(status))
    throw InputError("cannot read " + what + Quoted(path) + ": not a regular file (a pipe, device or socket)");
  if (::access(path.c_str(), R_OK) != 0) throw InputError("cannot read " + what + Quoted(path) + ": permission denied");
}

std::string ParentFolder(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::string FrameText(const TImageListItem& f) {
  std::string text = std::filesystem::path(f.FileName).filename().string();
  if (f.Number >= 0) text.append(1, ':').append(std::to_string(f.Number));
  return text;
}

class BatchRun {
 public:
  BatchRun(const CliOptions& options, TerminalServices& services)
      : m_o(options), m_services(services), m_wb(services) {}

  void Run();
  /// The file being read while the preview or the load runs, else "".
  std::string FileInWork() const { return m_reading ? m_wb.Loader.CurrentFile() : std::string(); }

 private:
  void CheckInputs();
  void ApplySettings();
  void ApplyAfterPreview();
  void ApplyAfterLoad(bool firstRun);
  void RunChannel(std::size_t index);
  void WriteOutputs();
  void Calculate(RunRecord& record);

  const CliOptions& m_o;
  TerminalServices& m_services;
  Workbench m_wb;
  std::vector<std::string> m_inputFiles;  // pictures and videos, as given
  std::vector<std::string> m_files;       // those the previews and loads go through
  Report m_report;
  std::vector<std::pair<int, std::string>> m_rawPlanes;  // channel, file
  std::optional<int> m_firstRunFrames;                   // frames of the first run after a Ctrl-C
  // The first letter's ratings by list position, which later letters take
  // when the frames are rated by sharpness or kept by rating: every colour
  // combines the same frames.
  std::vector<std::pair<std::int32_t, double>> m_firstRatings;
  std::int32_t m_firstFilter = 0;  // the quality filter after the first letter's Go!
  bool m_reading = false;          // the preview or the load runs
};

void BatchRun::CheckInputs() {
  for (const std::string& file : m_o.Files) {
    if (SourceKindOf(file) < 0) {
      m_services.Warning(
          "skipping " + Quoted(file) +
          ": not a picture or video (.bmp, .jpg, .jpeg, .fits, .fit, .fts, .tif, .tiff, .png, .avi, .ser)");
      continue;
    }
    CheckReadable(file, "");
    m_files.push_back(file);
  }
  if (m_files.empty()) throw UsageError("no input file: every file given was skipped");
  m_inputFiles = m_files;
  if (!m_o.Dark.empty()) CheckReadable(m_o.Dark, "the dark frame ");
  if (!m_o.Flat.empty()) CheckReadable(m_o.Flat, "the flat field ");
  if (!m_o.UnsharpPsf.empty()) CheckReadable(m_o.UnsharpPsf, "the PSF ");
  if (!m_o.DeconvolvePsf.empty()) CheckReadable(m_o.DeconvolvePsf, "the PSF ");
  if (!m_o.Lut.empty()) CheckReadable(m_o.Lut, "the LUT ");

  // The folders of the outputs are made and checked before the work starts,
  // so a run does not end in an output error after all of it is done.
  EnsureFolder(m_o.ResultDir);
  if (m_o.Output.empty()) EnsureWritableFolder(m_o.ResultDir);
  if (!m_o.ExportFrames.empty()) EnsureWritableFolder(m_o.ExportFrames);
  if (!m_o.SaveStacked.empty()) EnsureWritableFolder(m_o.SaveStacked);
  for (const std::string* file : {&m_o.Output, &m_o.RawOutput, &m_o.Report})
    if (!file->empty()) EnsureWritableFolder(ParentFolder(*file));
}

/// Reads a PSF picture as the PSF button does, for use instead of the local PSF.
void LoadPsf(Settings& config, PsfButton button, bool TEnhanceSettings::*local, const std::string& path,
             TerminalServices& services) {
  config.Enhance.*local = false;
  const PsfPictureLoad load = LoadPsfPicture(config, button, path);
  if (!load.Message.empty())
    services.Warning(load.Message + ": " + Quoted(path) + "; its top-left 17 x 15 pixels are used");
}

void BatchRun::ApplySettings() {
  Settings& c = m_wb.Config;
  const CliOptions& o = m_o;

  // General: the result folder of the default name (the current folder unless given).
  c.SetGeneral(&TGeneralSettings::ResultDirectory, FolderPrefix(o.ResultDir));
  c.SetGeneral(&TGeneralSettings::ShowRGBcolor, o.RgbColor);

  // Preview frames.
  c.SetLoadFramesChannel(o.Channels.front());
  c.SetAVISkipFrames(o.AviSkip);
  c.SetLoadFrames(&TLoadFramesSettings::AVISemiFrames, o.SemiFrames);
  c.SetLoadFrames(&TLoadFramesSettings::AVICorrection, o.AviCorrection);
  c.SetLoadFrames(&TLoadFramesSettings::LoadWhat, static_cast<std::uint8_t>(o.SingleObject ? 1 : 0));
  c.SetBackgroundPercent(o.BackgroundPercent);
  c.SetResize(o.Resize);
  c.SetSizeMode(o.SizeMode);
  if (o.SizeMode == 2) {
    if (o.Width) c.SetOutputWidth(*o.Width, ValueOrigin::Typed);
    if (o.Height) c.SetOutputHeight(*o.Height, ValueOrigin::Typed);
  }
  if (!o.Dark.empty()) {
    c.SetLoadFrames(&TLoadFramesSettings::DarkFrameFile, o.Dark);
    c.SetLoadFrames(&TLoadFramesSettings::DarkFrame, true);
  }
  if (!o.Flat.empty()) {
    c.SetLoadFrames(&TLoadFramesSettings::FlatFieldFile, o.Flat);
    c.SetLoadFrames(&TLoadFramesSettings::FlatField, true);
  }
  c.SetLoadFrames(&TLoadFramesSettings::Median, o.Median);
  c.SetLoadFrames(&TLoadFramesSettings::SERByteOrder, static_cast<std::uint8_t>(o.SerByteOrder));
  c.SetFrameBiasPercent(o.FrameBiasPercent);
  c.SetFrameGainPercent(o.FrameGainPercent);
  // The memory budget goes beyond the dialog's box, so it is set on the frame list itself.
  m_wb.Frames.SetMaxMem(static_cast<std::int64_t>(o.MemoryMb) * 1048576);
  m_wb.Frames.RecomputeMaxFrames(c.LoadFrames.OutputWidth, c.LoadFrames.OutputHeight);

  // Stack frames: the boxes as the list names them.
  for (std::uint8_t bit : {StackUsing::Center, StackUsing::Move, StackUsing::Max, StackUsing::Min, StackUsing::Last})
    c.SetStackUsingBox(bit, (o.StackUsingBits & bit) != 0);
  c.SetStackFrames(&TStackFramesSettings::Basis, static_cast<std::uint8_t>(o.Basis));
  c.SetStackFrames(&TStackFramesSettings::AreaSize, static_cast<std::uint8_t>(o.AreaSize));
  c.SetStackFrames(&TStackFramesSettings::SetQuality, o.SetQuality);
  c.SetStackFrames(&TStackFramesSettings::Rating, static_cast<std::uint8_t>(o.Rating));
  c.SetStackFrames(&TStackFramesSettings::KeepBest, o.KeepBest.value_or(0));
  c.SetStackFrames(&TStackFramesSettings::NormaliseBrightness, o.NormaliseBrightness);
  c.SetStackFrames(&TStackFramesSettings::CoarseAlign, o.CoarseAlign);
  c.SetStackFrames(&TStackFramesSettings::SubPixel, o.SubPixel);
  c.SetStackFrames(&TStackFramesSettings::Interpolation, static_cast<std::uint8_t>(o.Interpolation));

  // Enhancement.
  m_wb.Enhancement.PostUnsharpMask = o.Unsharp.has_value();
  if (o.Unsharp) c.SetEnhance(&TEnhanceSettings::UMAPost, *o.Unsharp);
  if (!o.UnsharpPsf.empty())
    LoadPsf(c, PsfButton::UnsharpMaskPicture, &TEnhanceSettings::UMAPostLocalPSF, o.UnsharpPsf, m_services);
  m_wb.Enhancement.PostDeconvolution = o.Deconvolve.has_value();
  if (o.Deconvolve) {
    c.SetEnhance(&TEnhanceSettings::DECMethod, static_cast<std::uint8_t>(*o.Deconvolve));
    c.SetEnhance(&TEnhanceSettings::DECPost, o.Iterations);
  }
  if (!o.DeconvolvePsf.empty())
    LoadPsf(c, PsfButton::DeconvolutionPicture, &TEnhanceSettings::DECPostLocalPSF, o.DeconvolvePsf, m_services);

  // Edit / Save picture.
  c.SetBiasTrackBar(o.BiasPercent);
  c.SetGainTrackBar(o.GainPercent);
  c.SetSaturationTrackBar(o.SaturationPercent);
  c.ColourTrackBars = o.Weights;
  c.UserColourTrackBars = o.Weights;
  c.ColourChoice = ColourPreset::User;
  const ColourWeights weights = ColourWeightsFromPositions(o.Weights);
  c.EditSave.RWeight = weights.R;
  c.EditSave.GWeight = weights.G;
  c.EditSave.BWeight = weights.B;
  c.NotifyEditSave();
  if (!o.Lut.empty()) {
    c.SetEditSave(&TEditSaveSettings::LUTFile, o.Lut);
    c.SetEditSave(&TEditSaveSettings::UseLUT, true);
  }
  if (o.NamePrefix) {
    c.SetNameControl(&Settings::NamePrefixCheckBox, true);
    c.SetNameControl(&Settings::NameOriginalCheckBox, false);
    c.SetSaveNamePrefix(*o.NamePrefix);
  }
  if (o.NoNamePrefix) c.SetNameControl(&Settings::NamePrefixCheckBox, false);
  if (o.NoPostfix) c.SetNameControl(&Settings::NamePostfixCheckBox, false);
  if (o.NameDate) c.SetNameControl(&Settings::NameDateCheckBox, true);
  if (o.NameChannel) c.SetNameControl(&Settings::NameChannelCheckBox, true);
  if (o.NoAutonumber) c.SetNameControl(&Settings::NameAutonumberCheckBox, false);
}

void BatchRun::ApplyAfterPreview() {
  Settings& c = m_wb.Config;
  // The preview of a video sets the frame range to that video, as in the
  // window. The options set the two fields as given instead: the loader stops
  // each video at its own last frame, so later, longer videos are loaded whole.
  c.LoadFrames.AVIStart = m_o.AviStart;
  c.LoadFrames.AVIEnd = m_o.AviEnd;
  c.NotifyLoadFrames();
  // A preview clears the manual mark, as a new preview in the window does.
  if (m_o.Mark) {
    m_wb.Mark.ManualMarkSet = true;
    m_wb.Mark.MarkX = m_o.Mark->X;
    m_wb.Mark.MarkY = m_o.Mark->Y;
  }
  m_wb.Frames.RecomputeMaxFrames(c.LoadFrames.OutputWidth, c.LoadFrames.OutputHeight);
  if (m_firstRunFrames) m_wb.Frames.SetMaxFrames(std::min(m_wb.Frames.MaxFrames(), *m_firstRunFrames));
  if (m_wb.Frames.MaxFrames() <= 0)
    throw UsageError("--memory " + std::to_string(m_o.MemoryMb) + " holds no frame of " +
                     std::to_string(c.LoadFrames.OutputWidth) + " x " + std::to_string(c.LoadFrames.OutputHeight) +
                     " samples; give more (" + std::to_string(CliMemoryRange.Min) + ".." +
                     std::to_string(CliMemoryRange.Max) + " MB)");
}

void BatchRun::ApplyAfterLoad(bool firstRun) {
  FrameList& frames = m_wb.Frames;
  const int count = frames.Count();
  if (m_o.Frame) {
    if (*m_o.Frame > count)
      throw UsageError("--frame: value " + std::to_string(*m_o.Frame) + " is outside 1.." + std::to_string(count) +
                       " (the frames loaded)");
    m_wb.Quality.Nr.Set(*m_o.Frame);
    m_wb.Quality.FrameInfoNrSpinEditChange(frames, m_wb.FramesLoaded, m_services);
  }
  m_wb.Quality.FilterChecked = true;
  m_wb.Quality.Filter.Set(m_o.Threshold);
  m_wb.Quality.FrameInfoFilterChange(frames);

  // The combine panel is set up after loading, as a user chooses it: Multiply's
  // "Frame 2:" range follows the frames loaded.
  m_wb.ChooseCombineMethod(m_o.Combine);
  CombineSpin& p1 = m_wb.CombinePanelState.Spin1;
  CombineSpin& p2 = m_wb.CombinePanelState.Spin2;
  if (m_o.P1) {
    if (*m_o.P1 < p1.Minimum || *m_o.P1 > p1.Maximum)
      throw UsageError("--p1: value " + std::to_string(*m_o.P1) + " is outside " + std::to_string(p1.Minimum) + ".." +
                       std::to_string(p1.Maximum) + (m_o.Combine == CombineMultiply ? " (the frames loaded)" : ""));
    p1.Value = *m_o.P1;
  }
  if (m_o.P2) {
    if (*m_o.P2 < p2.Minimum || *m_o.P2 > p2.Maximum)
      throw UsageError("--p2: value " + std::to_string(*m_o.P2) + " is outside " + std::to_string(p2.Minimum) + ".." +
                       std::to_string(p2.Maximum));
    p2.Value = *m_o.P2;
  }

  if (m_o.Mark && firstRun) {
    const TPoint32 area = AreaSizeOf(m_wb.Config.StackFrames.AreaSize);
    const TImage16& plane = frames[0].Image;
    if (plane.Width <= area.x && plane.Height <= area.y)
      throw UsageError("--mark: the frames (" + std::to_string(plane.Width) + " x " + std::to_string(plane.Height) +
                       ") are not larger than the compare area (" + std::to_string(area.x) + " x " +
                       std::to_string(area.y) + ")");
    const std::int32_t maxX = std::max(0, plane.Width - area.x);
    const std::int32_t maxY = std::max(0, plane.Height - area.y);
    if (m_o.Mark->X > maxX || m_o.Mark->Y > maxY)
      throw UsageError("--mark: " + std::to_string(m_o.Mark->X) + "," + std::to_string(m_o.Mark->Y) +
                       " is outside 0.." + std::to_string(maxX) + ",0.." + std::to_string(maxY) +
                       " (the compare area must lie inside the frame)");
  }
}

void BatchRun::Calculate(RunRecord& record) {
  m_services.BeginStage("Calculating", 2, false);
  const auto start = std::chrono::steady_clock::now();
  m_wb.CalculateRun();
  record.CalculateMs += MillisecondsSince(start);
  m_services.EndStage();
}

void BatchRun::RunChannel(std::size_t index) {
  const int channel = m_o.Channels[index];
  const bool first = index == 0;
  Settings& c = m_wb.Config;
  RunRecord record;
  record.Channel = ChannelLetter(channel);
  if (!first) {
    c.SetLoadFramesChannel(channel);
    // Later channels take the shifts found for the first ("Last calculations").
    if (!m_o.NoStack) c.SetStackUsingBox(StackUsing::Last, true);
  }
  if (m_o.Channels.size() > 1) m_services.Info("Channel " + record.Channel);

  // Preview.
  // Preview. A video that cannot be decoded gives no frame (a warning says
  // so); when it stands first, the next file is previewed instead, so the run
  // fails only when no file gives a frame at all.
  while (true) {
    m_services.ResetInvalidFormatCount();
    m_reading = true;
    const bool previewed = m_wb.PreviewAction(m_files);
    m_reading = false;
    if (previewed) break;
    if (m_services.InvalidFormatCount() == 0)
      throw InputError("cannot read " + Quoted(m_files.front()) + ": nothing could be read from it");
    m_files.erase(m_files.begin());
    if (m_files.empty()) throw InputError("no frame could be loaded: no video given could be decoded");
  }
  ApplyAfterPreview();

  // Load.
  m_services.BeginStage("Loading", 1, true);
  auto start = std::chrono::steady_clock::now();
  m_services.ResetInvalidFormatCount();
  m_reading = true;
  m_wb.LoadAction();
  m_reading = false;
  record.LoadMs = MillisecondsSince(start);
  m_services.EndStage();
  FrameList& frames = m_wb.Frames;
  if (frames.Empty()) {
    if (m_services.InvalidFormatCount() > 0)
      throw InputError("no frame could be loaded: no video given could be decoded");
    throw InputError("no frame could be loaded from the files given (check --avi-start, --avi-end and --avi-skip)");
  }
  record.Stopped = TerminalServices::StageInterrupted();
  if (first && TerminalServices::Interrupted()) m_firstRunFrames = frames.Count();
  if (m_wb.Loader.FramesLeftOut() && !TerminalServices::Interrupted()) {
    // Name the limit that was reached: the list's own cap, or the memory.
    if (frames.MaxFrames() >= FrameListLimit)
      m_services.Warning("the frame list holds at most " + std::to_string(FrameListLimit) +
                         " frames; frames after those were left out");
    else
      m_services.Warning("the frame memory (--memory " + std::to_string(m_o.MemoryMb) + ") holds " +
                         std::to_string(frames.MaxFrames()) + " frames of " + std::to_string(c.LoadFrames.OutputWidth) +
                         " x " + std::to_string(c.LoadFrames.OutputHeight) + "; frames after those were left out");
  }
  m_services.Info("Loaded " + std::to_string(frames.Count()) + " frames (" + record.Channel + ") in " +
                  std::to_string(static_cast<long long>(record.LoadMs)) + " ms");
  for (int i = 0; i < frames.Count(); ++i)
    m_services.Detail("frame " + std::to_string(i) + ": " + FrameText(frames[i]) + ", " +
                      std::to_string(frames[i].Image.Width) + " x " + std::to_string(frames[i].Image.Height) +
                      ", mean " + std::to_string(frames[i].Mean));
  ApplyAfterLoad(first);

  if (!m_o.ExportFrames.empty()) {
    const std::string folder = m_o.ChannelsGiven ? FolderPrefix(m_o.ExportFrames) + record.Channel : m_o.ExportFrames;
    OutputSection section;
    EnsureFolder(folder);
    for (int i = 0; i < frames.Count(); ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "frame_%04d.pgm", i);
      WritePgm16(FolderPrefix(folder) + name, frames[i].Image);
    }
  }

  // With the result as the basis, a first calculation makes it (Calculate, Go!, Calculate).
  if (!m_o.NoStack && c.StackFrames.Basis == 0) Calculate(record);

  // Go!
  if (!m_o.NoStack) {
    m_services.BeginStage("Stacking", 1, false);
    start = std::chrono::steady_clock::now();
    const bool sameFrames = !first && (m_o.Rating == FrameRating::Sharpness || m_o.KeepBest);
    if (sameFrames) {
      // Rated once, by the first letter: this one takes those qualities.
      c.StackFrames.SetQuality = false;
      c.StackFrames.KeepBest = 0;
    }
    const bool stacked = m_wb.StackFramesRun();
    if (sameFrames) {
      for (int i = 0; i < frames.Count() && i < static_cast<int>(m_firstRatings.size()); ++i) {
        frames[i].Quality = m_firstRatings[static_cast<std::size_t>(i)].first;
        frames[i].Sharpness = m_firstRatings[static_cast<std::size_t>(i)].second;
      }
      m_wb.Quality.Filter.Set(m_firstFilter);
      m_wb.Quality.FrameInfoFilterChange(frames);
    }
    if (first) {
      for (int i = 0; i < frames.Count(); ++i) m_firstRatings.emplace_back(frames[i].Quality, frames[i].Sharpness);
      m_firstFilter = m_wb.Quality.Threshold;
    }
    record.StackMs = MillisecondsSince(start);
    m_services.EndStage();
    if (!stacked) throw RangeError("Go!: the frames could not be stacked");
    const StackOutcome outcome = m_wb.LastStack;
    const std::string took = " in " + std::to_string(static_cast<long long>(record.StackMs)) + " ms";
    if (outcome.Stopped) {
      // Frames that were not aligned would be combined at shift (0, 0) and
      // blur the result: only the frames aligned are kept. Later channels
      // load as many, since they take these frames' shifts.
      frames.KeepFirst(outcome.Aligned);
      record.Stopped = true;
      if (first) m_firstRunFrames = outcome.Aligned;
      m_services.Info("Stacked " + std::to_string(outcome.Aligned) + " of " + std::to_string(outcome.Frames) +
                      " frames (stopped)" + took + "; the " + std::to_string(outcome.Frames - outcome.Aligned) +
                      " frames not aligned are left out");
    } else {
      m_services.Info("Stacked " + std::to_string(frames.Count()) + " frames" + took);
    }
    if (!m_o.SaveStacked.empty() && first) {
      // Written as "Save stacked frames" does, with the folder as the result
      // folder; the autonumber memory is kept as it was, so the result's own
      // name does not depend on it.
      OutputSection section;
      EnsureFolder(m_o.SaveStacked);
      const std::string resultFolder = c.General.ResultDirectory;
      const std::string lastName = c.EditSave.LastSaveName;
      const std::int32_t number = c.EditSave.SaveNumber;
      c.General.ResultDirectory = FolderPrefix(m_o.SaveStacked);
      const std::vector<std::string> written = m_wb.StackFramesSave();
      c.General.ResultDirectory = resultFolder;
      c.EditSave.LastSaveName = lastName;
      c.EditSave.SaveNumber = number;
      m_services.Info("Saved " + std::to_string(written.size()) + " stacked frames in " + Quoted(m_o.SaveStacked));
    }
  }

  // Calculate.
  Calculate(record);
  record.GoodFrames = FrameQualityPanel::PassCount(frames, m_wb.Quality.Threshold);
  record.Sharpness = !m_o.NoStack && m_o.SetQuality && m_o.Rating == FrameRating::Sharpness;
  record.DecimalShifts = !m_o.NoStack && c.StackFrames.SubPixel;
  record.TakeFrames(frames);
  if (!m_o.RawOutput.empty())
    m_rawPlanes.emplace_back(channel, m_o.ChannelsGiven ? WithSuffix(m_o.RawOutput, record.Channel) : m_o.RawOutput);
  m_report.Stopped = m_report.Stopped || record.Stopped;
  m_report.Runs.push_back(std::move(record));
}

void BatchRun::WriteOutputs() {
  Settings& c = m_wb.Config;
  // What the picture shows: as asked, or the colour composition of the channels.
  if (m_o.Show) {
    c.SetShowAs(*m_o.Show);
  } else if (m_o.Channels.size() == 4) {
    c.SetShowAs(4);
  } else if (m_o.Channels.size() == 3) {
    c.SetShowAs(5);
  }

  // A run that calculated no L plane renders at the frames' size: Calculate
  // gives the picture a black L plane of the size of the planes calculated.
  OutputSection section;
  for (const auto& [channel, file] : m_rawPlanes) {
    EnsureParentFolder(file);
    const TImage16& plane = m_wb.Result.PlaneOfChannel(channel);
    if (ResultFormatOfPath(file) == ResultFormat::Fits)
      WriteFits16File(file, Picture16FromPlane(plane));
    else
      WritePgm16(file, plane);
    m_report.RawOutput.push_back(file);
  }
  if (!m_o.Output.empty()) {
    EnsureParentFolder(m_o.Output);
    Bitmap rendered = RenderResultPicture(m_wb.Result, c, m_wb.Render, 0, m_services);
    m_report.Output = SaveResultPictureAs(rendered, m_wb.Result, c, m_wb.Render, m_o.Output);
  } else {
    EnsureFolder(m_o.ResultDir);
    m_report.Output = m_wb.SaveAction();
  }
  // The files written, one a line on stdout (for scripts), unless -q.
  if (m_services.Level() != Verbosity::Quiet) {
    if (!m_report.Output.empty()) std::printf("%s\n", m_report.Output.c_str());
    for (const std::string& raw : m_report.RawOutput) std::printf("%s\n", raw.c_str());
  }

  if (!m_o.Report.empty()) {
    m_report.Files = m_inputFiles;
    m_report.InputSize = {c.LoadFrames.InputWidth, c.LoadFrames.InputHeight};
    m_report.OutputSize = {c.LoadFrames.OutputWidth, c.LoadFrames.OutputHeight};
    m_report.MaxFrames = m_wb.Frames.MaxFrames();
    const std::string json = m_report.ToJson(ProgramVersion());
    EnsureParentFolder(m_o.Report);
    WriteFileAtomically(m_o.Report, {reinterpret_cast<const std::uint8_t*>(json.data()), json.size()});
  }
  std::fflush(stdout);
}

void BatchRun::Run() {
  CheckInputs();
  m_services.OnInvalidFormat = [this] {
    m_services.Warning("cannot decode the video " + Quoted(m_wb.Loader.CurrentFile()) + " (INVALID FORMAT!)");
  };
  ApplySettings();
  const std::string note = MemoryBudgetNote(static_cast<std::int64_t>(m_o.MemoryMb) * 1048576, AvailableMemoryBytes());
  if (!note.empty())
    m_services.Warning("--memory " + std::to_string(m_o.MemoryMb) + " MB is " + note +
                       "; a long load may run out of memory");
  for (std::size_t i = 0; i < m_o.Channels.size(); ++i) RunChannel(i);
  WriteOutputs();
}

}  // namespace

int RunBatch(const CliOptions& options) {
  TerminalServices services(options.Progress, options.Level, stderr, ::isatty(STDERR_FILENO) != 0);
  services.InstallInterruptHandler();
  std::optional<BatchRun> run;
  // An error of the image operations while a file is read says which file.
  auto fail = [&services, &run](int code, const std::string& message) {
    const std::string file = run ? run->FileInWork() : std::string();
    services.EndStage();
    services.Error(file.empty() || message.find(file) != std::string::npos
                       ? message
                       : message + " (reading " + Quoted(file) + ")");
    return code;
  };
  try {
    run.emplace(options, services);
    run->Run();
  } catch (const UsageError& e) {
    return fail(ExitUsage, e.what());
  } catch (const InputError& e) {
    return fail(ExitInput, e.what());
  } catch (const ReadError& e) {
    return fail(ExitInput, e.what());
  } catch (const WriteError& e) {
    return fail(ExitOutput, e.what());
  } catch (const RangeError& e) {
    return fail(ExitProcessing, e.what());
  } catch (const OverflowError& e) {
    return fail(ExitProcessing, e.what());
  } catch (const std::bad_alloc&) {
    return fail(ExitProcessing, "out of memory (a smaller --memory or output size may help)");
  } catch (const std::exception& e) {
    return fail(ExitProcessing, e.what());
  }
  return ExitDone;
}

}  // namespace corvane::cli

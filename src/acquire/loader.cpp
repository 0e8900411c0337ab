#include "acquire/loader.h"

#include <sys/stat.h>

#include <algorithm>

#include "core/errors.h"
#include "core/image_ops.h"
#include "output/bitmap_ops.h"
#include "output/save_names.h"

namespace corvane {

int SourceKindOf(const std::string& path) { return static_cast<int>(SourceKindOfPath(path)); }

FrameLoader::FrameLoader(Settings& settings, FrameList& frames, Services& services)
    : m_settings(settings), m_frames(frames), m_services(services), m_sources(services) {}

FrameLoader::~FrameLoader() = default;

void FrameLoader::InvalidFormat() {
  m_services.ProgressStart(1, 0, 1, "INVALID FORMAT!");
  m_services.Beep();
}

std::shared_ptr<FrameSource> FrameLoader::OpenSource(const std::string& path) {
  FrameSourceOptions options;
  options.SerOrder =
      static_cast<SerByteOrder>(m_settings.LoadFrames.SERByteOrder <= 2 ? m_settings.LoadFrames.SERByteOrder : 0);
  return m_sources.Open(path, options);
}

const TImageListItem* FrameLoader::CorrectionPicture(CachedPicture& cache, const std::string& file, int channel) {
  struct stat st {};
  const bool exists = ::stat(file.c_str(), &st) == 0;
  const std::int64_t size = exists ? static_cast<std::int64_t>(st.st_size) : -1;
  const std::int64_t modified =
      exists ? static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec : -1;
  if (cache.File == file && cache.Channel == channel && cache.Size == size && cache.ModifiedNs == modified && exists)
    return cache.Frame.get();
  cache = CachedPicture{};
  // Deeper pictures (16-bit PNG and TIFF, FITS) keep their precision; a file
  // of another kind gives no picture. Throws the reader's error.
  SourceFrame picture;
  if (ReadPictureFrame(file, picture, m_sources.Jpeg()) && picture.Width() > 0 && picture.Height() > 0) {
    cache.Frame = std::make_unique<TImageListItem>(picture.Width(), picture.Height());
    Image16FromSourceFrame(cache.Frame->Image, picture, ChannelCodeOfSetting(channel));
    cache.Frame->FileName = file;
  }
  cache.File = file;
  cache.Channel = channel;
  cache.Size = size;
  cache.ModifiedNs = modified;
  return cache.Frame.get();
}

const Lut16& FrameLoader::BiasGainTable(double bias, double gain, bool& identity) {
  // The table depends only on the two settings: built again only when they change.
  if (!m_lut || bias != m_lutBias || gain != m_lutGain) {
    if (!m_lut) m_lut = std::make_unique<LutBuffer>();
    BuildBiasGainLut(m_lut->Table, 65536, bias, gain);
    m_lutBias = bias;
    m_lutGain = gain;
    m_lutIdentity = true;
    for (std::size_t i = 0; i < 65536 && m_lutIdentity; ++i) m_lutIdentity = m_lut->Table[i] == i;
  }
  identity = m_lutIdentity;
  return m_lut->Table;
}

namespace {

// A plane of width x height, reusing the storage it has when the size fits.
// Answers whether it is new (and so black).
bool WorkPlane(TImage16& plane, std::int32_t width, std::int32_t height) {
  if (plane.HasStorage() && plane.Width == std::min(width, MaxImageWidth) &&
      plane.Height == std::min(height, MaxImageHeight))
    return false;
  Image16Create(plane, width, height);
  return true;
}

// A black plane of width x height, reusing the storage it has when the size fits.
void BlackPlane(TImage16& plane, std::int32_t width, std::int32_t height) {
  if (!WorkPlane(plane, width, height)) Image16FillRect(plane, 0, 0, plane.Width, plane.Height, 0);
}

// A plane whose one-sample border is black (the median writes the rest).
void BlackBorderPlane(TImage16& plane, std::int32_t width, std::int32_t height) {
  if (WorkPlane(plane, width, height)) return;
  Image16FillRect(plane, 0, 0, plane.Width, 1, 0);
  Image16FillRect(plane, 0, plane.Height - 1, plane.Width, 1, 0);
  Image16FillRect(plane, 0, 0, 1, plane.Height, 0);
  Image16FillRect(plane, plane.Width - 1, 0, 1, plane.Height, 0);
}

}  // namespace

void FrameLoader::ShowInput(Bitmap& input) {
  if (input.Format() == PixelFormat::Bgr24) {
    m_services.ShowInInputPane(input);
    return;
  }
  Bitmap shown = input;  // a grey Indexed8 frame is shown as 24-bit pixels
  shown.ConvertTo24();
  m_services.ShowInInputPane(shown);
}

namespace {

// (Re)creates the plane at width x height unless it has that size already.
void InputPlane(TImage16& plane, std::int32_t width, std::int32_t height) {
  if (!plane.HasStorage() || plane.Width != std::min(width, MaxImageWidth) ||
      plane.Height != std::min(height, MaxImageHeight))
    Image16Create(plane, width, height);
}

}  // namespace

std::unique_ptr<TImageListItem> FrameLoader::ProcessFrame(Bitmap& input, const std::string& fileName,
                                                          std::int32_t number, bool showInput) {
  const TLoadFramesSettings& s = m_settings.LoadFrames;
  // 1. The output size.
  const std::int32_t outW = s.SizeMode == 0 ? input.Width() : s.OutputWidth;
  const std::int32_t outH = s.SizeMode == 0 ? input.Height() : s.OutputHeight;
  // 2. The unprocessed picture in the input pane.
  if (showInput && m_services.HasInputPane()) {
    ShowInput(input);
    m_shownDeepValid = false;
  }
  // 3. The input plane of the loading channel, and the black output frame.
  InputPlane(m_input, input.Width(), input.Height());
  Image16FromBitmap(m_input, input, 0, 0, input.Width(), input.Height(), ChannelCodeOfSetting(s.Channel));
  return Process(outW, outH, fileName, number);
}

std::unique_ptr<TImageListItem> FrameLoader::ProcessFrame(SourceFrame& input, const std::string& fileName,
                                                          std::int32_t number, bool showInput) {
  if (!input.IsDeep) return ProcessFrame(input.Bits, fileName, number, showInput);
  const TLoadFramesSettings& s = m_settings.LoadFrames;
  const Picture16& deep = input.Deep;
  const std::int32_t outW = s.SizeMode == 0 ? deep.Width() : s.OutputWidth;
  const std::int32_t outH = s.SizeMode == 0 ? deep.Height() : s.OutputHeight;
  if (showInput && m_services.HasInputPane()) {
    // The pane shows the high bytes; the deep samples are kept for a
    // re-processing when the settings change.
    Bitmap shown;
    Picture16ToBitmap(shown, deep);
    m_services.ShowInInputPane(shown);
    m_shownDeep = deep;
    m_shownDeepValid = true;
  }
  InputPlane(m_input, deep.Width(), deep.Height());
  Image16FromPicture16(m_input, deep, ChannelCodeOfSetting(s.Channel));
  return Process(outW, outH, fileName, number);
}

std::unique_ptr<TImageListItem> FrameLoader::Process(std::int32_t outW, std::int32_t outH, const std::string& fileName,
                                                     std::int32_t number) {
  const TLoadFramesSettings& s = m_settings.LoadFrames;
  // Frames that go into the list come from the arena's large blocks; the
  // frames of a preview or a settings change are shown and dropped at once.
  auto output = std::make_unique<TImageListItem>(0, 0);
  if (m_framesForList)
    m_arena.Create(output->Image, outW, outH);
  else
    Image16Create(output->Image, outW, outH);
  output->FileName = fileName;
  output->Number = number;
  const std::int32_t w1 = m_input.Width, h1 = m_input.Height;
  // 4. The centre of interest.
  TPoint32 centre{w1 / 2, h1 / 2};
  if (s.LoadWhat == 1) {
    const TPosition c = Image16Centroid(m_input, 0, 0, w1, h1, std::clamp(s.Background, 0.0, 1.0));
    centre = {c.x, c.y};
  }
  // 5. The mean level. Both are kept with the frame.
  output->Center = centre;
  output->Mean = Image16Mean(m_input, 0, 0, w1, h1);
  // 6. Video correction: every sample takes the one 255 further on; the rows
  // without a source become black.
  if (s.SourceType == 0 && s.AVICorrection) {
    BlackPlane(m_work, w1, h1);
    Image16LinearShiftCopy(m_work, 0, 0, m_input, 0, 0, w1, h1, 255);
    std::swap(m_input, m_work);
  }
  // 7. The 3 x 3 median; the border of the new plane is black.
  if (s.Median) {
    BlackBorderPlane(m_work, w1, h1);
    Image16Median3(m_work, 0, 0, m_input, 0, 0, w1, h1);
    std::swap(m_input, m_work);
  }
  // 8. Dark frame.
  if (s.DarkFrame && !s.DarkFrameFile.empty()) {
    if (const TImageListItem* dark = CorrectionPicture(m_dark, s.DarkFrameFile, s.Channel))
      Image16Subtract(m_input, 0, 0, dark->Image, 0, 0, dark->Image.Width, dark->Image.Height);
  }
  // 9. Flat field: input := input x flat mean / flat. A flat file that gives no
  // picture has no mean: the step is skipped.
  if (s.FlatField && !s.FlatFieldFile.empty()) {
    if (const TImageListItem* flat = CorrectionPicture(m_flat, s.FlatFieldFile, s.Channel)) {
      const std::int32_t m = Image16Mean(flat->Image, 0, 0, flat->Image.Width, flat->Image.Height);
      WorkPlane(m_accumulator, 2 * w1, h1);  // every pixel is written by the product
      Image16MultiplyConst(m_accumulator, 0, 0, m_input, 0, 0, w1, h1, m);
      Image16DividePlane(m_input, 0, 0, m_accumulator, 0, 0, flat->Image, 0, 0, flat->Image.Width, flat->Image.Height);
    }
  }
  // 10. Cut-out and enlargement.
  const std::int32_t r = s.Resize;
  if (r >= 1 && r <= 99) {
    const TFrameWindow win = FrameWindow(r, outW, outH, w1, h1, centre.x, centre.y);
    if (r == 1)
      Image16Copy(output->Image, win.X0, win.Y0, m_input, win.X1, win.Y1, win.W, win.H);
    else if (r == 2)
      Image16Zoom2(output->Image, win.X0, win.Y0, m_input, win.X1, win.Y1, win.W, win.H);
    else
      Image16Resize(output->Image, win.X0, win.Y0, m_input, win.X1, win.Y1, win.W, win.H, r);
  }
  // 11. Brightness and contrast (the identity at 0.5 / 0.5 changes nothing).
  bool identity = false;
  const Lut16& table = BiasGainTable(s.FrameBias, s.FrameGain, identity);
  if (!identity) Image16ApplyLut(output->Image, 0, 0, output->Image.Width, output->Image.Height, table);
  // 12. The processed frame in the result pane.
  if (m_services.HasResultPane()) {
    Bitmap shown(outW, outH);
    output->ToBitmap(shown);
    m_services.ShowInResultPane(shown);
  }
  return output;
}

bool FrameLoader::Preview(const std::vector<std::string>& files) {
  m_lastStart = m_lastEnd = -1;
  m_lastSerOrder = m_settings.LoadFrames.SERByteOrder;
  m_files = files;
  if (m_files.empty()) return false;
  m_currentFile = m_files.front();
  const int kind = SourceKindOf(m_currentFile);
  if (kind < 0) return false;
  m_settings.LoadFrames.SourceType = static_cast<std::uint8_t>(kind);
  const std::shared_ptr<FrameSource> opened =
      OpenSource(m_currentFile);  // a picture or SER file that cannot be read throws
  FrameSource& source = *opened;
  bool read = false;
  if (source.IsVideo()) {
    const int n = source.FrameCount();
    if (n == -1) {
      InvalidFormat();
    } else {
      m_settings.SetVideoFrameRange(n - 1);
      if (source.ReadFrame(0, m_frame)) {
        ProcessFrame(m_frame, m_currentFile, 0, true);
        read = true;
      } else {
        InvalidFormat();
      }
    }
  } else {
    source.ReadFrame(0, m_frame);
    ProcessFrame(m_frame, m_currentFile, -1, true);
    read = true;
  }
  if (read) m_settings.SetInputSize(m_frame.Width(), m_frame.Height());
  return read;
}

void FrameLoader::AddFrame(std::unique_ptr<TImageListItem> frame) {
  if (!m_frames.Add(std::move(frame))) m_leftOut = true;
}

bool FrameLoader::ListFull() {
  if (m_frames.Count() < m_frames.MaxFrames()) return false;
  m_leftOut = true;
  return true;
}

void FrameLoader::Bookkeeping() {
  m_services.ProcessPending();
  m_services.ShowMemoryUsed();
}

void FrameLoader::LoadVideo(FrameSource& source, const std::string& file) {
  const int n = source.FrameCount();
  if (n == -1) {
    InvalidFormat();
    return;
  }
  m_services.ProgressStart(1, 0, n - 1, FileNamePart(file));
  const TLoadFramesSettings& s = m_settings.LoadFrames;
  const std::int32_t first = std::max(0, s.AVIStart);
  // Every frame of the range that the video has; the list's room is what
  // ends the load early, not the frame number.
  const std::int32_t last = std::min(s.AVIEnd, n - 1);
  for (std::int32_t f = first; f <= last; ++f) {
    m_services.ProgressStep(1, f);
    const std::int32_t skip = m_settings.LoadFrames.AVISkipFrames;
    if (skip == 0 || f % skip == 0) {
      if (ListFull()) break;
      if (!source.ReadFrame(f, m_frame)) {
        InvalidFormat();
        break;
      }
      if (m_settings.LoadFrames.AVISemiFrames) {
        KeepEvenField(m_frame);
        AddFrame(ProcessFrame(m_frame, file, f, true));
        if (!ListFull() && source.ReadFrame(f, m_frame)) {
          KeepOddField(m_frame);
          AddFrame(ProcessFrame(m_frame, file, f, true));
        }
      } else {
        AddFrame(ProcessFrame(m_frame, file, f, true));
      }
    }
    m_services.ProgressStep(2, m_frames.Count());
    Bookkeeping();
    if (m_services.TakeAbort()) break;
  }
}

void FrameLoader::Load() {
  m_leftOut = false;
  if (m_files.empty()) return;
  // The list of this load: a preview started while the load pumps messages
  // picks new files for the next load, not for this one.
  const std::vector<std::string> files = m_files;
  const FlagScope forList(m_framesForList);
  if (m_settings.LoadFrames.LoadWhen == 0) m_frames.Clear();
  m_services.ProgressStart(2, 1, m_frames.MaxFrames(), "Nr of frames");
  for (const std::string& file : files) {
    m_services.ProgressStep(2, m_frames.Count());
    m_currentFile = file;
    const int kind = SourceKindOf(file);
    if (kind >= 0) {
      m_settings.LoadFrames.SourceType = static_cast<std::uint8_t>(kind);
      // Held while the video loads: the settings listener may open sources meanwhile.
      const std::shared_ptr<FrameSource> source = OpenSource(file);
      if (source->IsVideo()) {
        LoadVideo(*source, file);
      } else {
        if (ListFull()) break;
        source->ReadFrame(0, m_frame);
        AddFrame(ProcessFrame(m_frame, file, -1, true));
      }
    }
    Bookkeeping();
    if (m_leftOut || m_services.TakeAbort()) break;
  }
}

void FrameLoader::LoadFramesChanged() {
  const FlagScope shownOnly(m_framesForList, false);
  const std::int32_t start = m_settings.LoadFrames.AVIStart;
  const std::int32_t end = m_settings.LoadFrames.AVIEnd;
  const bool video = IsVideoKind(SourceKindOfPath(m_currentFile));
  if (m_settings.LoadFrames.SERByteOrder != m_lastSerOrder) {
    // The frames read the other way: the start frame is read and shown again.
    m_lastSerOrder = m_settings.LoadFrames.SERByteOrder;
    if (SourceKindOfPath(m_currentFile) == SourceKind::Ser) m_lastStart = -1;
  }
  // A frame of the video shown unprocessed in a pane; nothing when it cannot be read.
  auto videoFrame = [this](std::int32_t n, Bitmap& shown) {
    try {
      const std::shared_ptr<FrameSource> source = OpenSource(m_currentFile);
      SourceFrame frame;
      if (n < 0 || n >= source->FrameCount() || !source->ReadFrame(n, frame)) return false;
      SourceFrameToBitmap(shown, frame);
      return true;
    } catch (const ReadError&) {
      return false;
    }
  };
  if (start != m_lastStart) {
    m_lastStart = start;
    Bitmap frame;
    if (video && m_services.HasInputPane() && videoFrame(start, frame)) {
      m_services.ShowInInputPane(frame);
      m_shownDeepValid = false;
    }
  }
  if (end == m_lastEnd) {
    if (m_shownDeepValid) {
      SourceFrame deep;
      deep.UseDeep() = m_shownDeep;
      ProcessFrame(deep, m_currentFile, -1, false);
    } else if (const Bitmap* shown = m_services.InputPaneBitmap(); shown != nullptr && !shown->Empty()) {
      Bitmap picture = *shown;
      picture.ConvertTo24();
      ProcessFrame(picture, m_currentFile, -1, false);
    }
  } else {
    m_lastEnd = end;
    Bitmap frame;
    if (video && m_services.HasResultPane() && videoFrame(end, frame)) m_services.ShowInResultPane(frame);
  }
}

}  // namespace corvane

#pragma once
// Frame loading: preview the first picked file, load every frame of every
// picked file into the frame list, and refresh the panes while the loading
// settings change. One per-frame routine, ProcessFrame, serves all three, so
// what the result pane shows while settings change is what Load stores.
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "core/frame_list.h"
#include "core/image_ops.h"
#include "core/plane_arena.h"
#include "core/services.h"
#include "io/frame_source.h"
#include "io/picture_files.h"
#include "io/video.h"
#include "settings/settings.h"

namespace corvane {

/// Kind of a picked file by its upper-cased extension, as SourceKindOfPath
/// gives it (the loading setting SourceType): ".AVI" video 0, ".BMP" 1,
/// ".JPG"/".JPEG" 2, ".FTS"/".FIT"/".FITS" 3, ".SER" video 4, ".TIF"/".TIFF" 5,
/// ".PNG" 6; -1 for any other extension (skipped).
int SourceKindOf(const std::string& path);

class FrameLoader {
 public:
  FrameLoader(Settings& settings, FrameList& frames, Services& services);
  ~FrameLoader();

  /// Remembers the files, reads the first one only, shows it unprocessed in the
  /// input pane and processed in the result pane, adopts its size as the input
  /// size. True when a picture or frame was read and processed. A picture or
  /// SER video that cannot be read throws the reader's ReadError.
  bool Preview(const std::vector<std::string>& files);

  /// Adds the frames of every picked file to the frame list (after clearing it
  /// unless the settings say "Add"), with the settings as they are at each
  /// frame. A video gives the frames from AVIStart to min(AVIEnd, its last
  /// frame). The load ends when the list is full (MaxFrames) and a frame is
  /// left: FramesLeftOut then tells so. A stop request ends the current video;
  /// taken after a file it ends the load. A picture or SER video that cannot be
  /// read throws; frames added so far stay.
  void Load();
  /// Whether the last Load ended because the frame list was full while frames
  /// were left to load.
  bool FramesLeftOut() const noexcept { return m_leftOut; }

  /// One frame through the whole chain (centre, mean, video correction, median,
  /// dark frame, flat field, cut-out and enlargement, brightness and contrast).
  /// `input` is a 24-bit bitmap (or a grey Indexed8 one). The caller owns the
  /// new frame.
  std::unique_ptr<TImageListItem> ProcessFrame(Bitmap& input, const std::string& fileName, std::int32_t number,
                                               bool showInput);
  /// The same for a frame as a source gives it: 8-bit frames as above, deeper
  /// frames from their 16-bit samples at full precision.
  std::unique_ptr<TImageListItem> ProcessFrame(SourceFrame& input, const std::string& fileName, std::int32_t number,
                                               bool showInput);

  /// The load-frames listener: shows the start and end frames of a video as
  /// they change, and otherwise re-processes the picture in the input pane.
  /// Another SER byte order reads the start frame of a SER video anew.
  void LoadFramesChanged();

  const std::vector<std::string>& PickedFiles() const noexcept { return m_files; }
  const std::string& CurrentFile() const noexcept { return m_currentFile; }

 private:
  struct CachedPicture {
    std::string File;
    int Channel = -1;
    std::int64_t Size = -1;
    std::int64_t ModifiedNs = -1;
    std::unique_ptr<TImageListItem> Frame;  ///< null: the picture gave nothing (empty)
  };

  void InvalidFormat();
  const TImageListItem* CorrectionPicture(CachedPicture& cache, const std::string& file, int channel);
  const Lut16& BiasGainTable(double bias, double gain, bool& identity);
  std::shared_ptr<FrameSource> OpenSource(const std::string& path);
  void LoadVideo(FrameSource& source, const std::string& file);
  void ShowInput(Bitmap& input);
  std::unique_ptr<TImageListItem> Process(std::int32_t outW, std::int32_t outH, const std::string& fileName,
                                          std::int32_t number);
  void AddFrame(std::unique_ptr<TImageListItem> frame);
  /// True, noting that a frame is left out, when the list holds MaxFrames.
  bool ListFull();
  void Bookkeeping();

  Settings& m_settings;
  FrameList& m_frames;
  Services& m_services;
  std::vector<std::string> m_files;
  std::string m_currentFile;
  std::int32_t m_lastStart = -1;
  std::int32_t m_lastEnd = -1;
  std::uint8_t m_lastSerOrder = 0;  ///< the SER byte order of the frames shown
  FrameSources m_sources;
  PlaneArena m_arena;
  SourceFrame m_frame;    ///< each frame is read into it
  Picture16 m_shownDeep;  ///< the deep frame last shown in the input pane
  bool m_shownDeepValid = false;
  TImage16 m_input;        ///< the input plane, reused from frame to frame
  TImage16 m_work;         ///< scratch for the shifted and median planes
  TImage16 m_accumulator;  ///< flat-field products
  CachedPicture m_dark;
  CachedPicture m_flat;
  struct LutBuffer {
    Lut16 Table;
  };
  std::unique_ptr<LutBuffer> m_lut;
  double m_lutBias = -1.0;
  double m_lutGain = -1.0;
  bool m_lutIdentity = false;
  bool m_framesForList = false;  ///< set while Load runs: its frames stay in the list
  bool m_leftOut = false;        ///< the last Load left frames out for want of room

  /// Sets a flag for the life of a scope.
  struct FlagScope {
    explicit FlagScope(bool& flag, bool value = true) : Flag(flag), Before(flag) { Flag = value; }
    ~FlagScope() { Flag = Before; }
    bool& Flag;
    bool Before;
  };
};

}  // namespace corvane

#include "io/video.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <set>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include "core/image16.h"
#include "io/picture_input.h"

namespace corvane {

namespace {

struct FormatClose {
  void operator()(AVFormatContext* p) const noexcept { avformat_close_input(&p); }
};
struct CodecFree {
  void operator()(AVCodecContext* p) const noexcept { avcodec_free_context(&p); }
};
struct PacketFree {
  void operator()(AVPacket* p) const noexcept { av_packet_free(&p); }
};
struct FrameFree {
  void operator()(AVFrame* p) const noexcept { av_frame_free(&p); }
};
struct ScaleFree {
  void operator()(SwsContext* p) const noexcept { sws_freeContext(p); }
};
struct IoFree {
  void operator()(AVIOContext* p) const noexcept {
    av_freep(&p->buffer);
    avio_context_free(&p);
  }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

// The library reports every damaged chunk on stderr; our callers learn of
// failures through the results alone.
void SilenceLibraryLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

/// How rows of 8-bit or 24-bit pixels become 24-bit rows.
enum class RowKind {
  Grey,   ///< value v becomes (v, v, v)
  Table,  ///< value v becomes the table's colour
  Bgr,    ///< copied
};

/// The 24-bit colour of each 8-bit value: blue | green << 8 | red << 16.
using ColourTable = std::array<std::uint32_t, 256>;

/// Fills the table from a decoded palette (256 entries 0xAARRGGBB, as the
/// library hands them over) and tells whether it is the identity grey ramp.
bool TableFromPalette(const std::uint8_t* palette, ColourTable& table) {
  bool grey = true;
  for (int i = 0; i < 256; ++i) {
    std::uint32_t argb;
    std::memcpy(&argb, palette + 4 * i, 4);
    table[i] = argb & 0xFFFFFF;
    grey = grey && table[i] == static_cast<std::uint32_t>(i) * 0x010101u;
  }
  return grey;
}

// One row of grey values to blue-green-red triples.
__attribute__((target_clones("avx2", "default"))) void GreyRow(const std::uint8_t* __restrict src,
                                                               std::uint8_t* __restrict dst, int width) {
  for (int i = 0; i < width; ++i) {
    const std::uint8_t v = src[i];
    dst[3 * i] = v;
    dst[3 * i + 1] = v;
    dst[3 * i + 2] = v;
  }
}

// One row of 8-bit values through the colour table. Each pixel is stored as
// four bytes whose fourth byte the next pixel overwrites; the last pixel is
// stored byte by byte so nothing lands past the row.
void TableRow(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, int width, const ColourTable& table) {
  if (width <= 0) return;
  const int last = width - 1;
  if constexpr (std::endian::native == std::endian::little) {
    for (int i = 0; i < last; ++i) std::memcpy(dst + 3 * i, &table[src[i]], 4);
  } else {
    for (int i = 0; i < last; ++i) {
      const std::uint32_t c = table[src[i]];
      dst[3 * i] = static_cast<std::uint8_t>(c);
      dst[3 * i + 1] = static_cast<std::uint8_t>(c >> 8);
      dst[3 * i + 2] = static_cast<std::uint8_t>(c >> 16);
    }
  }
  const std::uint32_t c = table[src[last]];
  dst[3 * last] = static_cast<std::uint8_t>(c);
  dst[3 * last + 1] = static_cast<std::uint8_t>(c >> 8);
  dst[3 * last + 2] = static_cast<std::uint8_t>(c >> 16);
}

/// Converts height rows starting at `top` (`step` bytes from one row to the
/// next, negative for rows stored bottom-up) into the 24-bit bitmap.
void ConvertRows(RowKind kind, const std::uint8_t* top, std::ptrdiff_t step, const ColourTable& table, Bitmap& out) {
  const int width = out.Width();
  for (int y = 0; y < out.Height(); ++y) {
    const std::uint8_t* src = top + step * y;
    std::uint8_t* dst = out.Row(y);
    switch (kind) {
      case RowKind::Grey: GreyRow(src, dst, width); break;
      case RowKind::Table: TableRow(src, dst, width, table); break;
      case RowKind::Bgr: std::memcpy(dst, src, static_cast<std::size_t>(width) * 3); break;
    }
  }
}

/// Makes `out` a 24-bit bitmap of width x height without a palette, keeping
/// its storage when it already is one.
void PrepareBitmap(Bitmap& out, int width, int height) {
  if (out.Format() != PixelFormat::Bgr24) out.SetFormat(PixelFormat::Bgr24);
  if (out.Width() != width || out.Height() != height) out.SetSize(width, height);
  out.Palette().clear();
}

/// Same size, format and pixels (the palettes are not compared).
bool SamePixels(const Bitmap& a, const Bitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.Format() != b.Format()) return false;
  return a.Empty() || std::memcmp(a.Bits(), b.Bits(), a.RowBytes() * static_cast<std::size_t>(a.Height())) == 0;
}

std::uint32_t Read32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

struct FileIdentity {
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = -1;
  std::int64_t ModifiedNs = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

/// Whether the decoder marked the frame as one that decodes on its own.
bool IsKeyFrame(const AVFrame* frame) noexcept {
#ifdef AV_FRAME_FLAG_KEY
  return (frame->flags & AV_FRAME_FLAG_KEY) != 0;
#else
  return frame->key_frame != 0;
#endif
}

bool IdentifyFile(const std::string& path, FileIdentity& id, bool& regular) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  id.Device = st.st_dev;
  id.Inode = st.st_ino;
  id.Size = st.st_size;
  id.ModifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  regular = S_ISREG(st.st_mode);
  return true;
}

class GreyShortcut;

/// Turns decoded frames into 24-bit bitmaps. Holds the colour conversion of
/// one thread: a thread that converts uses a converter of its own.
struct Converter {
  std::unique_ptr<SwsContext, ScaleFree> Scaler;
  Bitmap Scratch;  // the scaler's output, swapped into the caller's bitmap
  ColourTable Table{};
  GreyShortcut* Grey = nullptr;  // shared by the converters of one reader

  bool Convert(const AVFrame* frame, int width, int height, Bitmap& out);
  /// The library's colour conversion into `out` (left as it was on failure).
  bool Scale(const AVFrame* frame, int width, int height, Bitmap& out);
};

/// Whether the frame is 8-bit planar YUV whose two colour planes hold only the
/// neutral value 128: a grey recording.
bool NeutralColour(const AVFrame* frame) {
  const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
  if (d == nullptr || d->nb_components != 3 || (d->flags & AV_PIX_FMT_FLAG_PLANAR) == 0 ||
      (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_ALPHA | AV_PIX_FMT_FLAG_BE)) != 0)
    return false;
  for (int c = 0; c < 3; ++c)
    if (d->comp[c].depth != 8 || d->comp[c].step != 1 || d->comp[c].shift != 0 || d->comp[c].plane != c) return false;
  const int cw = AV_CEIL_RSHIFT(frame->width, d->log2_chroma_w);
  const int ch = AV_CEIL_RSHIFT(frame->height, d->log2_chroma_h);
  for (int plane = 1; plane <= 2; ++plane) {
    if (frame->data[plane] == nullptr) return false;
    for (int y = 0; y < ch; ++y) {
      const std::uint8_t* row = frame->data[plane] + static_cast<std::ptrdiff_t>(y) * frame->linesize[plane];
      for (int x = 0; x < cw; ++x)
        if (row[x] != 128) return false;
    }
  }
  return true;
}

/// Grey recordings in YUV (the colour planes all neutral) convert through a
/// table of the 256 luma values, much faster than the full conversion, when
/// the table gives exactly what the full conversion gives. The table is made
/// by the full conversion itself, from a frame of the same format and size
/// holding every luma value at many places (every place must agree), and is
/// then checked against the full conversion of the first grey frame. Until
/// both hold, and for good when either fails, frames take the full conversion.
class GreyShortcut {
 public:
  /// The table for this frame (already known to be grey), or nullptr.
  const ColourTable* For(Converter& converter, const AVFrame* frame, int width, int height) {
    const std::lock_guard<std::mutex> guard(m_lock);
    if (frame->format != m_format || width != m_width || height != m_height) {
      m_format = frame->format;
      m_width = width;
      m_height = height;
      m_state = Build(converter, frame, width, height) ? State::Valid : State::Refused;
    }
    return m_state == State::Valid ? &m_table : nullptr;
  }

 private:
  enum class State { Refused, Valid };

  bool Build(Converter& converter, const AVFrame* frame, int width, int height) {
    FramePtr ramp(av_frame_alloc());
    if (!ramp) return false;
    ramp->format = frame->format;
    ramp->width = width;
    ramp->height = height;
    if (av_frame_get_buffer(ramp.get(), 0) < 0) return false;
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        ramp->data[0][static_cast<std::ptrdiff_t>(y) * ramp->linesize[0] + x] = static_cast<std::uint8_t>(x + 7 * y);
    for (int plane = 1; plane <= 2; ++plane)
      for (int y = 0; y < AV_CEIL_RSHIFT(height, d->log2_chroma_h); ++y)
        std::memset(ramp->data[plane] + static_cast<std::ptrdiff_t>(y) * ramp->linesize[plane], 128,
                    static_cast<std::size_t>(AV_CEIL_RSHIFT(width, d->log2_chroma_w)));
    Bitmap full;
    if (!converter.Scale(ramp.get(), width, height, full)) return false;
    std::array<bool, 256> seen{};
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const std::uint8_t v = ramp->data[0][static_cast<std::ptrdiff_t>(y) * ramp->linesize[0] + x];
        const std::uint8_t* p = full.Row(y) + 3 * x;
        const std::uint32_t colour =
            p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16;
        if (seen[v] && m_table[v] != colour) return false;  // the conversion is not one of the luma alone
        seen[v] = true;
        m_table[v] = colour;
      }
    for (bool s : seen)
      if (!s) return false;
    // The first grey frame both ways.
    Bitmap viaTable;
    PrepareBitmap(viaTable, width, height);
    ConvertRows(RowKind::Table, frame->data[0], frame->linesize[0], m_table, viaTable);
    return converter.Scale(frame, width, height, full) && SamePixels(full, viaTable);
  }

  std::mutex m_lock;
  int m_format = -1;
  int m_width = 0;
  int m_height = 0;
  State m_state = State::Refused;
  ColourTable m_table{};
};

bool Converter::Scale(const AVFrame* frame, int width, int height, Bitmap& out) {
  const auto format = static_cast<AVPixelFormat>(frame->format);
  if (sws_isSupportedInput(format) <= 0) return false;
  SwsContext* scaler =
      sws_getCachedContext(Scaler.release(), width, height, format, width, height, AV_PIX_FMT_BGR24,
                           SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
  Scaler.reset(scaler);
  if (scaler == nullptr) return false;
  // Scaled aside and swapped in, so that a failure leaves `out` as it was.
  PrepareBitmap(Scratch, width, height);
  std::uint8_t* dst[4] = {Scratch.Bits(), nullptr, nullptr, nullptr};
  const int dstStride[4] = {static_cast<int>(Scratch.RowBytes()), 0, 0, 0};
  if (sws_scale(scaler, frame->data, frame->linesize, 0, height, dst, dstStride) != height) return false;
  std::swap(out, Scratch);
  return true;
}

bool Converter::Convert(const AVFrame* frame, int width, int height, Bitmap& out) {
  if (frame->width != width || frame->height != height || frame->data[0] == nullptr) return false;
  RowKind kind;
  switch (frame->format) {
    case AV_PIX_FMT_PAL8:
      if (frame->data[1] == nullptr) return false;
      kind = TableFromPalette(frame->data[1], Table) ? RowKind::Grey : RowKind::Table;
      break;
    case AV_PIX_FMT_GRAY8: kind = RowKind::Grey; break;
    case AV_PIX_FMT_BGR24: kind = RowKind::Bgr; break;
    default: {
      if (Grey != nullptr && NeutralColour(frame)) {
        if (const ColourTable* table = Grey->For(*this, frame, width, height)) {
          PrepareBitmap(out, width, height);
          ConvertRows(RowKind::Table, frame->data[0], frame->linesize[0], *table, out);
          return true;
        }
      }
      return Scale(frame, width, height, out);
    }
  }
  PrepareBitmap(out, width, height);
  ConvertRows(kind, frame->data[0], frame->linesize[0], Table, out);
  return true;
}

/// A frame decoded ahead of the caller and being converted on a thread of its own.
struct AheadFrame {
  std::int64_t Number = -1;
  FramePtr Frame;  // a reference to the decoded frame; empty when decoding failed
  Bitmap Picture;
  std::future<bool> Converted;
  AheadFrame() = default;
  AheadFrame(const AheadFrame&) = delete;
  AheadFrame& operator=(const AheadFrame&) = delete;
  // The conversion writes into Picture: it ends before the frame goes.
  ~AheadFrame() {
    if (Converted.valid()) Converted.wait();
  }
};

/// Threads that convert frames, kept for the life of a reader.
class ConversionThreads {
 public:
  explicit ConversionThreads(int count) {
    for (int i = 0; i < count; ++i) m_threads.emplace_back([this] { Work(); });
  }
  ~ConversionThreads() {
    {
      const std::lock_guard<std::mutex> guard(m_lock);
      m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads) t.join();
  }
  ConversionThreads(const ConversionThreads&) = delete;
  ConversionThreads& operator=(const ConversionThreads&) = delete;

  std::future<bool> Run(std::function<bool()> job) {
    std::packaged_task<bool()> task(std::move(job));
    std::future<bool> done = task.get_future();
    {
      const std::lock_guard<std::mutex> guard(m_lock);
      m_jobs.push_back(std::move(task));
    }
    m_wake.notify_one();
    return done;
  }

 private:
  void Work() {
    for (;;) {
      std::packaged_task<bool()> task;
      {
        std::unique_lock<std::mutex> lock(m_lock);
        m_wake.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
        if (m_jobs.empty()) return;
        task = std::move(m_jobs.front());
        m_jobs.pop_front();
      }
      task();
    }
  }

  std::mutex m_lock;
  std::condition_variable m_wake;
  std::deque<std::packaged_task<bool()>> m_jobs;
  bool m_stop = false;
  std::vector<std::thread> m_threads;
};

}  // namespace

struct VideoReader::State {
  // The file last asked for and whether it opened.
  std::string Path;
  FileIdentity Identity;
  bool Usable = false;

  // A video in memory (OpenMemory): the bytes, the read position, and the
  // library's I/O context over them (freed after the format context).
  bool InMemory = false;
  std::span<const std::uint8_t> Memory;
  std::int64_t MemoryPosition = 0;
  std::unique_ptr<AVIOContext, IoFree> Io;

  std::unique_ptr<AVFormatContext, FormatClose> Format;
  AVStream* Stream = nullptr;
  std::unique_ptr<AVCodecContext, CodecFree> Decoder;
  std::unique_ptr<AVPacket, PacketFree> Packet;
  Converter Main;  // conversions on the caller's thread
  int Width = 0;
  int Height = 0;
  int Frames = 0;
  std::int64_t FirstTimestamp = 0;  // timestamp of frame 0
  int MinPacketBytes = 0;           // uncompressed paletted frames shorter than this are damaged
  bool IntraOnly = false;           // every frame decodes on its own
  // Key frames of an inter-frame codec: those the decoder has marked as such
  // (frame numbers), and whether the container's key-frame marks can be
  // trusted. Recordings cut off before their index mark every frame as a key
  // frame; once a seek has landed on a frame that needs the ones before it,
  // seeks go only to the key frames the decoder has seen.
  std::set<std::int64_t> KnownKeys;
  bool TrustIndexKeys = true;
  std::int64_t Target = 0;  // the frame number being decoded to

  // Decoding position: Current holds frame CurrentNo (-1: none yet); Ahead, when
  // AheadValid, the frame decoded after it. Positioned: the demuxer and decoder
  // continue from there (otherwise the next read seeks first). Drained: the end
  // of the file was reached and the decoder told so.
  FramePtr Current;
  FramePtr Ahead;
  std::int64_t CurrentNo = -1;
  std::int64_t AheadNo = -1;
  bool AheadValid = false;
  bool Positioned = false;
  bool Drained = false;

  // Uncompressed frames read straight from the file by their index entry: the
  // chunk (header and pixels) lands in one reused buffer and goes through the
  // row conversion, with no packet or frame in between.
  bool Direct = false;
  RowKind DirectKind = RowKind::Bgr;
  bool BottomUp = false;
  std::size_t Stride = 0;
  std::size_t FrameBytes = 0;
  std::vector<std::uint8_t> Chunk;
  ColourTable DirectTable{};

  // Threads. Threads = 1: everything on the caller's thread. Otherwise the
  // decoder uses its own frame or slice threads, and while frames are asked
  // for in steady steps (n, n + s, n + 2s, ...) the next ones are decoded
  // ahead and converted on threads of their own, in order.
  int Threads = 0;                                     // as asked: 0 every core
  int AheadDepth = 0;                                  // frames converted ahead at most (0: none)
  GreyShortcut Grey;                                   // before the converters that point to it
  std::vector<std::unique_ptr<Converter>> Converters;  // one per frame ahead
  std::unique_ptr<ConversionThreads> Workers;          // made when first needed
  std::vector<Bitmap> Spare;                           // bitmaps handed back, for the next frames ahead
  std::deque<std::unique_ptr<AheadFrame>> Prefetched;  // after the converters: it goes first
  std::size_t NextConverter = 0;
  std::int64_t LastAsked = -1;  // the frame last asked for
  std::int64_t Step = 0;        // the step from the frame asked before to it
  FramePtr Delivered;           // the decoded frame last handed out, for a second look at it
  std::int64_t DeliveredNo = -1;

  // Seeks go to the frame at or before the target; to any frame when every
  // frame decodes on its own (some recorders mark no key frames in the index).
  int SeekFlags() const { return AVSEEK_FLAG_BACKWARD | (IntraOnly ? AVSEEK_FLAG_ANY : 0); }
  State() { Main.Grey = &Grey; }
  ~State() { DropAhead(); }
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  bool Ensure(const std::string& path);
  bool OpenMemoryInput(AVFormatContext*& format);
  static int ReadMemory(void* opaque, std::uint8_t* buffer, int size);
  static std::int64_t SeekMemory(void* opaque, std::int64_t offset, int whence);
  void Reset() noexcept;
  bool Open();
  void SetUpDirect();
  enum class Outcome { Done, Miss, Failed };
  Outcome ReadDirect(int n, Bitmap& out);
  const AVFrame* Decode(int n);
  bool SeekTo(std::int64_t n);
  std::int64_t KnownKeyAtOrBefore(std::int64_t n) const;
  bool DecodeNext(AVFrame* into, std::int64_t& number);
  bool Feed();
  bool Convert(const AVFrame* frame, Bitmap& out) { return Main.Convert(frame, Width, Height, out); }
  bool ReadDecoded(int n, Bitmap& out);
  void DecodeAhead(std::int64_t from);
  void DropAhead() noexcept;
};

bool VideoReader::State::Ensure(const std::string& path) {
  if (InMemory && path == Path) return Usable;
  FileIdentity id;
  bool regular = false;
  if (!IdentifyFile(path, id, regular)) {
    Reset();
    return false;
  }
  if (!Path.empty() && path == Path && id == Identity) return Usable;
  Reset();
  Path = path;
  Identity = id;
  Usable = regular && Open();
  if (!Usable) {
    // Keep only the name and identity, so that asking again for the same
    // unusable file answers at once.
    std::string keep = std::move(Path);
    Reset();
    Path = std::move(keep);
    Identity = id;
  }
  return Usable;
}

void VideoReader::State::Reset() noexcept {
  DropAhead();
  Delivered.reset();
  DeliveredNo = LastAsked = -1;
  Step = 0;
  Path.clear();
  Identity = FileIdentity{};
  Usable = false;
  Main.Scaler.reset();
  Current.reset();
  Ahead.reset();
  Packet.reset();
  Decoder.reset();
  Format.reset();
  Io.reset();
  InMemory = false;
  Memory = {};
  MemoryPosition = 0;
  Stream = nullptr;
  Width = Height = Frames = 0;
  FirstTimestamp = 0;
  MinPacketBytes = 0;
  IntraOnly = false;
  KnownKeys.clear();
  TrustIndexKeys = true;
  Target = 0;
  CurrentNo = AheadNo = -1;
  AheadValid = Positioned = Drained = false;
  Direct = false;
  Chunk.clear();
  Chunk.shrink_to_fit();
}

bool VideoReader::State::Open() {
  const AVInputFormat* avi = av_find_input_format("avi");
  if (avi == nullptr) return false;
  AVDictionary* options = nullptr;
  // Room for the whole index of long videos, so that every frame is found by it.
  av_dict_set(&options, "indexmem", "268435456", 0);
  AVFormatContext* format = nullptr;
  if (InMemory && !OpenMemoryInput(format)) {
    av_dict_free(&options);
    return false;
  }
  const int opened = avformat_open_input(&format, InMemory ? "" : Path.c_str(), avi, &options);
  av_dict_free(&options);
  if (opened < 0) return false;
  Format.reset(format);
  if (format->nb_streams < 1) return false;
  Stream = format->streams[0];
  const AVCodecParameters* par = Stream->codecpar;
  if (par->codec_type != AVMEDIA_TYPE_VIDEO) return false;
  if (Stream->nb_frames < 0 || Stream->nb_frames > INT_MAX) return false;
  if (!PictureSizeAllowed(par->width, par->height)) return false;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  if (codec == nullptr) return false;
  Decoder.reset(avcodec_alloc_context3(codec));
  if (!Decoder || avcodec_parameters_to_context(Decoder.get(), par) < 0) return false;
  // Compressed frames decode on every core (frame threads, or slices where
  // the codec has no frame threads); uncompressed ones need no threads.
  Decoder->thread_count = par->codec_id == AV_CODEC_ID_RAWVIDEO ? 1 : Threads;
  Decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  if (avcodec_open2(Decoder.get(), codec, nullptr) < 0) return false;
  Packet.reset(av_packet_alloc());
  Current.reset(av_frame_alloc());
  Ahead.reset(av_frame_alloc());
  if (!Packet || !Current || !Ahead) return false;

  Width = par->width;
  Height = par->height;
  Frames = static_cast<int>(Stream->nb_frames);
  FirstTimestamp = Stream->start_time != AV_NOPTS_VALUE ? Stream->start_time : 0;
  if (par->codec_id == AV_CODEC_ID_RAWVIDEO && par->bits_per_coded_sample > 0 && par->bits_per_coded_sample <= 8) {
    // Paletted frames: the decoder pads short chunks instead of refusing them.
    // Rows may be padded to 4 bytes, as DIBs are, or packed (recorders write
    // both for widths that are no multiple of 4; the decoder tells them apart
    // by the chunk size): a chunk shorter than packed rows is damaged.
    const long long row = (static_cast<long long>(Width) * par->bits_per_coded_sample + 7) / 8;
    MinPacketBytes = static_cast<int>(std::min<long long>(row * Height, INT_MAX));
  }
  const AVCodecDescriptor* descriptor = avcodec_descriptor_get(par->codec_id);
  IntraOnly = descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY) != 0;
  Positioned = true;  // the demuxer stands at the first chunk
  SetUpDirect();
  return true;
}

bool VideoReader::State::OpenMemoryInput(AVFormatContext*& format) {
  constexpr int BufferBytes = 1 << 16;
  auto* buffer = static_cast<unsigned char*>(av_malloc(BufferBytes));
  if (buffer == nullptr) return false;
  Io.reset(avio_alloc_context(buffer, BufferBytes, 0, this, &ReadMemory, nullptr, &SeekMemory));
  if (!Io) {
    av_free(buffer);
    return false;
  }
  format = avformat_alloc_context();
  if (format == nullptr) return false;
  format->pb = Io.get();
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
  return true;
}

int VideoReader::State::ReadMemory(void* opaque, std::uint8_t* buffer, int size) {
  State& s = *static_cast<State*>(opaque);
  const std::int64_t left = static_cast<std::int64_t>(s.Memory.size()) - s.MemoryPosition;
  const int n = static_cast<int>(std::min<std::int64_t>(size, left));
  if (n <= 0) return AVERROR_EOF;
  std::memcpy(buffer, s.Memory.data() + s.MemoryPosition, static_cast<std::size_t>(n));
  s.MemoryPosition += n;
  return n;
}

std::int64_t VideoReader::State::SeekMemory(void* opaque, std::int64_t offset, int whence) {
  State& s = *static_cast<State*>(opaque);
  const auto size = static_cast<std::int64_t>(s.Memory.size());
  std::int64_t to = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return size;
    case SEEK_SET: to = offset; break;
    case SEEK_CUR: to = s.MemoryPosition + offset; break;
    case SEEK_END: to = size + offset; break;
    default: return AVERROR(EINVAL);
  }
  if (to < 0 || to > size) return AVERROR(EINVAL);
  s.MemoryPosition = to;
  return to;
}

void VideoReader::State::SetUpDirect() {
  Direct = false;
  if (Stream->codecpar->codec_id != AV_CODEC_ID_RAWVIDEO || Frames < 1) return;
  if (avformat_index_get_entries_count(Stream) < 1) return;
  const AVIndexEntry* first = avformat_index_get_entry(Stream, 0);
  const std::int64_t firstNo = first->timestamp - FirstTimestamp;
  if (firstNo < 0 || firstNo >= Frames) return;
  const std::size_t size = static_cast<std::size_t>(first->size);
  // Learn the pixel layout from the decoder's view of the first indexed frame.
  const AVFrame* decoded = Decode(static_cast<int>(firstNo));
  if (decoded == nullptr) return;
  std::size_t bytesPerPixel = 1;
  switch (decoded->format) {
    case AV_PIX_FMT_PAL8:
      DirectKind = TableFromPalette(decoded->data[1], DirectTable) ? RowKind::Grey : RowKind::Table;
      break;
    case AV_PIX_FMT_GRAY8: DirectKind = RowKind::Grey; break;
    case AV_PIX_FMT_BGR24:
      DirectKind = RowKind::Bgr;
      bytesPerPixel = 3;
      break;
    default: return;
  }
  const std::size_t rowBytes = static_cast<std::size_t>(Width) * bytesPerPixel;
  const std::size_t padded = (rowBytes + 3) & ~std::size_t{3};
  const auto height = static_cast<std::size_t>(Height);
  if (size == padded * height)
    Stride = padded;
  else if (size == rowBytes * height)
    Stride = rowBytes;
  else
    return;
  BottomUp = decoded->linesize[0] < 0;
  FrameBytes = size;

  // Both ways must agree on the first frame before the direct way is trusted.
  Bitmap viaDecoder;
  if (!Convert(decoded, viaDecoder)) return;
  Chunk.assign(8 + size, 0);
  Direct = true;
  Bitmap viaIndex;
  if (ReadDirect(static_cast<int>(firstNo), viaIndex) != Outcome::Done || !SamePixels(viaIndex, viaDecoder)) {
    Direct = false;
    Chunk.clear();
    Chunk.shrink_to_fit();
  }
}

VideoReader::State::Outcome VideoReader::State::ReadDirect(int n, Bitmap& out) {
  const std::int64_t ts = n + FirstTimestamp;
  const int entries = avformat_index_get_entries_count(Stream);
  int index = -1;
  if (n < entries && avformat_index_get_entry(Stream, n)->timestamp == ts) index = n;  // the usual layout
  if (index < 0) index = av_index_search_timestamp(Stream, ts, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
  if (index < 0) return Outcome::Miss;
  const AVIndexEntry* entry = avformat_index_get_entry(Stream, index);
  // A frame between two indexed frames was dropped by the recorder and repeats
  // the one before; after the last indexed frame the index tells nothing.
  if (entry->timestamp != ts && index + 1 >= entries) return Outcome::Miss;
  if (static_cast<std::size_t>(entry->size) != FrameBytes) return Outcome::Miss;

  Positioned = false;  // the demuxer's position is ours now
  AVIOContext* io = Format->pb;
  if (avio_seek(io, entry->pos, SEEK_SET) < 0) return Outcome::Failed;
  const int want = static_cast<int>(Chunk.size());
  if (avio_read(io, Chunk.data(), want) != want) return Outcome::Failed;
  const std::uint8_t* header = Chunk.data();
  const bool pixelChunk = header[2] == 'd' && (header[3] == 'b' || header[3] == 'c');
  if (!pixelChunk || Read32(header + 4) != FrameBytes) return Outcome::Miss;

  const std::uint8_t* pixels = Chunk.data() + 8;
  auto step = static_cast<std::ptrdiff_t>(Stride);
  if (BottomUp) {
    pixels += Stride * static_cast<std::size_t>(Height - 1);
    step = -step;
  }
  PrepareBitmap(out, Width, Height);
  ConvertRows(DirectKind, pixels, step, DirectTable, out);
  return Outcome::Done;
}

bool VideoReader::State::SeekTo(std::int64_t n) {
  avcodec_flush_buffers(Decoder.get());
  av_frame_unref(Current.get());
  av_frame_unref(Ahead.get());
  CurrentNo = AheadNo = -1;
  AheadValid = false;
  Drained = false;
  Positioned = av_seek_frame(Format.get(), 0, n + FirstTimestamp, SeekFlags()) >= 0;
  return Positioned;
}

bool VideoReader::State::Feed() {
  for (;;) {
    if (av_read_frame(Format.get(), Packet.get()) < 0) {
      Drained = true;
      return avcodec_send_packet(Decoder.get(), nullptr) >= 0;
    }
    AVPacket* packet = Packet.get();
    if (packet->stream_index != 0 || packet->size <= 0) {
      av_packet_unref(packet);
      continue;
    }
    const bool damaged = (packet->flags & AV_PKT_FLAG_CORRUPT) != 0 || packet->size < MinPacketBytes;
    const int sent = damaged ? -1 : avcodec_send_packet(Decoder.get(), packet);
    const std::int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    av_packet_unref(packet);
    if (sent >= 0) return true;
    // A damaged frame on the way to the target does not matter when every
    // frame stands on its own; otherwise the frames after it are suspect.
    if (!IntraOnly || ts == AV_NOPTS_VALUE || ts - FirstTimestamp >= Target) return false;
  }
}

bool VideoReader::State::DecodeNext(AVFrame* into, std::int64_t& number) {
  for (;;) {
    const int received = avcodec_receive_frame(Decoder.get(), into);
    if (received == 0) {
      if ((into->flags & AV_FRAME_FLAG_CORRUPT) != 0 || into->decode_error_flags != 0) return false;
      std::int64_t ts = into->best_effort_timestamp;
      if (ts == AV_NOPTS_VALUE) ts = into->pts;
      if (ts == AV_NOPTS_VALUE) return false;
      number = ts - FirstTimestamp;
      if (!IntraOnly && IsKeyFrame(into)) KnownKeys.insert(number);
      return true;
    }
    if (received != AVERROR(EAGAIN) || Drained) return false;
    if (!Feed()) return false;
  }
}

std::int64_t VideoReader::State::KnownKeyAtOrBefore(std::int64_t n) const {
  auto it = KnownKeys.upper_bound(n);
  return it == KnownKeys.begin() ? 0 : *std::prev(it);
}

const AVFrame* VideoReader::State::Decode(int n) {
  bool seek = !Positioned || CurrentNo > n;
  std::int64_t seekTo = n;
  if (!IntraOnly && !TrustIndexKeys) {
    // Only a key frame the decoder has seen is a safe place to start.
    seekTo = KnownKeyAtOrBefore(n);
    if (!seek && n > CurrentNo + 1 && !(AheadValid && AheadNo <= n)) seek = seekTo > CurrentNo + 1;
  } else if (!seek && n > CurrentNo + 1 && !(AheadValid && AheadNo <= n)) {
    // Seek when the key frame at or before n lies beyond the next frame:
    // decoding the frames in between would be wasted.
    const int key = av_index_search_timestamp(Stream, n + FirstTimestamp, SeekFlags());
    seek = key >= 0 && avformat_index_get_entry(Stream, key)->timestamp - FirstTimestamp > CurrentNo + 1;
  }
  if (seek && !SeekTo(seekTo)) return nullptr;
  Target = n;
  // After a seek the first frame decoded must be a key frame: decoded from
  // anywhere else an inter-frame codec gives garbage without saying so.
  bool checkKey = seek && !IntraOnly;
  int fallbacks = 0;
  for (;;) {
    if (CurrentNo == n) return Current.get();
    if (!AheadValid) {
      if (!DecodeNext(Ahead.get(), AheadNo)) break;
      AheadValid = true;
      if (checkKey) {
        checkKey = false;
        if (!IsKeyFrame(Ahead.get())) {
          // Start again from the last key frame seen before, or from frame 0;
          // when that does not give a key frame either, the frame is refused.
          if (++fallbacks > 2) break;
          TrustIndexKeys = false;
          if (!SeekTo(KnownKeyAtOrBefore(std::min<std::int64_t>(n, AheadNo - 1)))) return nullptr;
          checkKey = true;
          continue;
        }
      }
    }
    if (AheadNo <= CurrentNo) break;  // timestamps must grow
    if (AheadNo <= n) {
      std::swap(Current, Ahead);
      CurrentNo = AheadNo;
      AheadValid = false;
      continue;
    }
    // The next frame lies beyond n: frame n was dropped and repeats the one before.
    if (CurrentNo >= 0) return Current.get();
    break;
  }
  Positioned = false;
  return nullptr;
}

void VideoReader::State::DropAhead() noexcept {
  // Each frame ahead waits for its conversion as it goes.
  Prefetched.clear();
}

void VideoReader::State::DecodeAhead(std::int64_t from) {
  // Uncompressed frames read by their index need no decoding ahead.
  if (AheadDepth <= 0 || Step <= 0 || Direct) return;
  while (Converters.size() < static_cast<std::size_t>(AheadDepth)) {
    Converters.push_back(std::make_unique<Converter>());
    Converters.back()->Grey = &Grey;
  }
  std::int64_t next = Prefetched.empty() ? from + Step : Prefetched.back()->Number + Step;
  while (Prefetched.size() < static_cast<std::size_t>(AheadDepth) && next < Frames) {
    if (!Prefetched.empty() && !Prefetched.back()->Frame) break;  // decoding failed there: nothing beyond it
    auto ahead = std::make_unique<AheadFrame>();
    ahead->Number = next;
    if (!Spare.empty()) {
      ahead->Picture = std::move(Spare.back());
      Spare.pop_back();
    }
    const AVFrame* decoded = Decode(static_cast<int>(next));
    if (decoded != nullptr) {
      ahead->Frame.reset(av_frame_alloc());
      if (!ahead->Frame || av_frame_ref(ahead->Frame.get(), decoded) < 0) ahead->Frame.reset();
    }
    if (ahead->Frame) {
      // The converters take turns: the one of the frame now leaving the queue is free again.
      Converter* converter = Converters[NextConverter++ % Converters.size()].get();
      const AVFrame* frame = ahead->Frame.get();
      Bitmap* picture = &ahead->Picture;
      const int width = Width, height = Height;
      if (!Workers) Workers = std::make_unique<ConversionThreads>(AheadDepth);
      ahead->Converted = Workers->Run(
          [converter, frame, picture, width, height] { return converter->Convert(frame, width, height, *picture); });
    }
    Prefetched.push_back(std::move(ahead));
    next += Step;
  }
}

bool VideoReader::State::ReadDecoded(int n, Bitmap& out) {
  const std::int64_t stride = LastAsked >= 0 ? n - LastAsked : 0;
  LastAsked = n;
  if (!Prefetched.empty() && Prefetched.front()->Number == n) {
    std::unique_ptr<AheadFrame> ahead = std::move(Prefetched.front());
    Prefetched.pop_front();
    const bool ok = ahead->Frame && ahead->Converted.get();
    if (ok) std::swap(out, ahead->Picture);
    if (Spare.size() <= static_cast<std::size_t>(AheadDepth)) Spare.push_back(std::move(ahead->Picture));
    Delivered = std::move(ahead->Frame);
    DeliveredNo = n;
    if (!ok) {
      DropAhead();
      return false;
    }
    DecodeAhead(n);
    return true;
  }
  // A second look at the frame just handed out (two fields of one frame).
  if (n == DeliveredNo && Delivered) return Convert(Delivered.get(), out);
  DropAhead();
  Step = stride >= 1 && stride <= 64 ? stride : 0;
  const AVFrame* frame = Decode(n);
  if (frame == nullptr) return false;
  if (!Delivered) Delivered.reset(av_frame_alloc());
  DeliveredNo = -1;
  if (!Delivered) return false;
  av_frame_unref(Delivered.get());
  if (av_frame_ref(Delivered.get(), frame) < 0) return false;
  DeliveredNo = n;
  DecodeAhead(n);  // the decoder moves on; frame n stays in Delivered
  return Convert(Delivered.get(), out);
}

VideoReader::VideoReader() : VideoReader(0) {}

VideoReader::VideoReader(int threads) : m_state(std::make_unique<State>()) {
  SilenceLibraryLog();
  SetThreads(threads);
}

void VideoReader::SetThreads(int threads) {
  if (!m_state) m_state = std::make_unique<State>();
  State& s = *m_state;
  s.Reset();
  s.Threads = std::max(0, threads);
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const int use = s.Threads == 0 ? cores : s.Threads;
  s.AheadDepth = use > 1 ? std::min(use, 8) : 0;
  s.Workers.reset();
  s.Converters.clear();
  s.NextConverter = 0;
}
VideoReader::~VideoReader() = default;
VideoReader::VideoReader(VideoReader&&) noexcept = default;
VideoReader& VideoReader::operator=(VideoReader&&) noexcept = default;

int VideoReader::FrameCount(const std::string& path) {
  if (!m_state) m_state = std::make_unique<State>();
  return m_state->Ensure(path) ? m_state->Frames : -1;
}

bool VideoReader::ReadFrame(const std::string& path, int n, Bitmap& out) {
  if (!m_state) m_state = std::make_unique<State>();
  State& s = *m_state;
  if (!s.Ensure(path) || n < 0 || n >= s.Frames) return false;
  if (s.Direct) {
    const State::Outcome outcome = s.ReadDirect(n, out);
    if (outcome != State::Outcome::Miss) return outcome == State::Outcome::Done;
  }
  return s.ReadDecoded(n, out);
}

void VideoReader::OpenMemory(std::span<const std::uint8_t> bytes, const std::string& name) {
  if (!m_state) m_state = std::make_unique<State>();
  State& s = *m_state;
  s.Reset();
  s.InMemory = true;
  s.Memory = bytes;
  s.Path = name;
  s.Usable = s.Open();
  if (!s.Usable) {
    // Keep the name, so that asking for it answers at once; the bytes are not needed.
    s.Reset();
    s.InMemory = true;
    s.Path = name;
  }
}

void VideoReader::Close() {
  if (m_state) m_state->Reset();
}

int AVIFrameCount(VideoReader& reader, const std::string& path) { return reader.FrameCount(path); }

bool AVIReadFrame(VideoReader& reader, const std::string& path, Bitmap& target, int n) {
  return reader.ReadFrame(path, n, target);
}

bool AVILoadFrame(VideoReader& reader, const std::string& path, int n, Bitmap& target) {
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (extension != ".AVI") return false;
  return AVIReadFrame(reader, path, target, n);
}

}  // namespace corvane

#include "io/video.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <climits>
#include <cstring>
#include <filesystem>
#include <mutex>
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

}  // namespace

struct VideoReader::State {
  // The file last asked for and whether it opened.
  std::string Path;
  FileIdentity Identity;
  bool Usable = false;

  std::unique_ptr<AVFormatContext, FormatClose> Format;
  AVStream* Stream = nullptr;
  std::unique_ptr<AVCodecContext, CodecFree> Decoder;
  std::unique_ptr<AVPacket, PacketFree> Packet;
  std::unique_ptr<SwsContext, ScaleFree> Scaler;
  Bitmap Scratch;  // the scaler's output, swapped into the caller's bitmap
  int Width = 0;
  int Height = 0;
  int Frames = 0;
  std::int64_t FirstTimestamp = 0;  // timestamp of frame 0
  int MinPacketBytes = 0;           // uncompressed paletted frames shorter than this are damaged
  bool IntraOnly = false;           // every frame decodes on its own
  std::int64_t Target = 0;          // the frame number being decoded to

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
  ColourTable FrameTable{};

  // Seeks go to the frame at or before the target; to any frame when every
  // frame decodes on its own (some recorders mark no key frames in the index).
  int SeekFlags() const { return AVSEEK_FLAG_BACKWARD | (IntraOnly ? AVSEEK_FLAG_ANY : 0); }
  bool Ensure(const std::string& path);
  void Reset() noexcept;
  bool Open();
  void SetUpDirect();
  enum class Outcome { Done, Miss, Failed };
  Outcome ReadDirect(int n, Bitmap& out);
  const AVFrame* Decode(int n);
  bool SeekTo(int n);
  bool DecodeNext(AVFrame* into, std::int64_t& number);
  bool Feed();
  bool Convert(const AVFrame* frame, Bitmap& out);
};

bool VideoReader::State::Ensure(const std::string& path) {
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
  Path.clear();
  Identity = FileIdentity{};
  Usable = false;
  Scaler.reset();
  Current.reset();
  Ahead.reset();
  Packet.reset();
  Decoder.reset();
  Format.reset();
  Stream = nullptr;
  Width = Height = Frames = 0;
  FirstTimestamp = 0;
  MinPacketBytes = 0;
  IntraOnly = false;
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
  const int opened = avformat_open_input(&format, Path.c_str(), avi, &options);
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
  Decoder->thread_count = 1;
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

bool VideoReader::State::SeekTo(int n) {
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
      return true;
    }
    if (received != AVERROR(EAGAIN) || Drained) return false;
    if (!Feed()) return false;
  }
}

const AVFrame* VideoReader::State::Decode(int n) {
  bool seek = !Positioned || CurrentNo > n;
  if (!seek && n > CurrentNo + 1 && !(AheadValid && AheadNo <= n)) {
    // Seek when the key frame at or before n lies beyond the next frame:
    // decoding the frames in between would be wasted.
    const int key = av_index_search_timestamp(Stream, n + FirstTimestamp, SeekFlags());
    seek = key >= 0 && avformat_index_get_entry(Stream, key)->timestamp - FirstTimestamp > CurrentNo + 1;
  }
  if (seek && !SeekTo(n)) return nullptr;
  Target = n;
  for (;;) {
    if (CurrentNo == n) return Current.get();
    if (!AheadValid) {
      if (!DecodeNext(Ahead.get(), AheadNo)) break;
      AheadValid = true;
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

bool VideoReader::State::Convert(const AVFrame* frame, Bitmap& out) {
  if (frame->width != Width || frame->height != Height || frame->data[0] == nullptr) return false;
  RowKind kind;
  switch (frame->format) {
    case AV_PIX_FMT_PAL8:
      if (frame->data[1] == nullptr) return false;
      kind = TableFromPalette(frame->data[1], FrameTable) ? RowKind::Grey : RowKind::Table;
      break;
    case AV_PIX_FMT_GRAY8: kind = RowKind::Grey; break;
    case AV_PIX_FMT_BGR24: kind = RowKind::Bgr; break;
    default: {
      const auto format = static_cast<AVPixelFormat>(frame->format);
      if (sws_isSupportedInput(format) <= 0) return false;
      SwsContext* scaler =
          sws_getCachedContext(Scaler.release(), Width, Height, format, Width, Height, AV_PIX_FMT_BGR24,
                               SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
      Scaler.reset(scaler);
      if (scaler == nullptr) return false;
      // Scaled aside and swapped in, so that a failure leaves `out` as it was.
      PrepareBitmap(Scratch, Width, Height);
      std::uint8_t* dst[4] = {Scratch.Bits(), nullptr, nullptr, nullptr};
      const int dstStride[4] = {static_cast<int>(Scratch.RowBytes()), 0, 0, 0};
      if (sws_scale(scaler, frame->data, frame->linesize, 0, Height, dst, dstStride) != Height) return false;
      std::swap(out, Scratch);
      return true;
    }
  }
  PrepareBitmap(out, Width, Height);
  ConvertRows(kind, frame->data[0], frame->linesize[0], FrameTable, out);
  return true;
}

VideoReader::VideoReader() : m_state(std::make_unique<State>()) { SilenceLibraryLog(); }
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
  const AVFrame* frame = s.Decode(n);
  return frame != nullptr && s.Convert(frame, out);
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

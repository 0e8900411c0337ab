#include "io/encoded_avi_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "core/errors.h"

namespace corvane {

namespace {

// The encoders report their settings on stderr; callers learn of failures
// through the exceptions alone.
void QuietLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
  });
}

const AVCodec* FindEncoder(AviCodec codec) {
  switch (codec) {
    case AviCodec::Mpeg4: return avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    case AviCodec::H264: return avcodec_find_encoder_by_name("libx264");
    case AviCodec::Mjpeg: return avcodec_find_encoder(AV_CODEC_ID_MJPEG);
  }
  return nullptr;
}

const char* CodecName(AviCodec codec) {
  switch (codec) {
    case AviCodec::Mpeg4: return "MPEG-4";
    case AviCodec::H264: return "H.264";
    case AviCodec::Mjpeg: return "MJPEG";
  }
  return "?";
}

std::string LibraryError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace

struct EncodedAviWriter::State {
  std::string Path;
  std::string TempPath;
  AviPixelFormat Format = AviPixelFormat::Grey8;
  int Width = 0;
  int Height = 0;
  AVFormatContext* Output = nullptr;
  AVCodecContext* Encoder = nullptr;
  AVStream* Stream = nullptr;
  AVFrame* Frame = nullptr;
  AVPacket* Packet = nullptr;
  SwsContext* Scaler = nullptr;
  std::int64_t NextPts = 0;
  bool HeaderWritten = false;
  bool Finished = false;

  ~State() { Release(true); }

  [[noreturn]] void Fail(const std::string& reason) {
    Release(true);
    throw WriteError("compressed AVI writer: cannot write \"" + Path + "\": " + reason);
  }

  void Release(bool removeTemp) noexcept {
    sws_freeContext(Scaler);
    Scaler = nullptr;
    av_packet_free(&Packet);
    av_frame_free(&Frame);
    avcodec_free_context(&Encoder);
    if (Output != nullptr) {
      if (Output->pb != nullptr) avio_closep(&Output->pb);
      avformat_free_context(Output);
      Output = nullptr;
    }
    if (removeTemp && !TempPath.empty()) {
      std::error_code ec;
      std::filesystem::remove(TempPath, ec);
      TempPath.clear();
    }
  }

  // Sends one frame (nullptr drains) and writes every packet the encoder gives.
  void Encode(AVFrame* frame) {
    int sent = avcodec_send_frame(Encoder, frame);
    if (sent < 0) Fail("the encoder refused a frame (" + LibraryError(sent) + ")");
    for (;;) {
      const int got = avcodec_receive_packet(Encoder, Packet);
      if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
      if (got < 0) Fail("encoding failed (" + LibraryError(got) + ")");
      av_packet_rescale_ts(Packet, Encoder->time_base, Stream->time_base);
      Packet->stream_index = Stream->index;
      const int written = av_interleaved_write_frame(Output, Packet);
      if (written < 0) Fail("writing failed (" + LibraryError(written) + ")");
    }
  }
};

bool EncodedAviWriter::Available(AviCodec codec) { return FindEncoder(codec) != nullptr; }

EncodedAviWriter::EncodedAviWriter(const std::string& path, int width, int height, AviPixelFormat format,
                                   const EncodedAviOptions& options)
    : m_state(std::make_unique<State>()) {
  QuietLibrary();
  State& s = *m_state;
  s.Path = path;
  s.Format = format;
  s.Width = width;
  s.Height = height;
  const bool evenNeeded = options.Codec != AviCodec::Mjpeg;
  if (width < 2 || height < 2 || width > 8192 || height > 8192 || options.Fps < 1 ||
      (evenNeeded && (width % 2 != 0 || height % 2 != 0)))
    s.Fail("bad video size " + std::to_string(width) + " x " + std::to_string(height) + " for " +
           CodecName(options.Codec) + " at " + std::to_string(options.Fps) + " frames per second");
  const AVCodec* codec = FindEncoder(options.Codec);
  if (codec == nullptr) s.Fail(std::string("no ") + CodecName(options.Codec) + " encoder in the library");

  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string tempName(".");
  tempName.append(target.filename().string()).append(".XXXXXX");
  s.TempPath = (folder / tempName).string();
  const int fd = ::mkstemp(s.TempPath.data());
  if (fd < 0) {
    s.TempPath.clear();
    s.Fail(std::strerror(errno));
  }
  ::close(fd);

  if (avformat_alloc_output_context2(&s.Output, nullptr, "avi", s.TempPath.c_str()) < 0 || s.Output == nullptr)
    s.Fail("no AVI muxer in the library");
  s.Encoder = avcodec_alloc_context3(codec);
  if (s.Encoder == nullptr) s.Fail("out of memory");
  AVCodecContext* e = s.Encoder;
  e->width = width;
  e->height = height;
  e->time_base = AVRational{1, options.Fps};
  e->framerate = AVRational{options.Fps, 1};
  e->gop_size = options.KeyInterval;
  e->max_b_frames = 0;
  e->thread_count = 1;  // the same bytes on every machine
  switch (options.Codec) {
    case AviCodec::Mpeg4:
    case AviCodec::Mjpeg:
      e->pix_fmt = options.Codec == AviCodec::Mjpeg ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
      e->flags |= AV_CODEC_FLAG_QSCALE;
      e->global_quality = FF_QP2LAMBDA * options.Quality;
      break;
    case AviCodec::H264:
      e->pix_fmt = AV_PIX_FMT_YUV420P;
      av_opt_set(e->priv_data, "preset", "veryfast", 0);
      av_opt_set_double(e->priv_data, "crf", options.Quality * 6.0, 0);
      break;
  }
  if (s.Output->oformat->flags & AVFMT_GLOBALHEADER) e->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  int opened = avcodec_open2(e, codec, nullptr);
  if (opened < 0)
    s.Fail(std::string("the ") + CodecName(options.Codec) + " encoder did not open (" + LibraryError(opened) + ")");
  s.Stream = avformat_new_stream(s.Output, nullptr);
  if (s.Stream == nullptr || avcodec_parameters_from_context(s.Stream->codecpar, e) < 0) s.Fail("out of memory");
  s.Stream->time_base = e->time_base;
  opened = avio_open(&s.Output->pb, s.TempPath.c_str(), AVIO_FLAG_WRITE);
  if (opened < 0) s.Fail(LibraryError(opened));
  opened = avformat_write_header(s.Output, nullptr);
  if (opened < 0) s.Fail("the AVI header could not be written (" + LibraryError(opened) + ")");
  s.HeaderWritten = true;

  s.Frame = av_frame_alloc();
  s.Packet = av_packet_alloc();
  if (s.Frame == nullptr || s.Packet == nullptr) s.Fail("out of memory");
  s.Frame->format = e->pix_fmt;
  s.Frame->width = width;
  s.Frame->height = height;
  if (av_frame_get_buffer(s.Frame, 0) < 0) s.Fail("out of memory");
  const AVPixelFormat from = format == AviPixelFormat::Grey8 ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_BGR24;
  s.Scaler = sws_getContext(width, height, from, width, height, e->pix_fmt, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr,
                            nullptr, nullptr);
  if (s.Scaler == nullptr) s.Fail("no colour conversion to the encoder's format");
}

EncodedAviWriter::~EncodedAviWriter() = default;

void EncodedAviWriter::AddFrame(const std::uint8_t* topDownPixels) {
  State& s = *m_state;
  if (s.Finished || s.Encoder == nullptr) s.Fail("the video is already finished");
  if (av_frame_make_writable(s.Frame) < 0) s.Fail("out of memory");
  const std::uint8_t* src[4] = {topDownPixels, nullptr, nullptr, nullptr};
  const int srcStride[4] = {s.Width * (s.Format == AviPixelFormat::Grey8 ? 1 : 3), 0, 0, 0};
  if (sws_scale(s.Scaler, src, srcStride, 0, s.Height, s.Frame->data, s.Frame->linesize) != s.Height)
    s.Fail("the colour conversion failed");
  s.Frame->pts = s.NextPts++;
  s.Encode(s.Frame);
}

void EncodedAviWriter::Finish() {
  State& s = *m_state;
  if (s.Finished || s.Encoder == nullptr) s.Fail("the video is already finished");
  s.Encode(nullptr);
  const int trailer = av_write_trailer(s.Output);
  if (trailer < 0) s.Fail("the index could not be written (" + LibraryError(trailer) + ")");
  if (avio_closep(&s.Output->pb) < 0) s.Fail("closing the file failed");
  if (::chmod(s.TempPath.c_str(), 0644) != 0) s.Fail(std::strerror(errno));
  std::error_code ec;
  std::filesystem::rename(s.TempPath, s.Path, ec);
  if (ec) s.Fail(ec.message());
  s.TempPath.clear();
  s.Finished = true;
  s.Release(false);
}

}  // namespace corvane

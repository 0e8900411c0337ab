// The video reader: AVI files through an I/O context over the input bytes,
// frames read out of order (forwards, backwards, the last one, again).
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <vector>

#include "core/image16.h"
#include "fuzz/fuzz_support.h"
#include "io/avi_writer.h"
#include "io/video.h"

using namespace corvane;

namespace {

/// A short AVI of `frames` frames of the codec, muxed by the library.
std::vector<std::uint8_t> EncodeAvi(const fuzz::ScratchFolder& scratch, AVCodecID id, AVPixelFormat format, int gop) {
  const std::string path = scratch.File("encoded.avi");
  std::vector<std::uint8_t> bytes;
  const AVCodec* codec = avcodec_find_encoder(id);
  AVFormatContext* out = nullptr;
  if (codec == nullptr || avformat_alloc_output_context2(&out, nullptr, "avi", path.c_str()) < 0) return bytes;
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->width = 24;
  ctx->height = 16;
  ctx->pix_fmt = format;
  ctx->time_base = AVRational{1, 25};
  ctx->gop_size = gop;
  ctx->thread_count = 1;
  ctx->flags |= AV_CODEC_FLAG_QSCALE;
  ctx->global_quality = FF_QP2LAMBDA * 3;
  AVStream* stream = avformat_new_stream(out, nullptr);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  bool ok = stream != nullptr && avcodec_open2(ctx, codec, nullptr) == 0 &&
            avcodec_parameters_from_context(stream->codecpar, ctx) >= 0 &&
            avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0;
  if (ok) {
    stream->time_base = ctx->time_base;
    ok = avformat_write_header(out, nullptr) >= 0;
  }
  for (int i = 0; ok && i < 6; ++i) {
    frame->format = format;
    frame->width = ctx->width;
    frame->height = ctx->height;
    if (av_frame_get_buffer(frame, 0) < 0) break;
    for (int p = 0; p < 3; ++p) {
      const int h = p == 0 ? ctx->height : ctx->height / 2;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < frame->linesize[p]; ++x)
          frame->data[p][y * frame->linesize[p] + x] =
              static_cast<std::uint8_t>(p == 0 ? 16 + 5 * x + 3 * y + 9 * i : 128);
    }
    frame->pts = i;
    frame->quality = ctx->global_quality;
    if (avcodec_send_frame(ctx, frame) < 0) break;
    while (avcodec_receive_packet(ctx, packet) == 0) {
      av_packet_rescale_ts(packet, ctx->time_base, stream->time_base);
      packet->stream_index = stream->index;
      av_interleaved_write_frame(out, packet);
    }
    av_frame_unref(frame);
  }
  if (ok) {
    av_write_trailer(out);
    avio_closep(&out->pb);
    bytes = fuzz::ReadFileBytes(path);
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  avformat_free_context(out);
  return bytes;
}

}  // namespace

CORVANE_FUZZ_SEEDS(avi) {
  const fuzz::ScratchFolder scratch;
  for (const auto format : {AviPixelFormat::Grey8, AviPixelFormat::Bgr24}) {
    const std::string path = scratch.File("raw.avi");
    AviWriter writer(path, 10, 6, format);
    std::vector<std::uint8_t> pixels(10 * 6 * (format == AviPixelFormat::Grey8 ? 1 : 3));
    for (int f = 0; f < 5; ++f) {
      for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 3 + f * 40);
      writer.AddFrame(pixels.data());
    }
    writer.Finish();
    std::vector<std::uint8_t> bytes = fuzz::ReadFileBytes(path);
    const std::string name = format == AviPixelFormat::Grey8 ? "grey8" : "bgr24";
    seeds.Add(name + ".avi", bytes);
    // The same recording cut off before its index.
    const std::size_t index = 8 + 16 * 5;
    if (bytes.size() > index) bytes.resize(bytes.size() - index);
    seeds.Add(name + "-noindex.avi", bytes);
  }
  seeds.Add("mjpeg.avi", EncodeAvi(scratch, AV_CODEC_ID_MJPEG, AV_PIX_FMT_YUVJ420P, 1));
  seeds.Add("ffv1.avi", EncodeAvi(scratch, AV_CODEC_ID_FFV1, AV_PIX_FMT_YUV420P, 3));
  seeds.Add("mpeg4.avi", EncodeAvi(scratch, AV_CODEC_ID_MPEG4, AV_PIX_FMT_YUV420P, 3));
}

CORVANE_FUZZ_TARGET(data, size) {
  VideoReader reader;
  const std::string name = "input.avi";
  reader.OpenMemory({data, size}, name);
  const int frames = reader.FrameCount(name);
  if (frames < -1) fuzz::Broken("a frame count below -1");
  if (frames <= 0) return 0;
  Bitmap picture;
  for (const int n : {0, 2, 1, frames - 1, 0, frames / 2, -1, frames}) {
    const bool read = reader.ReadFrame(name, n, picture);
    if (read && (n < 0 || n >= frames)) fuzz::Broken("a frame outside the video");
    if (read && (picture.Format() != PixelFormat::Bgr24 || picture.Width() < 1 || picture.Height() < 1 ||
                 picture.Width() > MaxImageWidth || picture.Height() > MaxImageHeight))
      fuzz::Broken("a frame that is not a 24-bit picture within the plane limits");
  }
  return 0;
}

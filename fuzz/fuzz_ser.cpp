// The SER video reader: header checks, frame count of cut files, byte order
// from the data, Bayer demosaicing.
#include "core/errors.h"
#include "fuzz/fuzz_support.h"
#include "io/picture_input.h"
#include "io/ser.h"
#include "io/ser_writer.h"

using namespace corvane;

namespace {

std::vector<std::vector<std::uint16_t>> Frames(const test::SerLayout& s, int count) {
  const int perPixel = s.Colour >= 100 ? 3 : 1;
  const int top = (1 << s.Depth) - 1;
  std::vector<std::vector<std::uint16_t>> frames(static_cast<std::size_t>(count));
  for (int f = 0; f < count; ++f)
    for (int i = 0; i < s.Width * s.Height * perPixel; ++i)
      frames[f].push_back(static_cast<std::uint16_t>((i * 37 + f * 11) % (top + 1)));
  return frames;
}

}  // namespace

CORVANE_FUZZ_SEEDS(ser) {
  struct Seed {
    const char* name;
    std::int32_t colour, depth;
    bool little;
  };
  for (const Seed& k : {Seed{"mono8.ser", 0, 8, true}, Seed{"mono12le.ser", 0, 12, true},
                        Seed{"mono16be.ser", 0, 16, false}, Seed{"rggb8.ser", 8, 8, true},
                        Seed{"bggr14.ser", 11, 14, true}, Seed{"rgb8.ser", 100, 8, true},
                        Seed{"bgr16.ser", 101, 16, false}}) {
    test::SerLayout s;
    s.Colour = k.colour;
    s.Depth = k.depth;
    s.SamplesLittle = k.little;
    s.Width = 6;
    s.Height = 4;
    seeds.Add(k.name, test::SerBytes(s, Frames(s, 3)));
  }
  test::SerLayout cut;  // the header promises more frames than the file holds
  cut.HeaderFrames = 9;
  cut.Trailer = false;
  seeds.Add("cut.ser", test::SerBytes(cut, Frames(cut, 2)));
}

CORVANE_FUZZ_TARGET(data, size) {
  static fuzz::MemoryFile file;
  static SourceFrame frame;  // reused, as a load reuses it
  try {
    SerReader reader(file.Hold(data, size), SerByteOrder::FromData);
    const int frames = reader.FrameCount();
    if (frames < 1) fuzz::Broken("an open SER file without a frame");
    if (!PictureSizeAllowed(reader.Header().Width, reader.Header().Height))
      fuzz::Broken("a SER frame beyond the reader limits");
    for (const int n : {0, frames - 1, frames / 2}) {
      reader.ReadFrame(n, frame);
      if (frame.Width() != reader.Header().Width || frame.Height() != reader.Header().Height)
        fuzz::Broken("a frame of another size than the header's");
      if (frame.IsDeep != (reader.SampleDepth() > 8)) fuzz::Broken("a frame of the wrong depth");
    }
    try {
      reader.ReadFrame(frames, frame);
      fuzz::Broken("a frame beyond the last one was read");
    } catch (const ReadError&) {
    }
  } catch (const ReadError&) {
    return 0;
  }
  return 0;
}

// Look-up table files ("Use LUT", --lut): read at every rendering.
#include <vector>

#include "core/errors.h"
#include "core/frame_list.h"
#include "core/services.h"
#include "fuzz/fuzz_support.h"
#include "output/render.h"
#include "settings/settings.h"

using namespace corvane;

CORVANE_FUZZ_SEEDS(lut) {
  std::vector<std::uint8_t> ramp(LutFileBytes), inverse(LutFileBytes);
  for (std::size_t i = 0; i < 65536; ++i) {
    ramp[2 * i] = static_cast<std::uint8_t>(i);
    ramp[2 * i + 1] = static_cast<std::uint8_t>(i >> 8);
    inverse[2 * i] = static_cast<std::uint8_t>(65535 - i);
    inverse[2 * i + 1] = static_cast<std::uint8_t>((65535 - i) >> 8);
  }
  seeds.Add("identity.lut", ramp);
  seeds.Add("inverse.lut", inverse);
  seeds.Add("short.lut", std::vector<std::uint8_t>(ramp.begin(), ramp.begin() + 1000));
}

CORVANE_FUZZ_TARGET(data, size) {
  static fuzz::MemoryFile file;
  static TResultPicture result;  // 192 x 144 black planes
  Settings settings;
  settings.EditSave.LUTFile = file.Hold(data, size);
  settings.EditSave.UseLUT = true;
  settings.EditSave.ShowAs = static_cast<std::uint8_t>(size % 6);
  RenderState state;
  NullServices services;
  try {
    const Bitmap shown = RenderResultPicture(result, settings, state, 3, services);
    if (shown.Width() != result.Mono.Width || shown.Height() != result.Mono.Height)
      fuzz::Broken("the rendering does not have the picture's size");
  } catch (const ReadError&) {
    if (size >= LutFileBytes) fuzz::Broken("a whole table was refused");
  }
  return 0;
}

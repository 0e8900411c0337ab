#pragma once
// Rendering of the result picture: the four 16-bit planes of TResultPicture
// become the one 24-bit bitmap that the result pane shows and "Save" writes.
// The mono plane passes the user's look-up table (with "Use LUT") and the
// brightness/contrast table; then "Show" picks one of six views, two of which
// mix the colour planes with the saturation and the colour weights.
#include <cstdint>
#include <memory>
#include <string>

#include "core/bitmap.h"
#include "core/frame_list.h"
#include "core/image16.h"
#include "core/image_ops.h"
#include "core/picture16.h"
#include "core/services.h"
#include "settings/settings.h"

namespace corvane {

/// Bytes of a LUT file: 65 536 unsigned 16-bit little-endian words, no header.
constexpr std::size_t LutFileBytes = 131072;

/// Frees a Lut16 made by MakeLut16.
struct Lut16Free {
  void operator()(Lut16* table) const noexcept;
};
/// An owned table of 65 536 entries.
using Lut16Ptr = std::unique_ptr<Lut16, Lut16Free>;
/// A new table with every entry 0. Throws std::bad_alloc.
Lut16Ptr MakeLut16();

/// Rendering state owned by the program.
struct RenderState {
  RenderState();
  /// The user look-up table: all 0 at start; the inverting table after
  /// SaveInvertingLut; the LUT file's words after a rendering read one.
  Lut16Ptr LutTable;
  /// The brightness/contrast table of the last rendering and its two settings:
  /// the curves are evaluated again only when bias or gain change.
  Lut16Ptr BiasGainTable;
  double BiasGainBias = -1.0;
  double BiasGainGain = -1.0;
  /// What a rendering does when EditSave.LUTFile cannot be read. false (the
  /// batch tool, which is given the file once): ReadError ends the rendering.
  /// true (the window, where a chosen file may be deleted or its disk
  /// unplugged while the program runs): the picture is rendered without the
  /// user table, as with "Use LUT" off, and the status line says so once per
  /// file, until the file reads again or another one is chosen.
  bool RenderWithoutUnreadableLut = false;
  /// The LUT file whose failure the status line has shown.
  std::string UnreadableLutShown;
};

/// Reads the first 131 072 bytes of a LUT file as 65 536 little-endian words
/// into `table` (bytes beyond are ignored). Throws ReadError naming the file
/// when it cannot be opened or read or is shorter; `table` is then unchanged.
void ReadLutFile(const std::string& path, Lut16& table);

/// "Load LUT" after the user confirmed `path`: the file is read first, so a
/// file that cannot serve as a look-up table throws ReadError naming it and
/// changes nothing (a chosen file is read again at every rendering, which
/// would otherwise fail from then on); then EditSave.LUTFile := path and the
/// Edit/Save listeners are notified.
void ChooseLutFile(Settings& settings, const std::string& path);

/// "No LUT": forgets the chosen LUT file and unticks "Use LUT" (the table
/// keeps what it holds), then notifies the Edit/Save listeners once.
void ClearLutFile(Settings& settings);

/// Renders the result picture:
/// 1. when EditSave.LUTFile is not empty the file is read into state.LutTable
///    (whether or not UseLUT is ticked); for a file that cannot be read see
///    RenderState::RenderWithoutUnreadableLut;
/// 2. the brightness/contrast table BuildBiasGainLut(65 536, Bias, Gain);
/// 3. P := a copy of the mono plane; with UseLUT, P := LutTable[P]; then
///    P := bias/gain table[P];
/// 4. a 24-bit bitmap of P's size (an empty mono plane gives an empty one) and
///    by ShowAs: 0 P as grey; 1 R, 2 G, 3 B that plane as it is into its own
///    colour and, unless General.ShowRGBcolor, into the other two as well (a
///    grey picture of the channel); 4 RenderColour with P, useL; 5 RenderColour
///    without L. Any other ShowAs leaves the bitmap black;
/// 5. unless `workflowState` is 1 (previewing) the bitmap is shown with
///    services.ShowInResultPane.
/// Returns the bitmap. Throws ReadError from the LUT file (unless rendering
/// without it) before anything is shown, so the pane keeps its previous
/// picture; RangeError from the bitmap
/// conversions for planes wider than the 24-bit row limit.
Bitmap RenderResultPicture(const TResultPicture& result, const Settings& settings, RenderState& state,
                           std::uint8_t workflowState, Services& services);

/// Fills every pixel of the bitmap (made 24-bit first; its size is kept) from
/// the planes. S := round(256 x saturation), wR, wG, wB := round(255 x weight)
/// (ties to even). Each plane is read at (min(x, width - 1), min(y, height - 1))
/// and shifted right by 8 (so smaller planes repeat their last column and row;
/// an empty plane reads as 0), giving l, r, g, b.
/// - useL (LRGB): i := (r wR + g wG + b wB) div 256; when S != 256 each c of
///   r, g, b := i + ((c - i) S) div 256; i := max(i, 1); the pixel is
///   clamp(c l div i) per colour.
/// - RGB: the pixel is clamp(c wC div 85) per colour; saturation and L are
///   not used.
/// Divisions truncate toward zero; clamp limits to 0..255. Throws RangeError,
/// changing nothing, when the saturation or a weight is not a finite number
/// or |S| or a |w| passes 2^24.
void RenderColour(Bitmap& bitmap, const TImage16& l, const TImage16& r, const TImage16& g, const TImage16& b,
                  double saturation, double rWeight, double gWeight, double bWeight, bool useL);

/// The result picture rendered by the rules of RenderResultPicture but without
/// the final cut to 8 bits, for the 16-bit result files. Steps 1 to 3 are the
/// same (the LUT file is read, P is the mono plane through the user table and
/// the brightness/contrast table); then by ShowAs: 0 P as a grey picture;
/// 1 R, 2 G, 3 B that plane as it is, as a grey picture; 4 and 5 a colour
/// picture by RenderColour16. The picture has the mono plane's size (planes of
/// another size are cut or padded with black as the 24-bit rendering does);
/// any other ShowAs gives a black grey picture. Nothing is shown. Throws
/// ReadError from the LUT file (unless rendering without it, as the picture
/// shown was rendered).
Picture16 RenderResultPicture16(const TResultPicture& result, const Settings& settings, RenderState& state);

/// RenderColour on full 16-bit samples: each plane read at (min(x, width - 1),
/// min(y, height - 1)) without the shift by 8, giving l, r, g, b in 0..65535;
/// the same S, wR, wG, wB and the same formulas in 64-bit integers, each colour
/// held to 0..65535. Fills a colour picture of the picture's size (made a
/// colour picture first). Throws RangeError as RenderColour does.
void RenderColour16(Picture16& picture, const TImage16& l, const TImage16& r, const TImage16& g, const TImage16& b,
                    double saturation, double rWeight, double gWeight, double bWeight, bool useL);

}  // namespace corvane

#include "cli/report.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <type_traits>

namespace corvane::cli {

namespace {

/// Length of the well-formed UTF-8 sequence at the start of `s` (1..4), or 0
/// when it does not start with one (a stray continuation byte, an overlong
/// form, an encoded surrogate, a code point above U+10FFFF, a cut sequence).
std::size_t Utf8SequenceLength(std::string_view s) noexcept {
  const auto byte = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(0);
  if (b0 < 0x80) return 1;
  std::size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3;
    if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
    if (b0 == 0xED) hi = 0x9F;  // no surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (s.size() < n || byte(1) < lo || byte(1) > hi) return 0;
  for (std::size_t i = 2; i < n; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return n;
}

void AppendHex4(std::string& out, unsigned value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kDigits[(value >> shift) & 0xF]);
}

/// A small writer of indented JSON text; the report's shape is fixed, so it
/// needs no document model.
class JsonWriter {
 public:
  std::string Take() {
    m_out.push_back('\n');
    return std::move(m_out);
  }

  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  /// `inlined`: the elements on one line ("[1, 2]"), for short lists of numbers.
  void BeginArray(bool inlined = false) {
    Open('[');
    m_inline.back() = inlined;
  }
  void EndArray() { Close(']'); }

  /// A key and its value: a number, a truth value or a string.
  template <typename T>
  void Field(std::string_view key, const T& value) {
    Key(key);
    if constexpr (std::is_same_v<T, bool>) {
      Bool(value);
    } else if constexpr (std::is_integral_v<T>) {
      Integer(value);
    } else if constexpr (std::is_floating_point_v<T>) {
      Real(value);
    } else {
      String(value);
    }
  }

  void Key(std::string_view key) {
    Separate();
    AppendString(m_out, key);
    m_out += ": ";
    m_afterKey = true;
  }
  void String(std::string_view text) {
    Separate();
    AppendString(m_out, text);
  }
  void Integer(long long value) {
    Separate();
    m_out += std::to_string(value);
  }
  void Bool(bool value) {
    Separate();
    m_out += value ? "true" : "false";
  }
  /// The shortest text that reads back as the same double; a whole number
  /// keeps a ".0" so that it reads as a real; what JSON has no number for is null.
  void Real(double value) {
    Separate();
    if (!std::isfinite(value)) {
      m_out += "null";
      return;
    }
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    const std::string_view digits(text, static_cast<std::size_t>(result.ptr - text));
    m_out += digits;
    if (digits.find_first_of(".e") == std::string_view::npos) m_out += ".0";
  }

  /// A JSON string of the bytes. Well-formed UTF-8 is written as it is.
  /// Each byte that is not part of well-formed UTF-8 (a file name in another
  /// encoding) becomes the lone surrogate U+DC00 + byte (\udc80..\udcff), so
  /// that the exact bytes can be recovered (Python: os.fsencode).
  static void AppendString(std::string& out, std::string_view bytes) {
    out.push_back('"');
    while (!bytes.empty()) {
      const auto c = static_cast<unsigned char>(bytes.front());
      const std::size_t n = Utf8SequenceLength(bytes);
      if (n == 0) {
        AppendHex4(out, 0xDC00u + c);
        bytes.remove_prefix(1);
        continue;
      }
      if (n == 1) {
        switch (c) {
          case '"': out += "\\\""; break;
          case '\\': out += "\\\\"; break;
          case '\n': out += "\\n"; break;
          case '\r': out += "\\r"; break;
          case '\t': out += "\\t"; break;
          case '\b': out += "\\b"; break;
          case '\f': out += "\\f"; break;
          default:
            if (c < 0x20 || c == 0x7F)
              AppendHex4(out, c);
            else
              out.push_back(static_cast<char>(c));
        }
      } else {
        out.append(bytes.substr(0, n));
      }
      bytes.remove_prefix(n);
    }
    out.push_back('"');
  }

 private:
  void Open(char bracket) {
    Separate();
    m_out.push_back(bracket);
    m_first.push_back(true);
    m_inline.push_back(false);
  }
  void Close(char bracket) {
    const bool empty = m_first.back();
    const bool inlined = m_inline.back();
    m_first.pop_back();
    m_inline.pop_back();
    if (!empty && !inlined) NewLine();
    m_out.push_back(bracket);
  }
  // Before a value or key: the comma and line break that separate it from the one before.
  void Separate() {
    if (m_afterKey) {
      m_afterKey = false;
      return;
    }
    if (m_first.empty()) return;
    if (!m_first.back()) m_out.push_back(',');
    m_first.back() = false;
    if (m_inline.back()) {
      if (m_out.back() == ',') m_out.push_back(' ');
    } else {
      NewLine();
    }
  }
  void NewLine() {
    m_out.push_back('\n');
    m_out.append(2 * m_first.size(), ' ');
  }

  std::string m_out;
  std::vector<bool> m_first;   // per open container: no element yet
  std::vector<bool> m_inline;  // per open container: elements on one line
  bool m_afterKey = false;
};

void Pair(JsonWriter& w, std::string_view key, long long a, long long b) {
  w.Key(key);
  w.BeginArray(true);
  w.Integer(a);
  w.Integer(b);
  w.EndArray();
}

}  // namespace

void RunRecord::TakeFrames(const FrameList& frames) {
  Frames.clear();
  Frames.reserve(static_cast<std::size_t>(frames.Count()));
  for (int i = 0; i < frames.Count(); ++i) {
    const TImageListItem& f = frames[i];
    Frame r;
    r.Index = i;
    r.File = f.FileName;
    r.Number = f.Number;
    r.Width = f.Image.Width;
    r.Height = f.Image.Height;
    r.Center = f.Center;
    r.Shift = f.Shift;
    r.SubShift = f.SubShift;
    r.Sharpness = f.Sharpness;
    r.Mean = f.Mean;
    r.Rotate = f.Rotate;
    r.Resize = f.Resize;
    r.Correlation = f.Correlation;
    r.Quality = f.Quality;
    r.QualityCorrelation = f.QualityCorrelation;
    r.QualityLuminance = f.QualityLuminance;
    r.QualityContrast = f.QualityContrast;
    Frames.push_back(std::move(r));
  }
}

std::string JsonString(std::string_view bytes) {
  std::string out;
  JsonWriter::AppendString(out, bytes);
  return out;
}

std::string Report::ToJson(const std::string& version) const {
  JsonWriter w;
  w.BeginObject();
  w.Field("program", "corvane-cli");
  w.Field("version", version);
  w.Key("files");
  w.BeginArray();
  for (const std::string& file : Files) w.String(file);
  w.EndArray();
  Pair(w, "input_size", InputSize[0], InputSize[1]);
  Pair(w, "output_size", OutputSize[0], OutputSize[1]);
  w.Field("max_frames", MaxFrames);
  w.Key("runs");
  w.BeginArray();
  for (const RunRecord& run : Runs) {
    w.BeginObject();
    w.Field("channel", run.Channel);
    w.Key("frames");
    w.BeginArray();
    for (const RunRecord::Frame& f : run.Frames) {
      w.BeginObject();
      w.Field("index", f.Index);
      w.Field("file", f.File);
      w.Field("number", f.Number);
      w.Field("width", f.Width);
      w.Field("height", f.Height);
      Pair(w, "center", f.Center.x, f.Center.y);
      w.Field("mean", f.Mean);
      if (run.DecimalShifts) {
        w.Key("shift");
        w.BeginArray(true);
        w.Real(f.Shift.x + f.SubShift.x);
        w.Real(f.Shift.y + f.SubShift.y);
        w.EndArray();
      } else {
        Pair(w, "shift", f.Shift.x, f.Shift.y);
      }
      w.Field("rotate", f.Rotate);
      w.Field("resize", f.Resize);
      w.Field("correlation", f.Correlation);
      w.Field("quality", f.Quality);
      w.Field("quality_correlation", f.QualityCorrelation);
      w.Field("quality_luminance", f.QualityLuminance);
      w.Field("quality_contrast", f.QualityContrast);
      if (run.Sharpness) w.Field("sharpness", f.Sharpness);
      w.EndObject();
    }
    w.EndArray();
    w.Field("good_frames", run.GoodFrames);
    w.Field("stopped", run.Stopped);
    w.Key("timings_ms");
    w.BeginObject();
    w.Field("load", run.LoadMs);
    w.Field("stack", run.StackMs);
    w.Field("calculate", run.CalculateMs);
    w.EndObject();
    w.EndObject();
  }
  w.EndArray();
  w.Field("stopped", Stopped);
  w.Field("output", Output);
  w.Key("raw_output");
  w.BeginArray();
  for (const std::string& file : RawOutput) w.String(file);
  w.EndArray();
  w.EndObject();
  return w.Take();
}

}  // namespace corvane::cli

#pragma once
// A small INI document: named sections in square brackets, each followed by
// "key=value" lines. Section and key names match without regard to ASCII
// letter case; the first section and the first key of a name win.
//
// The document keeps every line it does not manage (other sections, other
// keys, comments, blank lines, lines it cannot make sense of), so a file that
// is read, changed and written back loses nothing but lines that are not text
// at all (control characters or NUL bytes), which are dropped as corruption.
//
// Text is taken byte for byte (UTF-8 by convention; bytes that are not valid
// UTF-8 are kept as they are, since folder names may contain them). A UTF-8
// byte-order mark and CR LF line ends are kept when the document is written;
// a byte-order mark at the start of a later line is read past.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class IniDocument {
 public:
  /// An empty document.
  IniDocument() = default;

  /// Parses a whole file. Never fails: what cannot be read is ignored.
  static IniDocument Parse(std::string_view text);

  /// The value of the first `key` in the first `section`, with blanks around
  /// it removed and one pair of matching quotes (" or ') around it taken
  /// away; nothing when the section or the key is missing.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;

  /// Sets the value of the first `key` in the first `section` (the line is
  /// rewritten in place); a missing key is added after the last line of the
  /// section, a missing section at the end of the document. A value with
  /// blanks at either end or with matching quotes around it is written in
  /// double quotes, so that Value gives it back unchanged. A value holding a
  /// control character other than the tab (a line break, a NUL byte, ESC...)
  /// cannot be written: the answer is false and the document is unchanged.
  bool SetValue(std::string_view section, std::string_view key, std::string_view value);

  /// The document as file text; every line ends with the document's line end.
  std::string Text() const;

 private:
  enum class LineKind : std::uint8_t { Blank, Comment, Section, Key, Other, Broken };
  struct Line {
    std::string Raw;  ///< the line without its line end
    LineKind Kind;
    std::string Name;  ///< section or key name, trimmed
  };

  static Line Classify(std::string raw);
  /// Index of the first header of `section`, or npos.
  std::size_t FindSection(std::string_view section) const;
  /// One past the last line of the section whose header is at `header`.
  std::size_t SectionEnd(std::size_t header) const;

  std::vector<Line> m_lines;
  std::string m_lineEnd = "\n";
  bool m_byteOrderMark = false;
};

/// Strict decimal integer: optional sign, digits, inside the 32-bit range;
/// blanks around it are allowed. Anything else is nothing.
std::optional<std::int32_t> ParseIniInteger(std::string_view text);

/// True when both ASCII names are equal ignoring letter case.
bool SameIniName(std::string_view a, std::string_view b) noexcept;

}  // namespace corvane

#include "settings/ini_file.h"

#include <charconv>
#include <limits>

namespace corvane {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) noexcept {
  const std::size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const std::size_t last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

char LowerAscii(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// A line is text when it holds no control characters other than the tab.
bool IsTextLine(std::string_view s) noexcept {
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t') || u == 0x7f) return false;
  }
  return true;
}

bool IsQuote(char c) noexcept { return c == '"' || c == '\''; }

bool QuotedPair(std::string_view s) noexcept { return s.size() >= 2 && IsQuote(s.front()) && s.front() == s.back(); }

std::string EncodeValue(std::string_view value) {
  if (value.empty()) return {};
  const bool blankEnds =
      kBlanks.find(value.front()) != std::string_view::npos || kBlanks.find(value.back()) != std::string_view::npos;
  std::string text;
  const bool quote = blankEnds || QuotedPair(value);
  if (quote) text.push_back('"');
  text.append(value);
  if (quote) text.push_back('"');
  return text;
}

}  // namespace

bool SameIniName(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

std::optional<std::int32_t> ParseIniInteger(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return static_cast<std::int32_t>(value);
}

IniDocument::Line IniDocument::Classify(std::string raw) {
  Line line{std::move(raw), LineKind::Other, {}};
  if (!IsTextLine(line.Raw)) {
    line.Kind = LineKind::Broken;
    return line;
  }
  // A byte-order mark at the start of a line (files joined together) is no
  // part of the line's text: "[GENERAL]" after one is still a section header.
  std::string_view t = line.Raw;
  while (t.starts_with(kByteOrderMark)) t.remove_prefix(kByteOrderMark.size());
  t = Trim(t);
  if (t.empty()) {
    line.Kind = LineKind::Blank;
  } else if (t.front() == ';' || t.front() == '#') {
    line.Kind = LineKind::Comment;
  } else if (t.front() == '[') {
    const std::size_t close = t.find(']');
    if (close != std::string_view::npos) {
      line.Kind = LineKind::Section;
      line.Name = std::string(Trim(t.substr(1, close - 1)));
    }
  } else if (const std::size_t eq = t.find('='); eq != std::string_view::npos) {
    const std::string_view key = Trim(t.substr(0, eq));
    if (!key.empty()) {
      line.Kind = LineKind::Key;
      line.Name = std::string(key);
    }
  }
  return line;
}

IniDocument IniDocument::Parse(std::string_view text) {
  IniDocument doc;
  if (text.starts_with(kByteOrderMark)) {
    doc.m_byteOrderMark = true;
    text.remove_prefix(kByteOrderMark.size());
  }
  bool sawLineEnd = false;
  while (!text.empty()) {
    std::size_t nl = text.find('\n');
    const bool terminated = nl != std::string_view::npos;
    if (!terminated) nl = text.size();
    std::string_view raw = text.substr(0, nl);
    if (terminated && !sawLineEnd) {
      sawLineEnd = true;
      if (raw.ends_with('\r')) doc.m_lineEnd = "\r\n";
    }
    if (raw.ends_with('\r')) raw.remove_suffix(1);
    doc.m_lines.push_back(Classify(std::string(raw)));
    text.remove_prefix(terminated ? nl + 1 : nl);
  }
  return doc;
}

std::size_t IniDocument::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < m_lines.size(); ++i)
    if (m_lines[i].Kind == LineKind::Section && SameIniName(m_lines[i].Name, section)) return i;
  return std::string::npos;
}

std::size_t IniDocument::SectionEnd(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < m_lines.size() && m_lines[i].Kind != LineKind::Section) ++i;
  return i;
}

std::optional<std::string> IniDocument::Value(std::string_view section, std::string_view key) const {
  const std::size_t header = FindSection(section);
  if (header == std::string::npos) return std::nullopt;
  const std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    const Line& line = m_lines[i];
    if (line.Kind != LineKind::Key || !SameIniName(line.Name, key)) continue;
    std::string_view value = Trim(std::string_view(line.Raw).substr(line.Raw.find('=') + 1));
    if (QuotedPair(value)) value = value.substr(1, value.size() - 2);
    return std::string(value);
  }
  return std::nullopt;
}

bool IniDocument::SetValue(std::string_view section, std::string_view key, std::string_view value) {
  // A line with a control character is no text line and would be dropped
  // when the document is written: such a value is refused here instead.
  if (!IsTextLine(value)) return false;
  Line line = Classify(std::string(key) + "=" + EncodeValue(value));
  std::size_t header = FindSection(section);
  if (header == std::string::npos) {
    // One blank line between the last line that is kept and the new section.
    auto last = m_lines.rbegin();
    while (last != m_lines.rend() && last->Kind == LineKind::Broken) ++last;
    if (last != m_lines.rend() && last->Kind != LineKind::Blank) m_lines.push_back(Classify(""));
    std::string header(1, '[');
    header.append(section).push_back(']');
    m_lines.push_back(Classify(std::move(header)));
    m_lines.push_back(std::move(line));
    return true;
  }
  const std::size_t end = SectionEnd(header);
  std::size_t insertAt = header + 1;
  for (std::size_t i = header + 1; i < end; ++i) {
    if (m_lines[i].Kind == LineKind::Key && SameIniName(m_lines[i].Name, key)) {
      m_lines[i] = std::move(line);
      return true;
    }
    if (m_lines[i].Kind != LineKind::Blank && m_lines[i].Kind != LineKind::Broken) insertAt = i + 1;
  }
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
  return true;
}

std::string IniDocument::Text() const {
  std::string text;
  if (m_byteOrderMark) text = "\xEF\xBB\xBF";
  for (const Line& line : m_lines) {
    if (line.Kind == LineKind::Broken) continue;
    text += line.Raw;
    text += m_lineEnd;
  }
  return text;
}

}  // namespace corvane

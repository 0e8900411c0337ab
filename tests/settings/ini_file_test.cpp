#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <random>

using namespace corvane;

TEST(IniDocument, LooksUpWithoutRegardToCaseFirstSectionAndKeyWin) {
  const IniDocument ini = IniDocument::Parse(
      "top=1\n"
      "[General]\n"
      "  ShowHints =  2  \n"
      "showhints=3\n"
      "[GENERAL]\n"
      "Other=4\n"
      "[other]\n"
      "ShowHints=5\n");
  EXPECT_EQ(ini.Value("GENERAL", "SHOWHINTS"), "2");
  EXPECT_EQ(ini.Value("general", "Other"), std::nullopt);  // only the first GENERAL section counts
  EXPECT_EQ(ini.Value("Other", "showHints"), "5");
  EXPECT_EQ(ini.Value("Missing", "ShowHints"), std::nullopt);
  EXPECT_EQ(ini.Value("", "top"), std::nullopt);  // keys before any section belong to none
}

TEST(IniDocument, ValuesLoseBlanksAndOnePairOfMatchingQuotes) {
  const IniDocument ini = IniDocument::Parse(
      "[S]\n"
      "a=\t x y \t\n"
      "b=\" padded \"\n"
      "c='single'\n"
      "d=\"mismatched'\n"
      "e=\n"
      "f=x=y\n"
      "g=\"\n");
  EXPECT_EQ(ini.Value("S", "a"), "x y");
  EXPECT_EQ(ini.Value("S", "b"), " padded ");
  EXPECT_EQ(ini.Value("S", "c"), "single");
  EXPECT_EQ(ini.Value("S", "d"), "\"mismatched'");
  EXPECT_EQ(ini.Value("S", "e"), "");
  EXPECT_EQ(ini.Value("S", "f"), "x=y");
  EXPECT_EQ(ini.Value("S", "g"), "\"");
}

TEST(IniDocument, SetValueRewritesInPlaceAndAppendsAtTheSectionEnd) {
  IniDocument ini = IniDocument::Parse(
      "; my notes\n"
      "[GENERAL]\n"
      "ShowHints=1\n"
      "Unknown=keep me\n"
      "\n"
      "[Other]\n"
      "x=1\n");
  EXPECT_TRUE(ini.SetValue("general", "showhints", "0"));
  EXPECT_TRUE(ini.SetValue("GENERAL", "MaxMem", "128"));
  EXPECT_TRUE(ini.SetValue("Third", "k", "v"));
  EXPECT_EQ(ini.Text(),
            "; my notes\n"
            "[GENERAL]\n"
            "showhints=0\n"
            "Unknown=keep me\n"
            "MaxMem=128\n"
            "\n"
            "[Other]\n"
            "x=1\n"
            "\n"
            "[Third]\n"
            "k=v\n");
}

TEST(IniDocument, EmptyDocumentGetsOneSection) {
  IniDocument ini;
  ini.SetValue("GENERAL", "a", "1");
  ini.SetValue("GENERAL", "b", "2");
  EXPECT_EQ(ini.Text(), "[GENERAL]\na=1\nb=2\n");
}

TEST(IniDocument, ControlCharactersCannotBeWritten) {
  // Any value SetValue takes must come back after a write and a read: one with
  // a control character would make a line that the writer drops.
  IniDocument ini = IniDocument::Parse("[S]\na=old\n");
  for (std::string_view bad : {std::string_view("new\nline"), std::string_view("cr\r"), std::string_view("n\0l", 3),
                               std::string_view("esc\x1b[0m"), std::string_view("\x01"), std::string_view("del\x7f")}) {
    EXPECT_FALSE(ini.SetValue("S", "a", bad));
    EXPECT_FALSE(ini.SetValue("S", "b", bad));
  }
  EXPECT_EQ(IniDocument::Parse(ini.Text()).Value("S", "a"), "old");
  EXPECT_EQ(ini.Text(), "[S]\na=old\n");
  EXPECT_TRUE(ini.SetValue("S", "a", "tab\tinside"));
  EXPECT_EQ(IniDocument::Parse(ini.Text()).Value("S", "a"), "tab\tinside");
}

TEST(IniDocument, ByteOrderMarkInsideTheFileStartsNoOtherSection) {
  const IniDocument ini =
      IniDocument::Parse("\xEF\xBB\xBF[Other]\nx=1\n\xEF\xBB\xBF[GENERAL]\nMaxMem=128\n\xEF\xBB\xBFShowHints=0\n");
  EXPECT_EQ(ini.Value("GENERAL", "MaxMem"), "128");
  EXPECT_EQ(ini.Value("GENERAL", "ShowHints"), "0");
  EXPECT_EQ(ini.Value("Other", "MaxMem"), std::nullopt);
  EXPECT_EQ(ini.Value("Other", "x"), "1");
}

TEST(IniDocument, AnyTextValueSurvivesAWriteAndARead) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> length(0, 12);
  const std::string alphabet = " \t\"'=;#[]abcXYZ/\\\xC3\xA9\xFF";
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  for (int round = 0; round < 500; ++round) {
    std::string value;
    for (int i = length(rng); i > 0; --i) value.push_back(alphabet[pick(rng)]);
    IniDocument ini;
    ASSERT_TRUE(ini.SetValue("S", "k", value));
    EXPECT_EQ(IniDocument::Parse(ini.Text()).Value("S", "k"), value) << '[' << value << ']';
  }
}

TEST(IniDocument, KeepsCrLfAndByteOrderMarkDropsNonTextLines) {
  IniDocument ini = IniDocument::Parse("\xEF\xBB\xBF[S]\r\nbad\x01line=1\r\nkept line\r\na=1\r\nlast=2");
  EXPECT_EQ(ini.Value("S", "a"), "1");
  EXPECT_EQ(ini.Value("S", "last"), "2");
  EXPECT_EQ(ini.Value("S", "bad\x01line"), std::nullopt);
  ini.SetValue("S", "a", "3");
  EXPECT_EQ(ini.Text(), "\xEF\xBB\xBF[S]\r\nkept line\r\na=3\r\nlast=2\r\n");
}

TEST(IniDocument, GarbageParsesToNothingAndNeverThrows) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 50; ++round) {
    std::string junk;
    for (int i = 0; i < 400; ++i) junk.push_back(static_cast<char>(byte(rng)));
    const IniDocument ini = IniDocument::Parse(junk);
    EXPECT_EQ(ini.Value("GENERAL", "SaveSettings"), std::nullopt);
    (void)ini.Text();
  }
}

TEST(ParseIniInteger, StrictDecimalInside32Bits) {
  EXPECT_EQ(ParseIniInteger("2"), 2);
  EXPECT_EQ(ParseIniInteger("  -7 "), -7);
  EXPECT_EQ(ParseIniInteger("+5"), 5);
  EXPECT_EQ(ParseIniInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseIniInteger("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ParseIniInteger("2147483648"), std::nullopt);
  EXPECT_EQ(ParseIniInteger("1.5"), std::nullopt);
  EXPECT_EQ(ParseIniInteger("12abc"), std::nullopt);
  EXPECT_EQ(ParseIniInteger("0x10"), std::nullopt);
  EXPECT_EQ(ParseIniInteger(""), std::nullopt);
  EXPECT_EQ(ParseIniInteger("+"), std::nullopt);
  EXPECT_EQ(ParseIniInteger("+-1"), std::nullopt);
}

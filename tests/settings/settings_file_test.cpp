#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/frame_list.h"
#include "settings/settings.h"
#include "support/test_support.h"

using namespace corvane;
using corvane::test::TempDir;

namespace {

const std::string kProgram = "/home/astro/Corvane2/";

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

GeneralControls ReadFrom(const std::string& path) {
  GeneralControls c;
  ReadSettings(path, c, kProgram);
  return c;
}

void ExpectFreshDefaults(const GeneralControls& c) {
  EXPECT_EQ(c.PictureDirectoryEdit, kProgram + "Pictures/");
  EXPECT_EQ(c.VideoDirectoryEdit, kProgram + "Videos/");
  EXPECT_EQ(c.PSFDirectoryEdit, kProgram + "PSF/");
  EXPECT_EQ(c.ResultDirectoryEdit, kProgram + "Result/");
  EXPECT_TRUE(c.SaveSettingsCheckBox);
  EXPECT_FALSE(c.MemoFontCheckBox);
  EXPECT_TRUE(c.ShowHintsCheckBox);
  EXPECT_FALSE(c.SaveAsCheckBox);  // the file's default, not the box's start state
  EXPECT_TRUE(c.AutoSelectTabSheetCheckBox);
  EXPECT_FALSE(c.AutoChannelIncrCheckBox);
  EXPECT_TRUE(c.ShowRGBcolorCheckBox);
  EXPECT_EQ(c.MemorySpinEdit, 64);
}

// Every control away from its default.
GeneralControls Changed() {
  GeneralControls c;
  c.PictureDirectoryEdit = "/data/pics/";
  c.VideoDirectoryEdit = "/data/videos/";
  c.PSFDirectoryEdit = "/data/psf/";
  c.ResultDirectoryEdit = "/data/out/";
  c.MemoFontCheckBox = true;
  c.ShowHintsCheckBox = false;
  c.SaveAsCheckBox = true;
  c.AutoSelectTabSheetCheckBox = false;
  c.AutoChannelIncrCheckBox = true;
  c.ShowRGBcolorCheckBox = false;
  c.MemorySpinEdit = 256;
  return c;
}

const char* const kChangedFile =
    "[GENERAL]\n"
    "SaveSettings=1\n"
    "PictureDirectory=/data/pics/\n"
    "VideoDirectory=/data/videos/\n"
    "PSFDirectory=/data/psf/\n"
    "ResultDirectory=/data/out/\n"
    "MemoFontColor=1\n"
    "ShowHints=0\n"
    "SaveAsButton=1\n"
    "AutoSelectTabSheet=0\n"
    "AutoChannelIncrement=1\n"
    "ShowRGBcolor=0\n"
    "MaxMem=256\n";

class CaptureServices : public Services {
 public:
  std::vector<std::string> Status;

 protected:
  void OnStatus(const std::string& text) override { Status.push_back(text); }
};

}  // namespace

TEST(ReadSettings, NoFileGivesTheDefaults) {
  TempDir dir;
  ExpectFreshDefaults(ReadFrom(dir.File("Corvane2.ini")));
}

TEST(ReadSettings, EveryKeyIsRead) {
  TempDir dir;
  WriteText(dir.File("c.ini"), kChangedFile);
  const GeneralControls c = ReadFrom(dir.File("c.ini"));
  const GeneralControls want = Changed();
  EXPECT_EQ(c.PictureDirectoryEdit, want.PictureDirectoryEdit);
  EXPECT_EQ(c.VideoDirectoryEdit, want.VideoDirectoryEdit);
  EXPECT_EQ(c.PSFDirectoryEdit, want.PSFDirectoryEdit);
  EXPECT_EQ(c.ResultDirectoryEdit, want.ResultDirectoryEdit);
  EXPECT_EQ(c.MemoFontCheckBox, want.MemoFontCheckBox);
  EXPECT_EQ(c.ShowHintsCheckBox, want.ShowHintsCheckBox);
  EXPECT_EQ(c.SaveAsCheckBox, want.SaveAsCheckBox);
  EXPECT_EQ(c.AutoSelectTabSheetCheckBox, want.AutoSelectTabSheetCheckBox);
  EXPECT_EQ(c.AutoChannelIncrCheckBox, want.AutoChannelIncrCheckBox);
  EXPECT_EQ(c.ShowRGBcolorCheckBox, want.ShowRGBcolorCheckBox);
  EXPECT_EQ(c.MemorySpinEdit, want.MemorySpinEdit);
  EXPECT_TRUE(c.SaveSettingsCheckBox);
}

TEST(ReadSettings, BooleansAreAnyIntegerOtherThanZeroElseTheDefault) {
  TempDir dir;
  const std::string path = dir.File("c.ini");
  const auto hints = [&](const std::string& value) {
    WriteText(path, "[GENERAL]\nShowHints=" + value + "\nMemoFontColor=" + value + "\n");
    const GeneralControls c = ReadFrom(path);
    return std::pair(c.ShowHintsCheckBox, c.MemoFontCheckBox);
  };
  EXPECT_EQ(hints("2"), std::pair(true, true));
  EXPECT_EQ(hints("-1"), std::pair(true, true));
  EXPECT_EQ(hints("0"), std::pair(false, false));
  EXPECT_EQ(hints("yes"), std::pair(true, false));  // not a number: each key's default
  EXPECT_EQ(hints("1.0"), std::pair(true, false));
  EXPECT_EQ(hints(""), std::pair(true, false));
}

TEST(ReadSettings, MaxMemIsInMegabytesAndClampedToTheBox) {
  TempDir dir;
  const std::string path = dir.File("c.ini");
  const auto mem = [&](const std::string& value) {
    WriteText(path, "[GENERAL]\nMaxMem=" + value + "\n");
    return ReadFrom(path).MemorySpinEdit;
  };
  EXPECT_EQ(mem("128"), 128);
  EXPECT_EQ(mem("4096"), 512);
  EXPECT_EQ(mem("-3"), 16);
  EXPECT_EQ(mem("lots"), 64);

  // Through dialog creation into the frame list: 128 MB is 134 217 728 bytes.
  WriteText(path, "[GENERAL]\nMaxMem=128\n");
  FrameList frames;
  Settings settings;
  settings.AttachFrameList(&frames);
  GeneralControls c;
  ReadSettings(path, c, kProgram);
  settings.DialogCreated(c);
  EXPECT_EQ(settings.MemoryMb, 128);
  EXPECT_EQ(frames.MaxMem(), 134217728);
  EXPECT_EQ(frames.MaxFrames(), MaxFramesFor(134217728, 384, 288));
}

TEST(ReadSettings, SaveSettingsZeroReadsOnlyThatKey) {
  TempDir dir;
  const std::string path = dir.File("c.ini");
  std::string text = kChangedFile;
  text.replace(text.find("SaveSettings=1"), 14, "SaveSettings=0");
  WriteText(path, text);
  const GeneralControls c = ReadFrom(path);
  EXPECT_FALSE(c.SaveSettingsCheckBox);
  // Everything else keeps the form's start state, "Save As" ticked included.
  const GeneralControls form;
  EXPECT_EQ(c.PictureDirectoryEdit, kProgram + "Pictures/");
  EXPECT_EQ(c.ResultDirectoryEdit, kProgram + "Result/");
  EXPECT_EQ(c.SaveAsCheckBox, form.SaveAsCheckBox);
  EXPECT_TRUE(c.SaveAsCheckBox);
  EXPECT_EQ(c.ShowHintsCheckBox, form.ShowHintsCheckBox);
  EXPECT_EQ(c.MemoFontCheckBox, form.MemoFontCheckBox);
  EXPECT_EQ(c.AutoChannelIncrCheckBox, form.AutoChannelIncrCheckBox);
  EXPECT_EQ(c.MemorySpinEdit, 64);
}

TEST(ReadSettings, KeysAndSectionMatchWithoutRegardToCase) {
  TempDir dir;
  const std::string path = dir.File("c.ini");
  WriteText(path, "[general]\nSHOWHINTS=0\nmaxmem=32\npicturedirectory=/p/\n");
  const GeneralControls c = ReadFrom(path);
  EXPECT_FALSE(c.ShowHintsCheckBox);
  EXPECT_EQ(c.MemorySpinEdit, 32);
  EXPECT_EQ(c.PictureDirectoryEdit, "/p/");
}

TEST(ReadSettings, GarbageGivesTheDefaults) {
  TempDir dir;
  const std::string path = dir.File("c.ini");
  std::string junk;
  for (int i = 0; i < 3000; ++i) junk.push_back(static_cast<char>((i * 7919) & 0xff));
  WriteText(path, junk);
  ExpectFreshDefaults(ReadFrom(path));

  // Broken lines among good ones: what can be read is read.
  WriteText(path, std::string("[GENERAL]\nShow\0Hints=0\n=5\nMaxMem\nMaxMem=96\n[broken\nShowRGBcolor=0\n", 66));
  GeneralControls c = ReadFrom(path);
  EXPECT_TRUE(c.ShowHintsCheckBox);
  EXPECT_EQ(c.MemorySpinEdit, 96);
  EXPECT_FALSE(c.ShowRGBcolorCheckBox);

  // A folder where the file should be.
  std::filesystem::create_directory(dir.File("folder.ini"));
  ExpectFreshDefaults(ReadFrom(dir.File("folder.ini")));
}

TEST(ReadSettings, PipesDevicesAndHugeFilesGiveTheDefaultsAndAreNotOverwritten) {
  // A FIFO held the open for ever; /dev/zero filled the memory.
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("pipe.ini").c_str(), 0644), 0);
  std::string huge = "[GENERAL]\nMaxMem=128\n";
  huge.resize(SettingsFileMaxBytes + 1, '\n');
  WriteText(dir.File("huge.ini"), huge);
  for (const std::string& path : {dir.File("pipe.ini"), std::string("/dev/zero"), dir.File("huge.ini")}) {
    ExpectFreshDefaults(ReadFrom(path));
    if (path != "/dev/zero") {
      EXPECT_FALSE(WriteSettings(path, Changed()).Ok) << path;
    }
  }
  EXPECT_EQ(ReadText(dir.File("huge.ini")), huge);
  huge.resize(SettingsFileMaxBytes);
  WriteText(dir.File("huge.ini"), huge);
  EXPECT_EQ(ReadFrom(dir.File("huge.ini")).MemorySpinEdit, 128);
}

TEST(WriteSettings, WritesTheTwelveKeysInOrder) {
  TempDir dir;
  const std::string path = dir.File("sub/Corvane2.ini");  // the folder is made
  ASSERT_TRUE(WriteSettings(path, Changed()).Ok);
  EXPECT_EQ(ReadText(path), kChangedFile);
  const GeneralControls back = ReadFrom(path);
  EXPECT_EQ(back.MemorySpinEdit, 256);
  EXPECT_TRUE(back.AutoChannelIncrCheckBox);
}

TEST(WriteSettings, SaveSettingsOffWritesOnlyThatKeyAndFreezesTheRest) {
  TempDir dir;
  const std::string path = dir.File("c.ini");
  ASSERT_TRUE(WriteSettings(path, GeneralControls{}).Ok);
  GeneralControls off = Changed();
  off.SaveSettingsCheckBox = false;
  ASSERT_TRUE(WriteSettings(path, off).Ok);
  std::string want =
      "[GENERAL]\nSaveSettings=0\nPictureDirectory=\nVideoDirectory=\nPSFDirectory=\nResultDirectory=\n"
      "MemoFontColor=0\nShowHints=1\nSaveAsButton=1\nAutoSelectTabSheet=1\nAutoChannelIncrement=0\n"
      "ShowRGBcolor=1\nMaxMem=64\n";
  EXPECT_EQ(ReadText(path), want);

  // A fresh file with the box clear holds that key alone.
  ASSERT_TRUE(WriteSettings(dir.File("fresh.ini"), off).Ok);
  EXPECT_EQ(ReadText(dir.File("fresh.ini")), "[GENERAL]\nSaveSettings=0\n");
}

TEST(WriteSettings, KeepsUnknownKeysSectionsAndComments) {
  TempDir dir;
  const std::string path = dir.File("c.ini");
  WriteText(path,
            "# written by hand\n"
            "[Window]\nLeft=10\n\n"
            "[general]\nshowhints=1\nFutureOption=abc\n\n"
            "[Plugins]\nx=y\n");
  ASSERT_TRUE(WriteSettings(path, Changed()).Ok);
  const std::string text = ReadText(path);
  EXPECT_EQ(text,
            "# written by hand\n"
            "[Window]\nLeft=10\n\n"
            "[general]\nShowHints=0\nFutureOption=abc\nSaveSettings=1\nPictureDirectory=/data/pics/\n"
            "VideoDirectory=/data/videos/\nPSFDirectory=/data/psf/\nResultDirectory=/data/out/\n"
            "MemoFontColor=1\nSaveAsButton=1\nAutoSelectTabSheet=0\nAutoChannelIncrement=1\n"
            "ShowRGBcolor=0\nMaxMem=256\n\n"
            "[Plugins]\nx=y\n");
}

TEST(WriteSettings, DirectoryTextsComeBackAsTheyAre) {
  TempDir dir;
  const std::string path = dir.File("c.ini");
  GeneralControls c;
  c.PictureDirectoryEdit = " /with spaces/ ";
  c.VideoDirectoryEdit = "\"quoted\"";
  c.PSFDirectoryEdit = "/caf\xC3\xA9/\xFF;#=[x]/";
  c.ResultDirectoryEdit = "";
  ASSERT_TRUE(WriteSettings(path, c).Ok);
  const GeneralControls back = ReadFrom(path);
  EXPECT_EQ(back.PictureDirectoryEdit, c.PictureDirectoryEdit);
  EXPECT_EQ(back.VideoDirectoryEdit, c.VideoDirectoryEdit);
  EXPECT_EQ(back.PSFDirectoryEdit, c.PSFDirectoryEdit);
  EXPECT_EQ(back.ResultDirectoryEdit, "");

  // A line break cannot be stored: the key keeps its earlier value and the
  // file stays readable.
  c.PictureDirectoryEdit = "/two\nlines/";
  ASSERT_TRUE(WriteSettings(path, c).Ok);
  EXPECT_EQ(ReadFrom(path).PictureDirectoryEdit, " /with spaces/ ");
}

TEST(WriteSettings, GarbageIsReplacedByAReadableFile) {
  TempDir dir;
  const std::string path = dir.File("c.ini");
  WriteText(path, std::string("\x01\x02\0\xff\n\x7f junk\n", 10));
  ASSERT_TRUE(WriteSettings(path, Changed()).Ok);
  EXPECT_EQ(ReadText(path), kChangedFile);
}

TEST(WriteSettings, UnchangedFileIsNotRewrittenAndLinksAreFollowed) {
  TempDir dir;
  const std::string real = dir.File("real.ini");
  const std::string link = dir.File("link.ini");
  ASSERT_TRUE(WriteSettings(real, Changed()).Ok);
  std::filesystem::create_symlink("real.ini", link);
  struct stat before {};
  ASSERT_EQ(::stat(real.c_str(), &before), 0);
  ASSERT_TRUE(WriteSettings(link, Changed()).Ok);
  struct stat after {};
  ASSERT_EQ(::stat(real.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);  // not replaced

  GeneralControls other = Changed();
  other.MemorySpinEdit = 32;
  ASSERT_TRUE(WriteSettings(link, other).Ok);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFrom(real).MemorySpinEdit, 32);
}

TEST(WriteSettings, FailureIsReportedOnceOnTheStatusLine) {
  TempDir dir;
  WriteText(dir.File("plain"), "x");
  const std::string bad = dir.File("plain/Corvane2.ini");  // the folder is a file
  const SettingsWriteResult r = WriteSettings(bad, GeneralControls{});
  EXPECT_FALSE(r.Ok);
  EXPECT_NE(r.Message.find("plain"), std::string::npos);

  CaptureServices services;
  SettingsFile file(bad);
  EXPECT_FALSE(file.WriteSettings(GeneralControls{}, services));
  EXPECT_FALSE(file.WriteSettings(GeneralControls{}, services));
  ASSERT_EQ(services.Status.size(), 1u);
  EXPECT_EQ(services.Status[0].rfind("Settings not saved: ", 0), 0u);

  // An existing file that cannot be read is left alone.
  std::filesystem::create_directory(dir.File("dir.ini"));
  EXPECT_FALSE(WriteSettings(dir.File("dir.ini"), GeneralControls{}).Ok);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("dir.ini")));

  // After a success a new failure is reported again.
  SettingsFile good(dir.File("good.ini"));
  EXPECT_TRUE(good.WriteSettings(GeneralControls{}, services));
  std::filesystem::remove(dir.File("good.ini"));
  std::filesystem::create_directory(dir.File("good.ini"));
  EXPECT_FALSE(good.WriteSettings(GeneralControls{}, services));
  EXPECT_FALSE(good.WriteSettings(GeneralControls{}, services));
  EXPECT_EQ(services.Status.size(), 2u);
}

TEST(SettingsFilePath, ConfigurationFolder) {
  const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
  const std::string savedXdg = oldXdg != nullptr ? oldXdg : "";
  const char* oldHome = std::getenv("HOME");
  const std::string savedHome = oldHome != nullptr ? oldHome : "";

  ::setenv("HOME", "/home/astro", 1);
  ::setenv("XDG_CONFIG_HOME", "/cfg/", 1);
  EXPECT_EQ(SettingsFilePath(), "/cfg/Corvane2.ini");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
  EXPECT_EQ(SettingsFilePath(), "/home/astro/.config/Corvane2.ini");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(SettingsFilePath(), "/home/astro/.config/Corvane2.ini");

  if (oldXdg != nullptr) ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
  if (oldHome != nullptr)
    ::setenv("HOME", savedHome.c_str(), 1);
  else
    ::unsetenv("HOME");
}

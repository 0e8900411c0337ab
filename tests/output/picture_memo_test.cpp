// The picture memo lines and the caption above the result pane.
#include "output/picture_memo.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/test_support.h"

using namespace corvane;

namespace {

std::tm Nov5() {
  std::tm t{};
  t.tm_year = 103;
  t.tm_mon = 10;
  t.tm_mday = 5;
  t.tm_hour = 23;
  t.tm_min = 17;
  return t;
}

}  // namespace

TEST(BuildPictureInfo, LinesOfTheDefaults) {
  TResultPicture result;
  Image16Create(result.Mono, 384, 288);
  Settings settings;
  FrameList frames;
  PictureInfo info;
  BuildPictureInfo(info, result, settings, frames, Nov5());
  EXPECT_EQ(info.ResultLabel, "File name \"Result__0\"");
  EXPECT_EQ(info.Memo[0], "-- Result__0 --");
  EXPECT_EQ(info.Memo[1], "Size: 384 x 288");
  EXPECT_EQ(info.Memo[2], "No LUT");
  EXPECT_EQ(info.Memo[3], "Bias: 50%, ");
  EXPECT_EQ(info.Memo[4], "Gain: 50%, ");
  EXPECT_EQ(info.Memo[5], "Saturation: 100%, ");
  EXPECT_EQ(info.Memo[6], "RGB: 30%, 59%, 11%, ");
}

TEST(BuildPictureInfo, NamesPercentagesSizesAndTheLut) {
  TResultPicture result;
  Image16Create(result.G, 64, 48);
  Settings settings;
  settings.EditSave.ShowAs = 2;
  settings.EditSave.Bias = 0.05;
  settings.EditSave.Gain = 1.0;
  settings.EditSave.Saturation = 0.125;  // 12.5: ties go to the even 12
  settings.EditSave.RWeight = 0.375;     // 37.5 -> 38
  settings.EditSave.GWeight = 0.0;
  settings.EditSave.BWeight = 0.625;  // 62.5 -> 62
  settings.EditSave.UseLUT = true;
  settings.EditSave.LUTFile = "/home/me/PSF/negative.lut";
  FrameList frames;
  auto item = std::make_unique<TImageListItem>(4, 4);
  item->FileName = "c:\\pics\\jupiter.1.bmp";
  frames.Add(std::move(item));
  PictureInfo info;
  BuildPictureInfo(info, result, settings, frames, Nov5());
  EXPECT_EQ(info.Memo[0], "-- jupiter__0 --");
  EXPECT_EQ(info.Memo[1], "Size: 64 x 48");
  EXPECT_EQ(info.Memo[2], "LUT: negative.lut");
  EXPECT_EQ(info.Memo[3], "Bias: 5%, ");
  EXPECT_EQ(info.Memo[4], "Gain: 100%, ");
  EXPECT_EQ(info.Memo[5], "Saturation: 12%, ");
  EXPECT_EQ(info.Memo[6], "RGB: 38%, 0%, 62%, ");

  // Rebuilding never counts up; a save in between shows the number just used.
  settings.EditSave.SaveNumber = 3;
  BuildPictureInfo(info, result, settings, frames, Nov5());
  BuildPictureInfo(info, result, settings, frames, Nov5());
  EXPECT_EQ(info.ResultLabel, "File name \"jupiter__3\"");
}

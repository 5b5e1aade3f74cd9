// The settings of several pages as one: shared values, changes of some fields, and the
// depth and resolution rules that hold for each page.
#include <gtest/gtest.h>

#include "document/settings_change.h"

namespace {

PageOutputSettings Settings(int32_t width, int32_t compression, int32_t bits) {
  PageOutputSettings s;
  s.width = width;
  s.height = 480;
  s.compression = compression;
  s.bitsPerPixel = bits;
  return s;
}

TEST(SettingsChangeTest, SharedValuesAreThoseAllPagesAgreeOn) {
  std::vector<PageOutputSettings> pages = {Settings(640, kCompressionLZW, 24),
                                           Settings(800, kCompressionLZW, 8)};
  OutputFieldValues shared = OutputFieldValues::Shared(pages);
  EXPECT_EQ(shared[OutputField::kHeight], 480);
  EXPECT_EQ(shared[OutputField::kCompression], kCompressionLZW);
  EXPECT_FALSE(shared[OutputField::kWidth]);
  EXPECT_FALSE(shared[OutputField::kBitsPerPixel]);
  EXPECT_EQ(shared[OutputField::kThreshold], 128);
  EXPECT_EQ(OutputFieldValues::Shared({}), OutputFieldValues());
  // Every field reads and writes its own member.
  PageOutputSettings s;
  for (size_t f = 0; f < kOutputFieldCount; ++f) SetFieldValue(&s, OutputField(f), int32_t(f + 1));
  EXPECT_EQ(s.width, 1);
  EXPECT_EQ(s.resolutionUnit, 5);
  EXPECT_EQ(s.threshold, 10);
  for (size_t f = 0; f < kOutputFieldCount; ++f)
    EXPECT_EQ(FieldValue(s, OutputField(f)), int32_t(f + 1));
}

TEST(SettingsChangeTest, OnlyTheChangedFieldsAreSet) {
  SettingsChange change;
  EXPECT_TRUE(change.Empty());
  change.values[OutputField::kRotation] = 90;
  change.values[OutputField::kResolutionX] = 300;
  EXPECT_FALSE(change.Empty());
  PageOutputSettings page = Settings(640, kCompressionLZW, 8);
  PageOutputSettings changed = change.ApplyTo(page);
  EXPECT_EQ(changed.rotation, 90);
  EXPECT_EQ(changed.resolutionX, 300);
  changed.rotation = page.rotation;
  changed.resolutionX = page.resolutionX;
  EXPECT_EQ(changed, page);
}

TEST(SettingsChangeTest, ACompressionWithOneDepthGivesEveryPageThatDepth) {
  SettingsChange g4;
  g4.values[OutputField::kCompression] = kCompressionGroup4;
  EXPECT_EQ(g4.ApplyTo(Settings(1, kCompressionLZW, 24)).bitsPerPixel, 1);
  SettingsChange jpeg;
  jpeg.values[OutputField::kCompression] = kCompressionJPEG;
  EXPECT_EQ(jpeg.ApplyTo(Settings(1, kCompressionNone, 8)).bitsPerPixel, 24);
  // A depth chosen for pages that keep their compressions: CCITT pages stay 1-bit.
  SettingsChange depth;
  depth.values[OutputField::kBitsPerPixel] = 8;
  EXPECT_EQ(depth.ApplyTo(Settings(1, kCompressionGroup3, 1)).bitsPerPixel, 1);
  EXPECT_EQ(depth.ApplyTo(Settings(1, kCompressionDeflate, 24)).bitsPerPixel, 8);
  // A change of neither leaves a page's depth as it is.
  SettingsChange flip;
  flip.values[OutputField::kFlip] = 1;
  EXPECT_EQ(flip.ApplyTo(Settings(1, kCompressionGroup4, 24)).bitsPerPixel, 24);
}

TEST(SettingsChangeTest, CcittNeedsAResolution) {
  PageOutputSettings s = Settings(1, kCompressionGroup4, 1);
  s.resolutionUnit = 2;
  EXPECT_FALSE(LacksResolutionForCCITT(s));
  s.resolutionY = 0;
  EXPECT_TRUE(LacksResolutionForCCITT(s));
  s.resolutionY = 72;
  s.resolutionUnit = 1;
  EXPECT_TRUE(LacksResolutionForCCITT(s));
  s.compression = kCompressionLZW;
  EXPECT_FALSE(LacksResolutionForCCITT(s));
  EXPECT_EQ(ForcedBitsPerPixel(kCompressionHuffman), 1);
  EXPECT_EQ(ForcedBitsPerPixel(kCompressionPackBits), 0);
}

}  // namespace

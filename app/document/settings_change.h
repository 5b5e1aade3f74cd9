// The output settings of several pages seen as one: for each field, the value the pages
// agree on or none, and a change that sets some fields on every page and leaves the others
// as each page has them. A new per-page setting becomes a field by one entry in
// OutputField and one in the member table of settings_change.cpp.
#ifndef PAGEWEAVER_DOCUMENT_SETTINGS_CHANGE_H
#define PAGEWEAVER_DOCUMENT_SETTINGS_CHANGE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "page_record.h"

enum class OutputField : uint8_t {
  kWidth,
  kHeight,
  kResolutionX,
  kResolutionY,
  kResolutionUnit,
  kBitsPerPixel,
  kCompression,
  kRotation,
  kFlip,
  kThreshold,
  kDither,
  kJPEGQuality,
  kCount,
};
constexpr size_t kOutputFieldCount = size_t(OutputField::kCount);

int32_t FieldValue(const PageOutputSettings& settings, OutputField field);
void SetFieldValue(PageOutputSettings* settings, OutputField field, int32_t value);

// One optional value per field.
class OutputFieldValues {
 public:
  const std::optional<int32_t>& operator[](OutputField f) const { return values_[size_t(f)]; }
  std::optional<int32_t>& operator[](OutputField f) { return values_[size_t(f)]; }
  bool operator==(const OutputFieldValues&) const = default;

  // Every field of the settings.
  static OutputFieldValues Of(const PageOutputSettings& settings);
  // The value of each field where all the pages agree; none where they differ or there
  // are no pages.
  static OutputFieldValues Shared(const std::vector<PageOutputSettings>& pages);

 private:
  std::array<std::optional<int32_t>, kOutputFieldCount> values_{};
};

// What the output settings of several pages are to become: the fields it holds are set
// on every page, the others stay as each page has them.
struct SettingsChange {
  OutputFieldValues values;

  bool Empty() const { return values == OutputFieldValues(); }
  // The page's settings after the change. When the change sets the compression or the
  // depth, a page whose compression then allows one depth only gets that depth, as the
  // options dialog gives a single page.
  PageOutputSettings ApplyTo(PageOutputSettings settings) const;
  bool operator==(const SettingsChange&) const = default;
};

// The only bit depth a compression allows (1 for the CCITT codes, 24 for JPEG), or 0
// when it allows every depth.
int32_t ForcedBitsPerPixel(int32_t compression);
bool IsCCITTCompression(int32_t compression);
// CCITT output needs a resolution: a unit other than "No units" and both values nonzero.
bool LacksResolutionForCCITT(const PageOutputSettings& settings);

#endif  // PAGEWEAVER_DOCUMENT_SETTINGS_CHANGE_H

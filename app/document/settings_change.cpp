#include "settings_change.h"

namespace {

using Member = int32_t PageOutputSettings::*;

// In the order of OutputField.
constexpr Member kMembers[] = {
    &PageOutputSettings::width,          &PageOutputSettings::height,
    &PageOutputSettings::resolutionX,    &PageOutputSettings::resolutionY,
    &PageOutputSettings::resolutionUnit, &PageOutputSettings::bitsPerPixel,
    &PageOutputSettings::compression,    &PageOutputSettings::rotation,
    &PageOutputSettings::flip,           &PageOutputSettings::threshold,
    &PageOutputSettings::dither,         &PageOutputSettings::jpegQuality,
};
static_assert(std::size(kMembers) == kOutputFieldCount, "one member per field");

}  // namespace

int32_t FieldValue(const PageOutputSettings& settings, OutputField field) {
  return settings.*kMembers[size_t(field)];
}

void SetFieldValue(PageOutputSettings* settings, OutputField field, int32_t value) {
  settings->*kMembers[size_t(field)] = value;
}

OutputFieldValues OutputFieldValues::Of(const PageOutputSettings& settings) {
  OutputFieldValues values;
  for (size_t f = 0; f < kOutputFieldCount; ++f)
    values[OutputField(f)] = FieldValue(settings, OutputField(f));
  return values;
}

OutputFieldValues OutputFieldValues::Shared(const std::vector<PageOutputSettings>& pages) {
  if (pages.empty()) return OutputFieldValues();
  OutputFieldValues shared = Of(pages.front());
  for (const PageOutputSettings& page : pages) {
    for (size_t f = 0; f < kOutputFieldCount; ++f) {
      std::optional<int32_t>& value = shared[OutputField(f)];
      if (value && *value != FieldValue(page, OutputField(f))) value.reset();
    }
  }
  return shared;
}

PageOutputSettings SettingsChange::ApplyTo(PageOutputSettings settings) const {
  for (size_t f = 0; f < kOutputFieldCount; ++f)
    if (const auto& value = values[OutputField(f)])
      SetFieldValue(&settings, OutputField(f), *value);
  if (values[OutputField::kCompression] || values[OutputField::kBitsPerPixel]) {
    if (int32_t forced = ForcedBitsPerPixel(settings.compression)) settings.bitsPerPixel = forced;
  }
  return settings;
}

bool IsCCITTCompression(int32_t compression) {
  return compression == kCompressionHuffman || compression == kCompressionGroup3 ||
         compression == kCompressionGroup4;
}

int32_t ForcedBitsPerPixel(int32_t compression) {
  if (IsCCITTCompression(compression)) return 1;
  return compression == kCompressionJPEG ? 24 : 0;
}

bool LacksResolutionForCCITT(const PageOutputSettings& settings) {
  return IsCCITTCompression(settings.compression) &&
         (settings.resolutionUnit == 1 || settings.resolutionX == 0 || settings.resolutionY == 0);
}

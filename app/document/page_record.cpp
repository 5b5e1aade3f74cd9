#include "page_record.h"

#include <cstdio>

bool IsOutputCompression(int32_t code) {
  switch (code) {
    case kCompressionNone:
    case kCompressionHuffman:
    case kCompressionGroup3:
    case kCompressionGroup4:
    case kCompressionLZW:
    case kCompressionJPEG:
    case kCompressionPackBits:
    case kCompressionDeflate:
      return true;
    default:
      return false;
  }
}

std::string PageDisplayName(const PageRecord& record) {
  if (!record.subFrame) return record.sourcePath;
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, " - (%d)", record.frameIndex);
  return record.sourcePath + suffix;
}

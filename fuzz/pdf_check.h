// The fuzzers' reading of a one-page PDF the output wrote, through libqpdf, kept apart
// from libqpdf's headers (they compile only as C++17 with the fuzz build's clang).
#ifndef PAGEWEAVER_FUZZ_PDF_CHECK_H
#define PAGEWEAVER_FUZZ_PDF_CHECK_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pxfuzz {

// Null when the file holds its objects, one page with one image of this size whose stream
// is `stream` as written and, with `pixels`, decodes to those `bytes`; else what is wrong.
const char* CheckPdfPage(const std::string& path, uint32_t width, uint32_t height,
                         const std::vector<uint8_t>& stream, const uint8_t* pixels, size_t bytes);

}  // namespace pxfuzz

#endif  // PAGEWEAVER_FUZZ_PDF_CHECK_H

// decode: reads one page with the library and writes it where other programs can see it.
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "formats.h"

namespace cli {

namespace {

bool ParseInt(const std::string& text, int* out) {
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || v < 0 || v > 1000000) return false;
  *out = int(v);
  return true;
}

int Usage() {
  std::fprintf(stderr, "usage: pageweaver-cli decode FILE [--page N] [--depth 1|8|24] -o OUT\n");
  return 2;
}

// One page of a file of a known format, at the requested depth or its own.
int DecodePage(const ImageFormat& format, PXSource source, const std::string& path, int page,
               int depth, Image& image) {
  if (page != 0 && !format.pageCount) return PX_ERR_PARAMETER;
  // The dimension call tells the file's own depth, and refuses what cannot be read.
  const Refinement refinement = format.refine(source, page);
  if (refinement.error) return refinement.error;
  if (depth == 0) depth = int(OwnDepth(format, refinement));
  return format.read({source, path, page, uint32_t(depth)}, image);
}

}  // namespace

int RunDecode(const Args& args) {
  std::string input, output;
  // Depth 0: the file's own depth, as deep as its format's reader goes.
  int page = 0, depth = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool hasValue = i + 1 < args.size();
    if (a == "-o" && hasValue) {
      output = args[++i];
    } else if (a == "--page" && hasValue) {
      if (!ParseInt(args[++i], &page)) return Usage();
    } else if (a == "--depth" && hasValue) {
      if (!ParseInt(args[++i], &depth) || (depth != 1 && depth != 8 && depth != 24)) return Usage();
    } else if (a.size() > 1 && a[0] == '-') {
      return Usage();
    } else if (input.empty()) {
      input = a;
    } else {
      return Usage();
    }
  }
  if (input.empty() || output.empty()) return Usage();
  const OutputWriter* writer = FindOutputWriter(output);
  if (!writer) {
    std::fprintf(stderr, "decode: cannot write '%s': unknown output extension\n", output.c_str());
    return 2;
  }

  Image image;
  std::string refusal;
  int error = DecodeFile(input, page, depth, image, &refusal);
  if (!refusal.empty()) {
    std::fprintf(stderr, "decode: %s: %s\n", input.c_str(), refusal.c_str());
    return 2;
  }
  if (error) {
    PrintLibraryError(error);
    return 1;
  }
  if (int written = writer->write(image, output)) {
    PrintLibraryError(written);
    return 1;
  }
  return 0;
}

int DecodeFile(const std::string& path, int page, int depth, Image& image, std::string* refusal) {
  PXSource source = PXOpenFileSource(path.c_str());
  if (!source) return PXGetLastError();
  PXSeekSource(source, 0, PX_SEEK_SET);
  int id = PXGuessFileType(source);
  int error = PXGetLastError();
  PXSeekSource(source, 0, PX_SEEK_SET);
  const ImageFormat* format = FindImageFormat(id);
  if (!format) {
    // No reader for this format: report what detection said, or refuse it as a bad
    // argument.
    error = error ? error : PX_ERR_PARAMETER;
  } else if (depth != 0 && !ReadsAtDepth(*format, depth)) {
    if (refusal) *refusal = DepthsSentence(*format);
    error = PX_ERR_PARAMETER;
  } else {
    error = DecodePage(*format, source, path, page, depth, image);
  }
  PXCloseSource(source);
  return error;
}

}  // namespace cli

// The format table: that its rows are whole and agree with the library, on the bundled
// samples, the fuzz seeds and (when present) the shared corpus.
#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "document/image_formats.h"
#include "document/page_image.h"
#include "image_files.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// The bundled samples and the fuzz seeds: files of every format the table reads.
std::vector<fs::path> KnownFiles() {
  std::vector<fs::path> files;
  for (const fs::path& root :
       {pxtest::SourceDir() / "samples", pxtest::SourceDir() / "fuzz/corpora"})
    for (const auto& entry : fs::recursive_directory_iterator(root))
      if (entry.is_regular_file() && entry.path().extension() != ".md" &&
          entry.path().extension() != ".json" && entry.path().extension() != ".py")
        files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

int FormatOf(const fs::path& path) {
  PXSource source = PXOpenFileSource(path.c_str());
  if (!source) return PX_FORMAT_UNKNOWN;
  int id = PXGuessFileType(source);
  PXCloseSource(source);
  return id;
}

TEST(ImageFormats, EveryTypeHasOneRowReadAtADepthItsReaderGives) {
  for (int t = JPG_24; t <= HEIF; ++t) {
    if (t == UNKNOWN) continue;
    SCOPED_TRACE(t);
    auto rows = ImageTypeRows();
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                            [&](const ImageTypeRow& row) { return row.type == t; }),
              1);
    const ImageTypeRow* row = FindImageType(ImageType(t));
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(ReadsAtDepth(*row->format, int(row->bits))) << row->format->name;
  }
  EXPECT_EQ(FindImageType(UNKNOWN), nullptr);
  EXPECT_EQ(FindImageType(ImageType(HEIF + 1)), nullptr);
}

TEST(ImageFormats, EachFormatIdLeadsToTheFirstRowOfItsFormat) {
  std::set<int> readable;
  for (int id = 0; id <= 32; ++id) {
    ImageType type = TypeByFormat(id);
    if (type == UNKNOWN) continue;
    readable.insert(id);
    const ImageFormat* format = FindImageType(type)->format;
    EXPECT_EQ(format->id, id);
    EXPECT_EQ(FirstType(*format), type);
  }
  const std::set<int> expected = {PX_FORMAT_BMP, PX_FORMAT_GIF,  PX_FORMAT_JPEG, PX_FORMAT_PNG,
                                  PX_FORMAT_PCX, PX_FORMAT_TIFF, PX_FORMAT_WMF,  PX_FORMAT_EMF,
                                  PX_FORMAT_PSD, PX_FORMAT_WBMP, PX_FORMAT_TGA,  PX_FORMAT_WEBP,
                                  PX_FORMAT_HEIF};
  EXPECT_EQ(readable, expected);
}

TEST(ImageFormats, ExtensionsMapBackToTheirFormat) {
  std::set<std::string> seen;
  const auto& extensions = CPageImage::FileExtensions();
  ASSERT_EQ(extensions.size(), 13u);
  for (const ImageTypeRow& row : ImageTypeRows()) {
    if (FirstType(*row.format) != row.type) continue;
    const std::vector<std::string> names(row.format->extensions.begin(),
                                         row.format->extensions.end());
    EXPECT_NE(std::find(extensions.begin(), extensions.end(), names), extensions.end())
        << row.format->name << " is missing from the dialog's list";
    for (const std::string& ext : names) {
      EXPECT_TRUE(seen.insert(ext).second) << ext << " names two formats";
      std::string upper = ext;
      std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
      const ImageType expected = row.format->knownByName ? row.type : UNKNOWN;
      EXPECT_EQ(TypeByExtension("scans/page." + ext), expected) << ext;
      EXPECT_EQ(TypeByExtension("SCANS/PAGE." + upper), expected) << upper;
      EXPECT_EQ(TypeByExtension("scans." + ext + "/page"), UNKNOWN) << ext;
      EXPECT_EQ(TypeByExtension("page." + ext + "x"), UNKNOWN) << ext;
    }
  }
  EXPECT_EQ(TypeByExtension("page.gif"), UNKNOWN) << "GIF files are known by their content";
}

// A depth the table offers must be one the reader takes: the command-line tool lets
// users ask for it.
TEST(ImageFormats, ReadersTakeEveryDepthTheTableOffers) {
  std::set<int> tried;
  for (const fs::path& path : KnownFiles()) {
    const ImageFormat* format = FindImageFormat(FormatOf(path));
    if (!format || tried.count(format->id)) continue;
    PXSource source = PXOpenFileSource(path.c_str());
    ASSERT_NE(source, nullptr) << path;
    DecodedImage whole;
    const ImageType type = RefineType(FirstType(*format), source, 0);
    if (ReadImageType(source, path.string(), type, 0, whole) == 0) {
      tried.insert(format->id);
      for (int depth : {1, 8, 24}) {
        if (!ReadsAtDepth(*format, depth)) continue;
        DecodedImage image;
        int error = format->read({source, path.string(), 0, uint32_t(depth)}, image);
        EXPECT_NE(error, PX_ERR_PARAMETER) << path << " at " << depth << " bits";
        if (error == 0) {
          EXPECT_EQ(image.bitsPerPixel, uint32_t(depth)) << path;
        }
      }
    }
    PXCloseSource(source);
  }
  EXPECT_EQ(tried.size(), 13u) << "a format without a readable sample or seed";
}

// Every file of a format the table reads: refinement stays in the file's format, and a
// read gives a whole image of the type's depth or an error and no image.
void ExpectReadsAsItsType(const std::vector<fs::path>& files, int* read) {
  for (const fs::path& path : files) {
    const int id = FormatOf(path);
    const ImageFormat* format = FindImageFormat(id);
    if (!format) continue;
    PXSource source = PXOpenFileSource(path.c_str());
    ASSERT_NE(source, nullptr) << path;
    const ImageType type = RefineType(FirstType(*format), source, 0);
    const ImageTypeRow* row = FindImageType(type);
    ASSERT_NE(row, nullptr) << path;
    EXPECT_EQ(row->format, format) << path;
    DecodedImage image;
    if (ReadImageType(source, path.string(), type, 0, image) != 0) {
      EXPECT_EQ(image.pixels, nullptr) << path << ": a failed read kept its rows";
    } else {
      ++*read;
      EXPECT_NE(image.pixels, nullptr) << path;
      EXPECT_EQ(image.bitsPerPixel, row->bits) << path;
      if (row->bits == 24) {
        EXPECT_EQ(image.colors, 0u) << path;
      } else {
        EXPECT_TRUE(image.colors >= 1 && image.colors <= 256) << path << ": " << image.colors;
      }
    }
    PXCloseSource(source);
  }
}

// The tool shows what a reader made of a file cut short; a page must be whole.
TEST(ImageFormats, APageCutShortIsNoPage) {
  pxtest::TempDir dir;
  const std::string path = dir.File("cut.bmp");
  pxtest::WriteBMP24(path, 40, 40, [](uint32_t x, uint32_t y) { return x * 4 + y * 0x400; });
  std::vector<uint8_t> bytes = pxtest::ReadFile(path);
  bytes.resize(bytes.size() / 2);
  pxtest::WriteFile(path, bytes);
  PXSource source = PXOpenFileSource(path.c_str());
  ASSERT_NE(source, nullptr);
  DecodedImage rows;
  int error = FindImageFormat(PX_FORMAT_BMP)->read({source, path, 0, 24}, rows);
  EXPECT_NE(error, 0);
  EXPECT_NE(rows.pixels, nullptr) << "the rows before the cut";
  DecodedImage page;
  EXPECT_EQ(ReadImageType(source, path, BMP_24, 0, page), error);
  EXPECT_EQ(page.pixels, nullptr);
  PXCloseSource(source);
}

TEST(ImageFormats, SamplesAndSeedsReadAsTheirType) {
  int read = 0;
  ExpectReadsAsItsType(KnownFiles(), &read);
  EXPECT_GE(read, 40);
}

TEST(ImageFormats, CorpusFilesReadAsTheirType) {
  PXTEST_REQUIRE_CORPUS();
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(pxtest::CorpusDir() / "files"))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  int read = 0;
  ExpectReadsAsItsType(files, &read);
  EXPECT_GE(read, 500);
}

}  // namespace

// Every input that ever broke a fuzz target, fed again to the same calls (the fuzzers'
// own entry functions, fuzz/entries.h), and the committed fuzz seeds as a quick check
// that the entry functions themselves hold on good files. The reproducers live in
// tests/data/fuzz/<target>/; the sanitizer build (`make asan`) sees the faults they once
// caused, the plain build the promises the entry functions check.
#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "targets.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

struct Input {
  std::string target;
  fs::path path;
};

void PrintTo(const Input& input, std::ostream* out) {
  *out << input.target << ": " << input.path.filename().string();
}

// Every file below `root`/<target>/, skipping notes. The image object's target has its
// reproducers run by the application's tests.
std::vector<Input> InputsUnder(const fs::path& root) {
  std::vector<Input> inputs;
  if (!fs::is_directory(root)) return inputs;
  for (const auto& dir : fs::directory_iterator(root)) {
    if (!dir.is_directory() || dir.path().filename() == "image") continue;
    for (const auto& file : fs::recursive_directory_iterator(dir.path())) {
      if (!file.is_regular_file() || file.path().extension() == ".md") continue;
      inputs.push_back({dir.path().filename().string(), file.path()});
    }
  }
  std::sort(inputs.begin(), inputs.end(),
            [](const Input& a, const Input& b) { return a.path < b.path; });
  return inputs;
}

std::string TestName(const testing::TestParamInfo<Input>& info) {
  std::string name = info.param.target + "_" + info.param.path.filename().string();
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name + "_" + std::to_string(info.index);
}

pxfuzz::Problem RunTarget(const std::string& target, const fs::path& path) {
  const pxfuzz::Target* t = pxfuzz::FindTarget(target);
  if (!t) return "no fuzz target of that name";
  std::vector<uint8_t> bytes = pxtest::ReadFile(path.string());
  return t->run(bytes.data(), bytes.size());
}

class FuzzReproducer : public testing::TestWithParam<Input> {};

TEST_P(FuzzReproducer, GivesAnErrorCodeOrAnImage) {
  pxfuzz::Problem problem = RunTarget(GetParam().target, GetParam().path);
  EXPECT_EQ(problem, nullptr) << GetParam().path << ": " << problem;
}

INSTANTIATE_TEST_SUITE_P(Findings, FuzzReproducer,
                         testing::ValuesIn(InputsUnder(pxtest::TestDataDir() / "fuzz")), TestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzReproducer);

// The seeds of each format folder go through every target that reads that format, and
// through detection and the round trip.
TEST(FuzzSeeds, EveryTargetHoldsOnItsSeeds) {
  const fs::path corpora = pxtest::SourceDir() / "fuzz" / "corpora";
  std::vector<Input> seeds = InputsUnder(corpora);
  ASSERT_FALSE(seeds.empty()) << "no seeds under " << corpora;
  for (const Input& seed : seeds) {
    std::vector<std::string> targets = {"detect", "roundtrip"};
    if (seed.target == "tiff") {
      targets.insert(targets.end(), {"tiff_info", "tiff_read"});
    } else {
      targets.push_back(seed.target);
    }
    if (seed.target == "tiff" || seed.target == "jpeg" || seed.target == "png")
      targets.push_back("copy");
    for (const std::string& target : targets) {
      pxfuzz::Problem problem = RunTarget(target, seed.path);
      EXPECT_EQ(problem, nullptr) << target << " on " << seed.path << ": " << problem;
    }
  }
}

// The checks themselves: a reader's promise broken on purpose must be seen.
TEST(FuzzChecks, SeeWhatTheyAreThereFor) {
  const uint8_t byte = 0;
  PXCloseSource(PXOpenMemorySource(&byte, 1));  // last error 0
  EXPECT_STREQ(pxfuzz::CheckImage(nullptr, 1, 1, 8), "no image and no error code")
      << "a null result after a successful call";
  void* small = GlobalAlloc(GMEM_ZEROINIT, 10);
  EXPECT_STREQ(pxfuzz::CheckImage(small, 4, 4, 8),
               "an image buffer smaller than its reported size");
  void* dib = GlobalAlloc(GMEM_ZEROINIT, 40 + 8);
  auto* h = static_cast<BITMAPINFOHEADER*>(dib);
  h->biSize = 40;
  h->biWidth = 3;
  h->biHeight = 4;
  h->biBitCount = 24;
  EXPECT_STREQ(pxfuzz::CheckDIB(dib), "a DIB block smaller than its header says");
  EXPECT_EQ(pxfuzz::FindTarget("no such target"), nullptr);
}

}  // namespace

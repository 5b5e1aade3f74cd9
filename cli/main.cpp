// pageweaver-cli: PageWeaver's imaging library and document from the command line.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "pixolith/px_core.h"

namespace {

constexpr const char* kBuildOptions =
    "options (each sets one output setting on every page; without them a page keeps\n"
    "its input's size, resolution and depth, and a TIFF page its compression):\n"
    "  --sort ORDER       the order of the inputs: given (default), none (reversed),\n"
    "                     alpha, alpha-rev, alnum, alnum-rev, date, date-rev\n"
    "  --size WxH         the box each page is fitted into; each 1 to 20000\n"
    "  --dpi X[xY]        the resolution; each 0 to 20000 (dots per inch unless --unit)\n"
    "  --unit UNIT        none, inch or cm\n"
    "  --depth DEPTH      1, 8, 24 or keep\n"
    "  --threshold T      the black threshold of 1-bit pages, 0 to 255\n"
    "  --dither           1-bit pages diffuse the error instead (for photographs)\n"
    "  --compression C    none, huffman, g3, g4, lzw, jpeg, packbits or deflate\n"
    "  --quality N        the quality of JPEG-compressed pages, 1 to 100 (75)\n"
    "  --rotate DEGREES   0, 90, 180 or 270 (after fitting)\n"
    "  --flip FLIP        none, h or v (after rotating)\n"
    "  --no-auto-orient   keep photographs as stored, not turned upright by their EXIF\n"
    "                     orientation\n";

void InfoUsage(FILE* out) {
  std::fputs(
      "usage: pageweaver-cli info [--json] FILE...\n"
      "Prints the format the library recognises in each file and its pages (size, depth,\n"
      "resolution, and compression for TIFF), or the library's error code and message.\n"
      "  --json   one JSON array with an object per file\n"
      "Exit status: 0 every file recognised, 1 otherwise, 2 usage error.\n",
      out);
}

void DecodeUsage(FILE* out) {
  std::fputs(
      "usage: pageweaver-cli decode FILE [--page N] [--depth 1|8|24] -o OUT\n"
      "Reads one page and writes it as TIFF, PNG or PNM, chosen by OUT's extension\n"
      "(.tif, .tiff, .png, .ppm, .pgm, .pbm, .pnm).\n"
      "  --page N     the page of a multi-page TIFF, counted from 0 (default 0)\n"
      "  --depth D    read at 1, 8 or 24 bits (default: the file's own depth, as deep as\n"
      "               its format's reader goes)\n"
      "  -o OUT       the file to write\n"
      "Exit status: 0 success, 1 the file could not be read or written, 2 usage error.\n",
      out);
}

void BuildUsage(FILE* out) {
  std::fputs(
      "usage: pageweaver-cli build -o OUT.tif [options] INPUT[#PAGE]...\n"
      "       pageweaver-cli build -o OUT.tif [--quiet] [--threads N] [--reencode]\n"
      "                            [--no-auto-orient] --job FILE.json\n"
      "Writes the inputs, in order, as the pages of one multi-page TIFF (or PDF, for an\n"
      "OUT ending in .pdf). A multi-page TIFF gives all its pages, or the ones named\n"
      "with #PAGE (counted from 0). OUT.tif is replaced only when every page was written.\n",
      out);
  std::fputs(kBuildOptions, out);
  std::fputs(
      "  --threads N        pages converted at once, 1 to 64 (default: one per core)\n"
      "  --format F         tiff or pdf (default: pdf for an OUT ending in .pdf, else tiff)\n"
      "  --reencode         convert every page, also those that could be copied as stored\n"
      "  --quiet            no progress lines\n"
      "  --job FILE.json    the pages and their settings from a job file (see pages)\n"
      "Exit status: 0 success, 1 a page or the output failed, 2 usage error.\n",
      out);
}

void PagesUsage(FILE* out) {
  std::fputs(
      "usage: pageweaver-cli pages [options] INPUT[#PAGE]... > job.json\n"
      "Prints the job build would run, as JSON: one object per page in output order\n"
      "with \"path\", \"frame\" and its ten output settings. Edit it and give it to\n"
      "build --job; fields left out take the input's values.\n",
      out);
  std::fputs(kBuildOptions, out);
  std::fputs("  --reencode         every page \"copy\": false: converted when built\n", out);
  std::fputs("Exit status: 0 success, 1 an input failed, 2 usage error.\n", out);
}

struct Command {
  const char* name;
  int (*run)(const cli::Args&);
  const char* synopsis;
  void (*usage)(FILE*);
};

const Command kCommands[] = {
    {"info", cli::RunInfo, "info [--json] FILE...    format and page details of image files",
     InfoUsage},
    {"decode", cli::RunDecode,
     "decode FILE [--page N] [--depth 1|8|24] -o OUT    read one page and write it out",
     DecodeUsage},
    {"build", cli::RunBuild,
     "build -o OUT.tif [options] INPUT[#PAGE]... | --job FILE.json    write a multi-page TIFF",
     BuildUsage},
    {"pages", cli::RunPages,
     "pages [options] INPUT[#PAGE]...    print the job file build would use", PagesUsage},
};

void Usage(FILE* out) {
  std::fprintf(out, "usage: pageweaver-cli COMMAND [OPTIONS]\n\ncommands:\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %s\n", c.synopsis);
  std::fprintf(out,
               "  help COMMAND    the options of a command (or COMMAND --help)\n"
               "  --version\n");
}

const Command* FindCommand(const std::string& name) {
  for (const Command& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

bool AsksForHelp(const cli::Args& args) {
  return std::any_of(args.begin(), args.end(),
                     [](const std::string& a) { return a == "--help" || a == "-h"; });
}

}  // namespace

namespace cli {

void PrintLibraryError(int code) {
  std::fprintf(stderr, "error %d: %s\n", code, PXGetErrorText(code));
}

int UsageError(const std::string& command, const std::string& what) {
  std::fprintf(stderr, "pageweaver-cli: %s\nTry 'pageweaver-cli %s --help'.\n", what.c_str(),
               command.c_str());
  return 2;
}

}  // namespace cli

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage(stderr);
    return 2;
  }
  std::string name = argv[1];
  cli::Args args(argv + 2, argv + argc);
  if (name == "--help" || name == "-h" || name == "help") {
    if (name == "help" && !args.empty()) {
      const Command* c = FindCommand(args[0]);
      if (!c) {
        std::fprintf(stderr, "pageweaver-cli: unknown command '%s'\n", args[0].c_str());
        Usage(stderr);
        return 2;
      }
      c->usage(stdout);
      return 0;
    }
    Usage(stdout);
    return 0;
  }
  if (name == "--version") {
    char version[20];
    PXGetVersion(version);
    std::printf("pageweaver-cli 1.0 (%s)\n", version);
    return 0;
  }
  if (const Command* c = FindCommand(name)) {
    if (AsksForHelp(args)) {
      c->usage(stdout);
      return 0;
    }
    return c->run(args);
  }
  std::fprintf(stderr, "pageweaver-cli: unknown command '%s'\n", name.c_str());
  Usage(stderr);
  return 2;
}

// pageweaver-cli: PageWeaver's imaging library and document from the command line.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "pixolith/px_core.h"

namespace {

struct Command {
  const char* name;
  int (*run)(const cli::Args&);
  const char* synopsis;
};

const Command kCommands[] = {
    {"info", cli::RunInfo, "info [--json] FILE...    format and page details of image files"},
    {"decode", cli::RunDecode,
     "decode FILE [--page N] [--depth 1|8|24] -o OUT    read one page and write it out"},
    {"build", cli::RunBuild,
     "build -o OUT.tif [options] INPUT[#PAGE]... | --job FILE.json    write a multi-page TIFF"},
    {"pages", cli::RunPages,
     "pages [options] INPUT[#PAGE]...    print the job file build would use"},
};

void Usage(FILE* out) {
  std::fprintf(out, "usage: pageweaver-cli COMMAND [OPTIONS]\n\ncommands:\n");
  for (const Command& c : kCommands) std::fprintf(out, "  %s\n", c.synopsis);
  std::fprintf(out, "  --version\n");
}

}  // namespace

namespace cli {

void PrintLibraryError(int code) {
  std::fprintf(stderr, "error %d: %s\n", code, PXGetErrorText(code));
}

}  // namespace cli

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage(stderr);
    return 2;
  }
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    Usage(stdout);
    return 0;
  }
  if (name == "--version") {
    char version[20];
    PXGetVersion(version);
    std::printf("pageweaver-cli 1.0 (%s)\n", version);
    return 0;
  }
  for (const Command& c : kCommands)
    if (name == c.name) return c.run(cli::Args(argv + 2, argv + argc));
  std::fprintf(stderr, "pageweaver-cli: unknown command '%s'\n", name.c_str());
  Usage(stderr);
  return 2;
}

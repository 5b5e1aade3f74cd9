// The tool's subcommands. Each takes the arguments after its name and returns the
// process exit status: 0 success, 1 a failure the user should know of, 2 a usage error.
#ifndef PAGEWEAVER_CLI_COMMANDS_H
#define PAGEWEAVER_CLI_COMMANDS_H

#include <string>
#include <vector>

namespace cli {

using Args = std::vector<std::string>;

int RunInfo(const Args& args);
int RunDecode(const Args& args);
int RunBuild(const Args& args);
int RunPages(const Args& args);

struct Image;
// Opens a file, detects its format and decodes one page (0-based) at the requested
// depth with the format's handler. Returns 0 or a library error code; a partial image
// may be left in `image` with an error.
int DecodeFile(const std::string& path, int page, int depth, Image& image);

// Prints "error N: message" for a library error code on standard error.
void PrintLibraryError(int code);

}  // namespace cli

#endif  // PAGEWEAVER_CLI_COMMANDS_H

// The tool's subcommands. Each takes the arguments after its name and returns the
// process exit status: 0 success, 1 a failure the user should know of, 2 a usage error.
#ifndef PAGEWEAVER_CLI_COMMANDS_H
#define PAGEWEAVER_CLI_COMMANDS_H

#include <string>
#include <vector>

struct DecodedImage;

namespace cli {

using Args = std::vector<std::string>;

int RunInfo(const Args& args);
int RunDecode(const Args& args);
int RunBuild(const Args& args);
int RunPages(const Args& args);

// Opens a file, detects its format and decodes one page (0-based) at the requested
// depth (0: the file's own) as the format table reads it. Returns 0 or a library error
// code; a partial image may be left in `image` with an error. A depth the format's
// reader does not give sets `refusal` to a sentence saying which it gives.
int DecodeFile(const std::string& path, int page, int depth, DecodedImage& image,
               std::string* refusal = nullptr);

// Prints "error N: message" for a library error code on standard error.
void PrintLibraryError(int code);

// Prints what was wrong and where the command's usage is; returns 2, the exit status of
// a usage error.
int UsageError(const std::string& command, const std::string& what);

}  // namespace cli

#endif  // PAGEWEAVER_CLI_COMMANDS_H

#include "cli_support.h"

#include "tool_support.h"

namespace pxtest {

CliResult RunCli(const std::vector<std::string>& args) {
  const ToolResult r = RunTool(PXTEST_CLI_PATH, args);
  return {r.status, r.out, r.err};
}

}  // namespace pxtest

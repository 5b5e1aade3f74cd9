// Runs pageweaver-cli as a user would and captures what it prints.
#ifndef PAGEWEAVER_TESTS_CLI_SUPPORT_H
#define PAGEWEAVER_TESTS_CLI_SUPPORT_H

#include <string>
#include <vector>

namespace pxtest {

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the tool with the arguments (no shell involved) and waits for it.
CliResult RunCli(const std::vector<std::string>& args);

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_CLI_SUPPORT_H

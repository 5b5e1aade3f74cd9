// Runs programs of the system (libtiff's tools and the like) from tests.
#ifndef PAGEWEAVER_TESTS_TOOL_SUPPORT_H
#define PAGEWEAVER_TESTS_TOOL_SUPPORT_H

#include <string>
#include <vector>

namespace pxtest {

// The program's path found on PATH, or empty when it is not installed.
std::string FindTool(const std::string& name);

struct ToolResult {
  int status = -1;  // exit status; 128 + signal when killed
  std::string out;
  std::string err;
};

// Runs the program with the arguments (no shell) and waits for it.
ToolResult RunTool(const std::string& program, const std::vector<std::string>& args);

}  // namespace pxtest

#endif  // PAGEWEAVER_TESTS_TOOL_SUPPORT_H

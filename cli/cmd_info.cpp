// info: what each file is, as the library sees it.
#include <cstdio>

#include "commands.h"
#include "formats.h"
#include "json.h"

namespace cli {

namespace {

// Describes one file; returns false when it was not recognised.
bool Describe(const std::string& path, json::Value& info) {
  info.Set("path", path);
  PXSource source = PXOpenFileSource(path.c_str());
  if (!source) {
    int code = PXGetLastError();
    info.Set("error", code);
    info.Set("message", PXGetErrorText(code));
    return false;
  }
  PXSeekSource(source, 0, PX_SEEK_SET);
  int id = PXGuessFileType(source);
  int code = PXGetLastError();
  PXSeekSource(source, 0, PX_SEEK_SET);
  bool recognised = id != PX_FORMAT_UNKNOWN;
  if (!recognised && code != 0) {
    info.Set("error", code);
    info.Set("message", PXGetErrorText(code));
  } else {
    info.Set("format_id", id);
    info.Set("format", FormatName(id));
    if (const FormatHandler* handler = FindFormat(id); handler && handler->describe) {
      int error = handler->describe(source, path, info);
      if (error) {
        info.Set("error", error);
        info.Set("message", PXGetErrorText(error));
      }
    }
  }
  PXCloseSource(source);
  return recognised;
}

void PrintText(const json::Value& info) {
  const json::Value* format = info.Find("format");
  const json::Value* error = info.Find("error");
  std::printf("%s: ", info.Find("path")->AsString().c_str());
  if (format)
    std::printf("%s (format %d)\n", format->AsString().c_str(),
                int(info.Find("format_id")->AsNumber()));
  else
    std::printf("error %d: %s\n", int(error->AsNumber()), info.Find("message")->AsString().c_str());
  for (const auto& [key, value] : info.Members()) {
    if (key == "path" || key == "format" || key == "format_id") continue;
    if (!format && (key == "error" || key == "message")) continue;
    if (value.kind() == json::Value::Kind::kArray) {
      // One line per entry: a page's details read better than one long line.
      std::printf("  %s:\n", key.c_str());
      for (size_t i = 0; i < value.Items().size(); ++i)
        std::printf("    %zu: %s\n", i, value.Items()[i].Dump().c_str());
      continue;
    }
    std::printf("  %s: %s\n", key.c_str(),
                value.kind() == json::Value::Kind::kString ? value.AsString().c_str()
                                                           : value.Dump().c_str());
  }
}

}  // namespace

int RunInfo(const Args& args) {
  bool asJson = false;
  std::vector<std::string> paths;
  for (const std::string& arg : args) {
    if (arg == "--json") {
      asJson = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "info: unknown option '%s'\n", arg.c_str());
      return 2;
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.empty()) {
    std::fprintf(stderr, "usage: pageweaver-cli info [--json] FILE...\n");
    return 2;
  }
  bool allRecognised = true;
  json::Value all = json::Value::Array();
  for (const std::string& path : paths) {
    json::Value info = json::Value::Object();
    allRecognised &= Describe(path, info);
    if (asJson)
      all.Append(std::move(info));
    else
      PrintText(info);
  }
  if (asJson) std::printf("%s\n", all.Dump(2).c_str());
  return allRecognised ? 0 : 1;
}

}  // namespace cli

#include "pdf_writer_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <vector>

#include "pdf/pdf_module.h"

#ifndef PAGEWEAVER_PDF_MODULE_RELATIVE
#error "PAGEWEAVER_PDF_MODULE_RELATIVE: the module's path from the programs' folder"
#endif

namespace {

PdfModuleLoad Unavailable(const std::string& why) {
  PdfModuleLoad load;
  load.problem = "PDF output is not available: " + why;
  return load;
}

}  // namespace

PdfModuleLoad LoadPdfModule(const std::string& path) {
  // RTLD_NOW: a module missing a library fails here, not in the middle of a save.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    return Unavailable(why ? why : path + " could not be loaded");
  }
  auto entry = reinterpret_cast<PdfModuleEntry>(dlsym(handle, PAGEWEAVER_PDF_MODULE_ENTRY));
  const PdfModule* calls = entry ? entry() : nullptr;
  std::string why;
  if (!calls) {
    why = path + " has no " PAGEWEAVER_PDF_MODULE_ENTRY;
  } else if (calls->version != kPdfModuleVersion) {
    why = path + " is version " + std::to_string(calls->version) + ", not " +
          std::to_string(kPdfModuleVersion) + " as this program needs";
  } else if (calls->pageLayout != sizeof(PdfPage)) {
    why = path + " was built for another program";
  } else if (!calls->create || !calls->destroy || !calls->addPage || !calls->write) {
    why = path + " lacks some of its calls";
  }
  if (!why.empty()) {
    dlclose(handle);
    return Unavailable(why);
  }
  PdfModuleLoad load;
  load.calls = calls;
  return load;
}

std::string PdfModulePath() {
  std::vector<char> buffer(4096);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || size_t(length) >= buffer.size()) return std::string();
  std::string program(buffer.data(), size_t(length));
  return program.substr(0, program.find_last_of('/') + 1) + PAGEWEAVER_PDF_MODULE_RELATIVE;
}

const PdfModuleLoad& PdfModuleOnce() {
  static const PdfModuleLoad loaded = [] {
    const std::string path = PdfModulePath();
    return path.empty() ? Unavailable("the running program's folder is unknown")
                        : LoadPdfModule(path);
  }();
  return loaded;
}

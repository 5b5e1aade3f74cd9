#include "command_line.h"

#include <QDir>
#include <QFileInfo>
#include <cstring>

#include "document/page_image.h"
#include "pixolith/px_core.h"

#ifndef PAGEWEAVER_VERSION
#define PAGEWEAVER_VERSION "1.0.0.0"
#endif

namespace {

constexpr char kUsage[] =
    "usage: pageweaver [--output FILE.tif] [FILE...]\n"
    "Joins image files (BMP, JPEG, PNG, TIFF, GIF, PCX, TGA, PSD, WBMP, WMF, EMF) into\n"
    "one multi-page TIFF, each page with its own output settings.\n"
    "\n"
    "  FILE...              image files, added as pages in the order given; a TIFF\n"
    "                       given alone is opened for editing: all its pages are added\n"
    "                       and File, Save writes them back to it\n"
    "  NEW.tif              a TIFF name that does not exist yet: the output file\n"
    "  -o, --output FILE    the output file File, Save writes to\n"
    "  -h, --help           this text\n"
    "      --version        the version\n"
    "  --                   every argument after it is a file\n"
    "Qt's own options (-platform, -display, -style...) are taken too.\n";

bool HasTiffName(const QString& path) {
  return path.endsWith(QLatin1String(".tif"), Qt::CaseInsensitive) ||
         path.endsWith(QLatin1String(".tiff"), Qt::CaseInsensitive);
}

// Why a name cannot be the output file, or empty when it can.
QString OutputFault(const QFileInfo& file) {
  if (file.isDir()) return QStringLiteral("a folder, not a file");
  if (!file.exists() && !file.absoluteDir().exists()) return QStringLiteral("no such folder");
  return QString();
}

}  // namespace

StartupRequest ParseStartupArguments(const QStringList& arguments) {
  StartupRequest request;
  QStringList files;
  QString output;
  bool optionsEnded = false;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (!optionsEnded && a == QLatin1String("--")) {
      optionsEnded = true;
    } else if (!optionsEnded && (a == QLatin1String("-o") || a == QLatin1String("--output"))) {
      if (i + 1 < arguments.size())
        output = arguments[++i];
      else
        request.faults << a + QStringLiteral(": needs a file name");
    } else if (!optionsEnded && a.startsWith(QLatin1String("--output="))) {
      output = a.mid(9);
    } else if (!optionsEnded && a.startsWith('-') && a.size() > 1) {
      request.faults << a + QStringLiteral(": unknown option");
    } else {
      files << a;
    }
  }
  if (!output.isEmpty()) {
    QFileInfo file(output);
    QString fault = OutputFault(file);
    if (fault.isEmpty())
      request.output = file.absoluteFilePath().toStdString();
    else
      request.faults << output + QStringLiteral(": ") + fault;
  }

  // A new TIFF name is the output file when it is the only one and no other was named.
  QStringList newTiffs;
  for (const QString& name : files)
    if (!QFileInfo::exists(name) && HasTiffName(name)) newTiffs << name;
  for (const QString& name : files) {
    QFileInfo file(name);
    std::string path = file.absoluteFilePath().toStdString();
    if (!file.exists()) {
      if (newTiffs.size() == 1 && output.isEmpty()) {
        QString fault = OutputFault(file);
        if (fault.isEmpty())
          request.output = path;
        else
          request.faults << name + QStringLiteral(": ") + fault;
      } else {
        request.faults << name + QStringLiteral(": no such file");
      }
    } else if (!file.isFile()) {
      request.faults << name + QStringLiteral(": not a file");
    } else if (!file.isReadable()) {
      request.faults << name + QStringLiteral(": cannot be read");
    } else if (CPageImage::DetectType(path) == UNKNOWN) {
      request.faults << name + QStringLiteral(": not an image file PageWeaver reads");
    } else {
      request.pages.push_back(path);
    }
  }
  // A TIFF alone is the document being edited.
  if (files.size() == 1 && request.pages.size() == 1 && output.isEmpty() &&
      CPageImage::HasTiffContent(request.pages[0])) {
    request.editFile = request.output = request.pages[0];
    request.pages.clear();
  }
  return request;
}

int AnswerInformationalOptions(int argc, char** argv, FILE* out) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) break;
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, out);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      char library[20] = {};
      PXGetVersion(library);
      std::fprintf(out, "pageweaver %s (%s)\n", PAGEWEAVER_VERSION, library);
      return 0;
    }
    // The value of an option that takes one is not an option.
    if (std::strcmp(argv[i], "-o") == 0 || std::strcmp(argv[i], "--output") == 0) ++i;
  }
  return -1;
}

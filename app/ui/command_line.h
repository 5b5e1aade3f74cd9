// What `pageweaver [--output FILE.tif] [FILE...]` asks for at start-up. Every existing
// image file of a format the image object reads becomes pages, in the order given; a
// TIFF given alone is opened for editing (all its pages, and saving writes it back); a
// new .tif/.tiff name, or --output, names the output file. Nothing named on the command
// line is ever taken as the output file unless it is a TIFF or named so.
#ifndef PAGEWEAVER_UI_COMMAND_LINE_H
#define PAGEWEAVER_UI_COMMAND_LINE_H

#include <QStringList>
#include <cstdio>
#include <string>
#include <vector>

struct StartupRequest {
  std::vector<std::string> pages;  // absolute paths, added as pages in this order
  std::string editFile;            // a TIFF whose pages are all added; also the output
  std::string output;              // the output file, or empty
  QStringList faults;              // "argument: what is wrong with it", one per argument
};

// Sorts the arguments that follow the program's name (Qt's own options already taken
// out). "--" ends the options.
StartupRequest ParseStartupArguments(const QStringList& arguments);

// --help or -h, and --version, answered on standard output before any window or display
// is needed: the exit status (0), or -1 when neither was asked for.
int AnswerInformationalOptions(int argc, char** argv, FILE* out = stdout);

#endif  // PAGEWEAVER_UI_COMMAND_LINE_H

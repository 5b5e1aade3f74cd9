// The output settings a job file and build's options set, with the values each takes
// (those the application's page options dialog allows), and the job file, read and
// checked whole before any page is loaded.
#ifndef PAGEWEAVER_CLI_JOB_FILE_H
#define PAGEWEAVER_CLI_JOB_FILE_H

#include <string>
#include <utility>
#include <vector>

#include "document/page_record.h"

namespace cli {

// One output setting of a page.
struct SettingField {
  const char* name;  // the job file's key
  int32_t PageOutputSettings::*member;
  int low, high;            // the range allowed, unless
  std::vector<int> values;  // these are the only values allowed
  const char* allowed;      // the values allowed, in words
  bool flag = false;        // written true or false, stored as 1 or 0

  bool Accepts(long long value) const;
};

const std::vector<SettingField>& SettingFields();
// The field of that key; the name must be one of SettingFields().
const SettingField& Field(const std::string& name);

// A page of a job file: its input and the settings it names; the others keep the
// input's values.
struct JobPage {
  std::string path;
  int frame = 0;
  bool copy = true;  // false: converted even where it could be copied as stored
  std::vector<std::pair<const SettingField*, int32_t>> settings;
};

// Reads a job file: a JSON array of page objects with "path", an optional "frame", an
// optional "copy" (true or false) and any of the settings. Every fault (a field of the wrong type,
// a value not allowed, an unknown field) is printed on standard error as one line naming the page,
// its path, the field and the values allowed. True, with the pages, when there was none.
bool ReadJobFile(const std::string& jobPath, std::vector<JobPage>* pages);

}  // namespace cli

#endif  // PAGEWEAVER_CLI_JOB_FILE_H

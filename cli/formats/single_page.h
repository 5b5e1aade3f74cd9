// What the single-page formats share in `info`: one page and its facts.
#ifndef PAGEWEAVER_CLI_FORMATS_SINGLE_PAGE_H
#define PAGEWEAVER_CLI_FORMATS_SINGLE_PAGE_H

#include <utility>

#include "json.h"

namespace cli {

// Sets "pages": 1 and a "page_info" list holding `page`.
inline void SetSinglePage(json::Value& info, json::Value page) {
  info.Set("pages", 1);
  json::Value pages = json::Value::Array();
  pages.Append(std::move(page));
  info.Set("page_info", std::move(pages));
}

}  // namespace cli

#endif  // PAGEWEAVER_CLI_FORMATS_SINGLE_PAGE_H

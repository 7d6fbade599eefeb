// A form's templates, pages and page scripts as the checking passes of the
// template processor and the script interpreter read them (nothing is run
// that has effects; see script/source_check.hpp).
#pragma once

#include <string>
#include <vector>

#include "forms/form_config.hpp"
#include "script/source_check.hpp"

namespace fwk {

// A page file of a multi-page form, the template of a one-page form, or a
// template the configuration names (a report).
struct PageSource {
  std::string name;  // the page's name, or the configuration key naming the template
  std::string path;
  bool form_tag = false;  // a page with a <form> tag of its own
  std::string insert;     // the file its preamble names for insertion ("" none)
  SourceCheck notes;
};

// A <PAGE NAME="..."> entry of the page-script file.
struct PageEntry {
  std::string page;
  long offset = 0;
};

// A script of the page-script file.
struct ScriptSource {
  std::string page;   // the entry it follows ("" when it follows none)
  bool back = false;  // <SCRIPT TYPE=BACK>
  long offset = 0;    // where its <SCRIPT tag starts
  SourceCheck notes;
};

struct FormSources {
  // The page files (multi-page form) or the FORM template (one-page form);
  // the page directory's other files are not pages.
  std::vector<PageSource> pages;
  // The templates named by REPORT2, REPORT and EMAILREPORT that open.
  std::vector<PageSource> templates;
  std::string page_directory;  // ends in "/"
  std::string script_path;     // the page-script file
  bool script_file = false;    // it opens
  std::vector<PageEntry> page_entries;
  std::vector<ScriptSource> scripts;
};

// Characters a page name may not hold.
constexpr const char* kPageNameForbidden = "/.\\*?$|'\"";

// Reads everything the form's configuration leads to.
FormSources form_sources_read(const FormConfig& form, const std::string& root);

// The page of `sources` a page name given in navigation leads to (a
// leading "P" is read as "p", as the page display does), or null.
const PageSource* form_page_named(const FormSources& sources, const std::string& name);

}  // namespace fwk

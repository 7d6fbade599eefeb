// What the forms engine tells the operator in the status log: each failure
// on one line that names the form, the file, the reason and the fix; and
// each answer a save drops for want of a column, once per form and field.
#pragma once

#include <set>
#include <string>

#include "core/plist.hpp"
#include "core/site.hpp"
#include "forms/form_config.hpp"

namespace fwk {

// The form and field names whose dropped answers have been logged (kept by
// the server, used on the server thread).
struct AnswerDrops {
  std::set<std::string> logged;  // "form\tFIELD", the field folded to upper case
};

// A save to the data file or the XML file failed with the store's result.
void log_data_file_failure(const SiteContext& site, const FormConfig& form, int result);
void log_xml_file_failure(const SiteContext& site, const FormConfig& form);

// The form's template cannot be opened: `what` says what names it
// ("FORM=survey"), `tried` is the path looked for.
void log_template_missing(const SiteContext& site, const std::string& form_name,
                          const std::string& what, const std::string& tried);

// The page file of a multi-page form cannot be opened.
void log_page_missing(const SiteContext& site, const std::string& form_name,
                      const std::string& page, const std::string& path);

// The form's configuration file or its section "DATABASE" is missing.
void log_config_missing(const SiteContext& site, const std::string& form_name);

// After a save to the data file: logs each answer of `request` (a non-empty
// value under a name that does not begin with "_") that the data file has
// no column for, the first time it happens for the form and the field.
void note_dropped_answers(const SiteContext& site, const FormConfig& form,
                          const ParamList* request);

}  // namespace fwk

// Checking one form: its configuration, its templates, pages and page
// scripts, its data file and the routes between its pages.
#pragma once

#include <string>
#include <vector>

#include "check/config_check.hpp"
#include "check/diagnostics.hpp"
#include "check/form_sources.hpp"
#include "forms/form_config.hpp"

namespace fwk {

// Checks form `form_name` of the root and adds what it finds.
void check_form(Diagnostics& diags, const CheckSettings& settings, const std::string& form_name);

// The columns a data file of the form needs: the ID fields (when
// respondents log in), every field its pages or template place and every
// answer its page scripts compute, in the order a respondent meets them,
// then the columns the engine fills itself.
std::vector<std::string> form_data_columns(const FormConfig& form, const FormSources& sources);

// The columns an index file of the form needs: the ID fields and _POS.
std::vector<std::string> form_index_columns(const FormConfig& form);

}  // namespace fwk

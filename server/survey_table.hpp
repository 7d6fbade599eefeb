// The table of installed surveys: the start page and one entry per survey
// configuration file (a ".ini" file) in the server root.
#pragma once

#include <cstddef>

#include "core/limits.hpp"
#include "core/site.hpp"

namespace fwk {

// The table of the server root's surveys: entry 0 is the start page, then
// one entry per "*.ini" file other than "cgi.ini", in name order, at most 15.
// Each entry's title and description come from the file's section
// "database" (keys Title and Description, defaulting to those words); its
// link starts the survey in the forms engine.
SurveyTable build_survey_table(const std::string& root);

// Number of entries in use (the start page included).
int survey_table_count(const SurveyTable& table);

}  // namespace fwk

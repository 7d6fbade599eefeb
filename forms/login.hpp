// Login and resuming responses. A form with HASUID identifies respondents
// by its ID fields (IDFIELDS: the login first, then passwords); a
// respondent who logs in again resumes the latest saved record with the
// same ID values, found through the index file (SAVEINDEXNAME) or by
// scanning the data file.
#pragma once

#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"
#include "forms/form_config.hpp"

namespace fwk {

// The respondent's latest undeleted record: a list named by the data
// file's columns holding that record's values, or none. The lookup methods
// of LOGINSEQUENCE (default "ASC", the data-file lookup) are tried in order;
// other words are passed over (and reported once in the status log).
// When nothing is found, `login_refused` (when given) tells whether a
// record has the request's login (the first ID field) but other values in
// the password fields: a wrong password rather than a new respondent.
ParamListPtr earlier_record_find(const SiteContext& site, const FormConfig& form,
                                 const ParamList* request, bool* login_refused = nullptr);

// Writes the login page: a "Start" form for a new response when `rights`
// hold append, and the login form with the ID fields the data file has
// (the "Setup error" page instead when the data file cannot be read).
// The caller has written the response header.
void login_page(OutputSink* sink, int rights, const FormConfig& form, const ParamList* request);

}  // namespace fwk

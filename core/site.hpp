// The site context: what the server knows of its site, built once at
// start-up and passed down to every handler (dispatch, file server, forms
// engine, record browser, template processor, scripts). Read-only while
// requests are served, except the status log, which is thread-safe, and the
// record of private files, which only the server thread uses.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "core/limits.hpp"
#include "core/plist.hpp"

namespace fwk {

// What the forms engine learned of its data files between saves
// (cgi/fwk/session_index.hpp).
struct SessionIndex;
// The refused requests each form's ADMINEMAIL is yet to be told of
// (forms/refusal_alerts.hpp).
struct RefusalAlerts;

struct StatusLog;
struct PrivateFiles;
struct SurveyList;
// The answers the forms engine has told the operator it could not save
// (forms/form_log.hpp).
struct AnswerDrops;

// One installed survey as the window and the index listing show it.
struct SurveyEntry {
  bool in_use = false;
  std::u16string title;        // at most 1023 units
  std::u16string description;  // at most 1023 units
  std::u16string link;         // at most 259 units, relative to the URL root
};

// Entry 0 is the start page, entries 1 to 15 the installed surveys; the
// entries in use come first.
using SurveyTable = std::array<SurveyEntry, kSurveyTableSize>;

struct SiteContext {
  // The server root, always ending in "/".
  std::string root;
  // Section "server" of "cgi.ini" (HOME, ERROR, DEVICEID, HELPURL ...);
  // may be absent.
  ParamListPtr settings;
  // The port the listener is bound to (0 before it is bound).
  int port = 0;
  // "127.0.0.1:" and the port, once bound; redirects are built from it.
  std::string address;
  // The installed surveys as they were at start-up.
  SurveyTable surveys;
  // The installed surveys as they are now (http/survey_table.hpp), kept by
  // the server thread for the index listing; absent: `surveys`.
  SurveyList* survey_list = nullptr;
  // Where failures are reported for the window; absent: nowhere.
  StatusLog* log = nullptr;
  // Kept by the forms engine across requests (the server is the only
  // writer of its data files); absent: every save reads its data file anew.
  std::shared_ptr<SessionIndex> session_index;
  // Which dropped answers have been logged, so that each form and field is
  // logged once; absent: every drop is logged.
  std::shared_ptr<AnswerDrops> answer_drops;
  // Kept by the forms engine across requests, used by the server thread;
  // absent: every refusal is told at once.
  std::shared_ptr<RefusalAlerts> refusal_alerts;
  // What the forms keep private from the file server
  // (server/private_files.hpp), refreshed by the server thread as the root
  // changes; absent: read for each request.
  PrivateFiles* private_files = nullptr;
};

// The log of a site that may be absent (tests run templates without one).
inline StatusLog* site_log(const SiteContext* site) {
  return site ? site->log : nullptr;
}

}  // namespace fwk

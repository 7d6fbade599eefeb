// What a request handler (the forms engine, the record browser, the file
// server) answers the dispatcher. The server loop writes nothing more for
// ok, a "404" line for not_found, the access-denied line for access_denied,
// and for any other result a note with its number and a help link; the
// forms engine's pages show the numbers of failed saves too.
#pragma once

#include "mail/mail_result.hpp"
#include "store/store_result.hpp"

namespace fwk {

enum class HandlerResult {
  ok = 0,
  not_found = -1,
  page_missing = 2,      // a page file or form template is missing
  no_data_file = 3,      // the record browser's data file does not open
  row_missing = 8,       // the record browser's row is past the end
  unknown_id = 11,       // the identifier is missing or not in the password file
  limit_reached = 12,    // the form's response limit is reached
  no_config = 21,        // the configuration file or its section is missing
  unknown_command = 30,  // the record browser's command is unknown
  access_denied = 101,   // a required right is missing
  param_too_long = 102,  // a parameter longer than 128 characters
  bad_page_name = 103,   // _PAGE shorter than 5 characters
  bad_name = 104,        // a form or page name with a forbidden character
};

// The number pages, notes and logs show for the result.
constexpr int result_number(HandlerResult result) {
  return static_cast<int>(result);
}

// True for the results above 100: requests refused outright, which the
// forms engine reports to the form's administrator.
constexpr bool handler_refused(HandlerResult result) {
  return result_number(result) > 100;
}

// A save that failed answers with the result of the step that failed, as
// that step numbers it: the data or XML file's, or the mail queue's.
constexpr HandlerResult save_failure(StoreResult result) {
  return static_cast<HandlerResult>(result_number(result));
}
inline HandlerResult save_failure(MailResult result) {
  return static_cast<HandlerResult>(mail_result_number(result));
}

}  // namespace fwk

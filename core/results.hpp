// The system's result numbers, each defined once. Small operations answer
// 1 and 0 (or bool); the numbers here are the ones that travel: from the
// handlers to the server loop's note, from the store to its callers' pages
// and logs, and from the script interpreter to its error report. Mail has
// its own (mail/mail_result.hpp).
#pragma once

namespace fwk {

// --- Handler results ---------------------------------------------------------
// What the forms engine, the record browser and the file server return to
// the dispatcher. The server loop writes a 404 line for kHandlerNotFound,
// the access-denied line for kHandlerAccessDenied and a help link for the
// others (0 adds nothing).
constexpr int kHandlerOk = 0;
constexpr int kHandlerNotFound = -1;
constexpr int kHandlerPageMissing = 2;      // page file or form template missing; data file
                                            // not writable on a save
constexpr int kHandlerNoDataFile = 3;       // the record browser's data file does not open
constexpr int kHandlerRowMissing = 8;       // the record browser's row is past the end
constexpr int kHandlerUnknownId = 11;       // identifier missing or not in the password file
constexpr int kHandlerLimitReached = 12;    // the form's response limit is reached
constexpr int kHandlerNoConfig = 21;        // configuration file or its section is missing
constexpr int kHandlerUnknownCommand = 30;  // the record browser's command is unknown
constexpr int kHandlerAccessDenied = 101;   // a required right is missing
constexpr int kHandlerParamTooLong = 102;   // a parameter longer than 128 characters
constexpr int kHandlerBadPageName = 103;    // _PAGE shorter than 5 characters
constexpr int kHandlerBadName = 104;        // a form or page name with a forbidden character

// --- Store results -----------------------------------------------------------
constexpr int kStoreOk = 0;
constexpr int kStoreHeaderUnreadable = 2;  // data file or its header row cannot be read
constexpr int kStoreNotWritable = 6;       // the file cannot be opened for writing or written

// --- Script errors -------------------------------------------------------------
// Returned by script_run; script_error_message gives their texts.
enum ScriptError : int {
  kScriptOk = 0,
  kScriptNeedQuote = 40,        // a string literal is not closed
  kScriptNeedIfParen = 41,      // no "(" after if / elif / elsif / else if
  kScriptNeedCloseParen = 42,   // no ")" closes a condition or an argument list
  kScriptNeedBrace = 43,        // no "{" after a condition or else
  kScriptElseWithoutIf = 44,    // else / elif / elsif without an open if chain
  kScriptNoObject = 45,         // unknown object, no object table, or an empty key
  kScriptBadStatement = 46,     // a statement word not followed by =, += or (
  kScriptWrongArgCount = 47,    // (has a message; no statement raises it)
  kScriptNoFunction = 48,       // unknown function, no function table, unclosed (...)
  kScriptNeedValue = 49,        // nothing after = or +=
  kScriptNestedTooDeeply = 50,  // blocks or nested calls deeper than kScriptMaxNesting
};

}  // namespace fwk

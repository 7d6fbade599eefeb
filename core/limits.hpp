// Every size limit of the design: the fixed "areas" that bound what is kept
// of a text, a list or a table. They limit what is kept, never a buffer that
// could overflow; what does not fit is cut or dropped as each user says.
#pragma once

#include <cstddef>

namespace fwk {

// --- Files and paths -----------------------------------------------------------
constexpr std::size_t kPathArea = 1024;             // a joined path: at most 1023 bytes
constexpr std::size_t kServerRootLimit = 259;       // bytes of the server root, its "/" included
constexpr std::size_t kConfiguredNameLimit = 1000;  // a file name from a form's configuration
constexpr std::size_t kFallbackPathLimit = 120;     // a data file path tried again with ".asc"

// --- Server, window and status log --------------------------------------------------
constexpr std::size_t kStatusTextLimit = 8195;  // UTF-16 units of the status text
constexpr std::size_t kFormatArea = 8196;       // one out_printf: at most 8195 bytes
constexpr std::size_t kErrorNoteArea = 1024;    // the note after a failed request: 1023 bytes
constexpr std::size_t kListingArea = 1024;      // each text of the index listing, converted
constexpr std::size_t kHostNameLimit = 79;      // bytes of the host name in the running message
constexpr std::size_t kPeerHostLimit = 259;     // bytes of a peer's host name
constexpr std::size_t kWindowTitleLimit = 63;   // UTF-16 units of the window title
constexpr int kSurveyTableSize = 16;            // the start page and at most 15 surveys
constexpr std::size_t kSurveyTextLimit = 1023;  // units of a survey's title or description
constexpr std::size_t kSurveyLinkLimit = 259;   // units of a survey's link
constexpr std::size_t kSurveyPathLimit = 259;   // bytes of a survey file's path
constexpr std::size_t kAccessValueLimit = 128;  // a form name or password looked at at all

// --- Templates ---------------------------------------------------------------------
constexpr std::size_t kTagArea = 8196;            // a whole tag: at most 8195 characters
constexpr std::size_t kTagNameLimit = 8194;       // a tag name: at most 8193 characters
constexpr std::size_t kBraceLimit = 8193;         // a "{...}" substitution: 8192 characters
constexpr std::size_t kElseNameLimit = 8191;      // the tag name read after "<%else"
constexpr int kTagAttrsMax = 20;                  // attributes kept per tag
constexpr std::size_t kTagAttrArea = 4096;        // an attribute name or value: 4095 characters
constexpr std::size_t kSelectNameArea = 128;      // the current select name: 127 characters
constexpr std::size_t kDirectiveNameArea = 1023;  // a directive's file name: 1022 characters
constexpr std::size_t kDirectiveMarkerArea = 29;  // a marker of %random: 28 characters
constexpr std::size_t kRandomMaxItems = 128;      // items of a %random section shuffled
constexpr std::size_t kConditionArea = 1024;      // a %report condition: 1023 characters

// --- Scripts and expressions -----------------------------------------------------------
constexpr std::size_t kScriptTokenArea = 4096;   // a script token: 4095 characters
constexpr std::size_t kOperandArea = 4095;       // a right-hand side's first token
constexpr std::size_t kExprResultArea = 128;     // the evaluator's result: 127 characters
constexpr std::size_t kBuiltinNameLimit = 1024;  // a built-in's joined file name

// --- Data files and the outbox ---------------------------------------------------------
constexpr std::size_t kHeaderFieldArea = 8196;   // a header name: 8195 characters
constexpr std::size_t kRecordFieldArea = 65535;  // a record field: 65534 characters
constexpr std::size_t kOpenLineArea = 260;       // the open line of an outbox record
constexpr std::size_t kHeadLineArea = 8196;      // each head line of an outbox record

}  // namespace fwk

// XML transaction files: one TRANSACTION element appended per saved response.
//
//   <TRANSACTION><Q1>yes</Q1>
//   <KID id="1">
//   <NAME>Ann</NAME>
//   </KID>
//   <Q9>no</Q9>
//   </TRANSACTION>
//
// Each entry becomes an element named like the entry, holding its value with
// "&", "<" and ">" escaped. Entries named "" or beginning with "_" (the form
// engine's own parameters) are not written, nor are entries whose names are
// not valid XML element names. A name of the form group_N_field (a digit
// after the first "_", a second "_" later) is written as the element field
// inside a group element <group id="N">; consecutive entries of the same
// group (same N, group names equal ignoring case) share one group element.
#pragma once

#include <string>

#include "core/plist.hpp"
#include "store/store_result.hpp"

namespace fwk {

// The text of one transaction for the used entries of the record's first
// block.
std::string xml_transaction_text(const ParamList* record);

// Appends one transaction to the file at `path` (created when missing) and
// flushes it to stable storage. ok, or not_writable when the file cannot be
// opened or written.
StoreResult xml_append_transaction(const ParamList* record, const char* path);

// True when `name` is a valid XML element name without a namespace prefix
// (letters, digits, "_", "-", "." and non-ASCII name characters in UTF-8;
// not starting with a digit, "-" or ".").
bool xml_is_element_name(const std::string& name);

}  // namespace fwk

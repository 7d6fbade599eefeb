// What one forms-engine request knows once its checks have passed: shared
// by the request handler, the page navigation and the final save, so that
// each of them sees the same rights, copies and header state.
#pragma once

#include <cstdint>
#include <string>

#include "core/headers.hpp"
#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"
#include "forms/form_config.hpp"

namespace fwk {

struct FormState {
  const SiteContext* site = nullptr;
  OutputSink* sink = nullptr;
  // The request list (present whenever a FormState exists); DATABASE and
  // _ACTION have already been deleted from it.
  ParamList* request = nullptr;
  // The form's configuration (its name is the request's DATABASE).
  const FormConfig* form = nullptr;
  // The handler's own copies of _ACTION and _PASSWORD.
  std::string action;
  std::string password;
  // The handler's writable copy of _PAGE: the current page name. The page
  // display may change its first character ("P" marks a group's page).
  std::string page;
  // The request's HTTP Host header ("" when it had none); redirects to a
  // path of this server use it.
  std::string http_host;
  // The client's address (IPv4, network byte order): password and login
  // checks count against it (access.hpp).
  uint32_t client = 0;
  // The requester's rights (access.hpp).
  int rights = 0;
  // The request holds a non-empty value under the first ID field name.
  bool id_present = false;
  // Set once the response header has been written for this request.
  bool header_written = false;
};

// Writes the response header (absent text: the default header) unless one
// has already been written for this request. A response carries one header.
inline void form_write_header(FormState& state, const char* header_text = nullptr) {
  if (state.header_written) return;
  write_headers(state.sink, header_text);
  state.header_written = true;
}

}  // namespace fwk

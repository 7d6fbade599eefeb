// The page that explains the error numbers of the notes under a failed
// request. The notes link to HELPURL (cgi.ini, default /help.html); when
// the server root has no such page, the server answers with this one.
#pragma once

#include "core/plist.hpp"
#include "core/sink.hpp"

namespace fwk {

// True when `path` (a request path relative to the root) is the page the
// error notes link to: HELPURL of `settings` (or the default) without its
// "#..." part, when it names a page of this server.
bool help_page_path(const ParamList* settings, const char* path);

// Writes the built-in help page (header included): one entry per error
// number, with the anchor "s<number>" the notes link to.
void write_help_page(OutputSink* sink);

}  // namespace fwk

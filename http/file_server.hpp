// Serving the files of the server root: ".html" pages through the template
// processor, other files as they are with a content type chosen by name,
// and for a missing file the configured ERROR page or the built-in index
// listing of the installed surveys.
#pragma once

#include "core/plist.hpp"
#include "core/request.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"
#include "forms/handler_result.hpp"

namespace fwk {

// Serves the request's path (relative to the server root) to the sink; an
// ".html" page sees the request's parameters. A path that would leave the
// server root (also through a symbolic link), a private file
// (private_files.hpp; checked also where links lead) and anything but a
// regular file count as missing; a file that cannot be opened for want of
// file handles gets 503. Returns ok.
HandlerResult file_serve(const SiteContext& site, const Request& request, OutputSink* sink);

// True when the file at `path` is a page the template processor makes:
// its name contains ".html" (any case). Other files are sent as they are.
bool file_is_template(const char* path);

// The header text for a file that is sent as it is: the first of ".gif",
// ".jpg", ".pdf" that the path contains (any case), else the content type of
// its extension, else text/plain.
const char* file_content_header(const char* path);

// True when a requested path names a file inside the server root: it is not
// absolute ("/" or "\" first) and has no ".." segment.
bool path_inside_root(const char* path);

// The built-in index: one line per installed survey (entries 1 to 15 of
// the table that are in use), in the ANSI code page.
void write_index_listing(const SurveyTable& surveys, OutputSink* sink);

}  // namespace fwk

// How the record browser reports a failure, shared by its requests.
#pragma once

#include "core/sink.hpp"
#include "core/site.hpp"

namespace fwk {

// Reports a failure about `subject` (a name from the request or the form)
// to the status log as "\n<place>: <what> (%s<suffix>)\t<subject>", and on
// the page as "Error <code> in <place>@<line>: <what> (<subject><suffix>)"
// with the subject escaped.
void list_report_error(const SiteContext& site, OutputSink* sink, int code, int line,
                       const char* what, const char* subject, const char* suffix = "");

}  // namespace fwk

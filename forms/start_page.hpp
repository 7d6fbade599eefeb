// The start page: asks for a form's name when the engine does not know
// which form is meant, and posts it back to the engine.
#pragma once

#include "core/sink.hpp"

namespace fwk {

// Writes the page (no closing body or html tag: the caller may add an
// explanation after it). The caller writes the response header.
void start_page(OutputSink* sink);

}  // namespace fwk

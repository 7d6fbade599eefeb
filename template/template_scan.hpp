// Reading a template up to markers: the rest of a tag, a skipped branch,
// a passage copied through. Used by the template processor, the
// directives and form filling.
#pragma once

#include <cstddef>
#include <string>

#include "core/sink.hpp"
#include "core/text_input.hpp"

namespace fwk {

// Appends the rest of a tag to the name already in `buffer`: the delimiter
// that ended the name (unless it is 0 or kInputEnd), then the input up to
// `marker` (which is consumed, not kept), then removes trailing characters
// of `trim`. The buffer keeps at most size - 1 characters; the rest of a
// longer tag is read and dropped. Nothing happens when the buffer is empty.
void tag_read_rest(TextInput& in, std::string& buffer, std::size_t size, int delimiter,
                   const char* marker, const char* trim);

// Reads up to and including `marker` (compared ignoring case). When a
// buffer is given it receives the characters before the marker (at most
// size - 1). Returns 1 when the marker was found, 0 when the input ended
// first (the buffer then holds everything read).
int input_read_until(TextInput& in, std::string* buffer, std::size_t size, const char* marker);

// Passes over the input until marker1 or marker2 (same length; compared
// ignoring case) has been read, writing the bytes passed over to the sink
// (when given). Returns 1 or 2 for the marker found, 0 at the end of the
// input (or when marker1 is empty).
int input_copy_until(TextInput& in, OutputSink* sink, const char* marker1, const char* marker2);
int input_skip_until(TextInput& in, OutputSink* sink, const char* marker);

}  // namespace fwk

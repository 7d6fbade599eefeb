// The attributes of an HTML tag as a name/value list.
//
// Each attribute is one entry in the order written: the name as written and
// the value (absent for an attribute written without "="). A double-quoted
// value runs to the next double quote; any other value runs to ">" or
// whitespace (single quotes are not special and stay part of the value).
// An attribute removed later keeps its slot with the name "" and is not
// written.
#pragma once

#include <cstddef>
#include <string>

#include "core/limits.hpp"
#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/text_input.hpp"

namespace fwk {

// Reads attributes up to and including the tag's ">" (or the end of the
// input). `capacity` is the room of the list; 0 or less means 16. Never
// more than kTagAttrsMax (nor capacity) attributes are kept: after the last
// one the rest of the tag is skipped through ">".
ParamListPtr tag_read_attrs(TextInput& in, int capacity);

// tag_read_attrs into a list the caller keeps from tag to tag: its entries
// are replaced by the attributes read, reusing their text buffers.
void tag_read_attrs_into(TextInput& in, int capacity, ParamList& attrs);

// Writes each attribute with a non-empty name: a space, the name, and when
// it has a value, ="value" with the value HTML-escaped.
void attrs_write(OutputSink* sink, const ParamList* attrs);

// attrs_write into a text, for a caller that writes a whole tag at once.
void attrs_append(std::string& out, const ParamList* attrs);

}  // namespace fwk

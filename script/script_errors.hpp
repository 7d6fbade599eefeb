// Turning a script error code into a message in the page.
#pragma once

#include "core/sink.hpp"
#include "core/text_input.hpp"
#include "script/script_context.hpp"
#include "script/script_result.hpp"

namespace fwk {

// The message for an error of script_run ("Unknown scripting error" for a
// result without one).
const char* script_error_message(ScriptResult result);

// Longest source excerpt shown by the report.
constexpr long kScriptErrorExcerpt = 1024;

// Writes "Script error <code>: <message>:" followed by the source of the
// failing statement (from the context's statement start to its run end, at
// most kScriptErrorExcerpt bytes, read again from the input, which is left
// after those bytes). Returns 0.
int script_error_report(OutputSink* sink, const ScriptContext& context, TextInput& in,
                        ScriptResult result);

}  // namespace fwk

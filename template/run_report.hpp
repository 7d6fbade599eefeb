// The script built-in that runs templates:
//
//   runReport(file, ...)  the output of each named template, one after
//                         another, as text (page scripts only: it needs the
//                         form's settings)
//
// It lives with the template processor so that the script interpreter
// below it never calls up into it.
#pragma once

#include <optional>
#include <string>

#include "script/script_context.hpp"

namespace fwk {

std::optional<std::string> builtin_run_report(ScriptContext& context, const char* name, int argc,
                                              const std::string* argv, ParamList* variables);

}  // namespace fwk

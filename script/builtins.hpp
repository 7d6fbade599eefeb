// The general-purpose built-in functions of the script language. The
// function tables that bind names to them are their callers': template
// script blocks (template/script_block.hpp) and page scripts
// (forms/page_script.hpp). runReport, which runs templates, lives with the
// template processor (template/run_report.hpp).
//
//   print(a, ...), write(a, ...)  write each argument; no value
//   eval(text)                    the value of a value expression
//   toFixed(number, decimals)     the number with that many decimals
//   random(n)                     a pseudo-random number below n (or the
//                                 site's random counter itself)
//   hasRecord(file, condition)    "1" when a record of the data file
//                                 satisfies the condition, else "0"
//   html(text)                    the text with <, >, &, " and ' written as
//                                 HTML entities, safe to print in a page
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "script/script_context.hpp"

namespace fwk {

std::optional<std::string> builtin_print(ScriptContext& context, const char* name, int argc,
                                         const std::string* argv, ParamList* variables);
std::optional<std::string> builtin_eval(ScriptContext& context, const char* name, int argc,
                                        const std::string* argv, ParamList* variables);
std::optional<std::string> builtin_to_fixed(ScriptContext& context, const char* name, int argc,
                                            const std::string* argv, ParamList* variables);
std::optional<std::string> builtin_random(ScriptContext& context, const char* name, int argc,
                                          const std::string* argv, ParamList* variables);
std::optional<std::string> builtin_has_record(ScriptContext& context, const char* name, int argc,
                                              const std::string* argv, ParamList* variables);
std::optional<std::string> builtin_html(ScriptContext& context, const char* name, int argc,
                                        const std::string* argv, ParamList* variables);

// The path of a file name a built-in was given: joined to the context's
// base path when there is one and the joined length stays within
// kBuiltinNameLimit; else the name itself.
std::string script_resolve_name(const ScriptContext& context, const std::string& name);

}  // namespace fwk

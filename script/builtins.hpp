// The general-purpose built-in functions of the script language and the
// function table that template script blocks use.
//
//   print(a, ...), write(a, ...)  write each argument; no value
//   eval(text)                    the value of a value expression
//   toFixed(number, decimals)     the number with that many decimals
//   random(n)                     a pseudo-random number below n (or the
//                                 shared counter itself)
//   hasRecord(file, condition)    "1" when a record of the data file
//                                 satisfies the condition, else "0"
//   runReport(file, ...)          the templates' output as text (page
//                                 scripts only: needs the form's settings)
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
std::optional<std::string> builtin_run_report(ScriptContext& context, const char* name, int argc,
                                              const std::string* argv, ParamList* variables);

// The table of template script blocks: print 10, write 10, toFixed 2,
// eval 1, hasRecord 2, runReport 1, random 1, html 1, then the end row.
extern const ScriptFunction kTemplateFunctions[];

// The shared counter behind random (for tests).
uint32_t random_counter();

}  // namespace fwk

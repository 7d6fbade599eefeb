// The built-in functions that only page scripts have (the general ones are
// in script/builtins.hpp):
//
//   timestamp()            the local date and time as 14 digits
//   timedate()             the date as 8 digits (yyyymmdd)
//   timetime()             the time as 6 digits (hhmmss)
//   uniqueid(mix)          a new random identifier (the argument is not used)
//   sendmail(to, subj, b)  queues a mail through the form's EMAILSERVER
//   showpage(page)         adds a page to _PAGESKIP (builds a group)
//   number(x), tonumber(x) x when it begins like a number, else nothing
//   ranksort(items)        names of name=value items ordered by value
//   rankindex(list, word)  1-based position of word in the list as counted
//                          by list_contains_exact
#pragma once

#include <optional>
#include <string>

#include "script/script_context.hpp"

namespace fwk {

std::optional<std::string> builtin_timestamp(ScriptContext& context, const char* name, int argc,
                                             const std::string* argv, ParamList* variables);
std::optional<std::string> builtin_timedate(ScriptContext& context, const char* name, int argc,
                                            const std::string* argv, ParamList* variables);
std::optional<std::string> builtin_timetime(ScriptContext& context, const char* name, int argc,
                                            const std::string* argv, ParamList* variables);
std::optional<std::string> builtin_uniqueid(ScriptContext& context, const char* name, int argc,
                                            const std::string* argv, ParamList* variables);
std::optional<std::string> builtin_sendmail(ScriptContext& context, const char* name, int argc,
                                            const std::string* argv, ParamList* variables);
std::optional<std::string> builtin_showpage(ScriptContext& context, const char* name, int argc,
                                            const std::string* argv, ParamList* variables);
std::optional<std::string> builtin_number(ScriptContext& context, const char* name, int argc,
                                          const std::string* argv, ParamList* variables);
std::optional<std::string> builtin_ranksort(ScriptContext& context, const char* name, int argc,
                                            const std::string* argv, ParamList* variables);
std::optional<std::string> builtin_rankindex(ScriptContext& context, const char* name, int argc,
                                             const std::string* argv, ParamList* variables);

}  // namespace fwk

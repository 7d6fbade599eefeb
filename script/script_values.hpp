// The parts of a statement that produce values: assignments, function calls
// and object access. Used by the statement loop (script_run.cpp); each
// reads from the input and moves the lookahead along.
#pragma once

#include <optional>
#include <string>

#include "core/plist.hpp"
#include "core/text_input.hpp"
#include "script/script_context.hpp"
#include "script/script_result.hpp"

namespace fwk {

// Runs the rest of an assignment to `target` after its "=" (append: "+=")
// and stores the value. `lookahead` comes in as the one after the "=" and
// leaves as the one after the value. Returns ok or the error.
ScriptResult script_assign(ScriptContext& context, TextInput& in, ParamList* variables,
                           const std::string& target, bool append, int& lookahead);

// Calls the function `name` of the context's table. `lookahead` is the one
// in front of the argument list's first token (the "(" itself has been
// read). The value is stored in *result when it is given. Returns ok or the
// error code; the input is left after the closing ")".
ScriptResult script_call(ScriptContext& context, TextInput& in, ParamList* variables,
                         const std::string& name, int lookahead,
                         std::optional<std::string>* result);

// Reads "[key]" after the object name `name` (`lookahead` is the "[") and
// gives the value of the key in the object's list ("" when missing).
// Returns ok or the error; the input is left after the "]".
ScriptResult script_access(ScriptContext& context, TextInput& in, ParamList* variables,
                           const std::string& name, int lookahead, std::string& value);

// Stores a variable, extending the list by 128 slots when it is full.
void script_set_variable(ParamList* variables, const std::string& name, const std::string& value);

}  // namespace fwk

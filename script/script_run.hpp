// The script interpreter: runs statements straight from the input, token by
// token, as it reads them (there is no parse tree).
//
// Statements: assignments "x = ..." and "x += ..." (number mode when the
// right-hand side starts like a number or a variable holding one, string
// mode otherwise: operands joined by "+" or written one after another),
// calls "f(a, b)" of the functions in the context's table, object access
// "data[key]", "if (cond) {...} elif (cond) {...} else {...}" chains,
// "{...}" blocks, "delete x", "var" (ignored), comments ("#", "//", "/* */")
// and the terminators "exit", "&exit", "&end", "&return", "</script>" and
// "%>". Variables are the entries of the caller's list; what a script sets
// stays there for everything that runs after it.
#pragma once

#include "core/plist.hpp"
#include "core/text_input.hpp"
#include "script/script_context.hpp"
#include "script/script_result.hpp"

namespace fwk {

// Deepest nesting of blocks and of calls inside argument lists.
constexpr int kScriptMaxNesting = 64;

// Runs statements from the input's current position until a terminator,
// the "}" that closes the block being run, the end of the input, or the
// first error. Returns ok or the error. On return the context holds the
// status (lookahead, -1 after a terminator or the end) and the run end; the
// input is where reading stopped.
ScriptResult script_run(ScriptContext& context, TextInput& in, ParamList* variables);

}  // namespace fwk

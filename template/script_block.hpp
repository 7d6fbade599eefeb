// Script blocks of templates: "<% statements %>".
#pragma once

#include "script/script_context.hpp"
#include "template/template.hpp"

namespace fwk {

// The function table of template script blocks: print 10, write 10,
// toFixed 2, eval 1, hasRecord 2, runReport 1, random 1, html 1, then the end row.
extern const ScriptFunction kTemplateFunctions[];

// Runs the script block whose statements begin at args.input, with the
// template function table, the object "data" holding
// args.record, and args.variables as the variable store. An error is
// written as "[" + its report + "]". Returns the error's number, 0 when
// none.
int script_block_run(const TemplateArgs& args);

}  // namespace fwk

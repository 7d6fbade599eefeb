// Script blocks of templates: "<% statements %>".
#pragma once

#include "template/template.hpp"

namespace fwk {

// Runs the script block whose statements begin at args.input, with the
// template function table (builtins.hpp), the object "data" holding
// args.record, and args.variables as the variable store. An error is
// written as "[" + its report + "]". Returns the run's code.
int script_block_run(const TemplateArgs& args);

}  // namespace fwk

// Hand-over points from the template processor to the directive handlers
// and the script-block runner.
//
// The processor classifies a tag name and, for these rows, calls through
// `template_seams`. While a pointer is null the tag is treated as an
// ordinary tag (written as "<", the name and its delimiter, with the rest
// passing through as template text).
//
//   name begins with "%fwk"      -> fwk_list
//   name equals "%include"       -> include
//   name equals "%source"        -> source
//   name equals "%report"        -> report
//   name begins with "%random"   -> random
//   name equals "%stats"         -> stats
//   name equals "%" (with sink)  -> script_block
//
// Contract of every entry:
//  - it is called with the arguments of the current call; args.input is
//    positioned right after the delimiter that ended the tag name, and the
//    handler reads its own parameters from there and consumes its tag
//    through "%>" (or its terminator);
//  - to process a section or another file it calls template_process with a
//    copy of args whose fields it changes as needed and whose depth is
//    args.depth + 1 (template_process refuses calls deeper than
//    kTemplateMaxDepth, which bounds self-including templates);
//  - the returned integer is ignored by the processor, which goes on
//    reading from wherever the handler left args.input.
//
// script_block runs one script block: it prepares the interpreter context
// (sink, base path, object table with the single object "data" holding
// args.record, and the template function table, in this order: "print" 10,
// "write" 10, "toFixed" 2, "eval" 1, "hasRecord" 2, "runReport" 1,
// "random" 1), runs the interpreter on args.input with args.variables as its
// variable store, and when the run returns an error code above 0 writes
// "[", the error report for that code, and "]". It is only called with a
// sink; in a silent pass the block's text is scanned as template text.
//
// Once the handlers exist they can be bound here at start-up, or the
// processor can call them directly and this header can go.
#pragma once

#include "script/template.hpp"

namespace fwk {

using TemplateHandler = int (*)(const TemplateArgs& args);

struct TemplateSeams {
  TemplateHandler fwk_list = nullptr;
  TemplateHandler include = nullptr;
  TemplateHandler source = nullptr;
  TemplateHandler report = nullptr;
  TemplateHandler random = nullptr;
  TemplateHandler stats = nullptr;
  TemplateHandler script_block = nullptr;
};

// All null until the handlers are bound.
extern TemplateSeams template_seams;

}  // namespace fwk

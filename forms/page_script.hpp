// Page scripts: the statements a form's page-script file (the form name
// with ".val") holds for each page, run when the respondent leaves the page.
//
// Each page's part of the file begins with <PAGE NAME="name" ...>. The
// forward script (NEXT, SUBMIT, and every final save for the page named
// "SUBMIT") is the first "<SCRIPT ...>" after it, the back script (BACK) the
// first "<SCRIPT TYPE=BACK>". Both searches ignore letter case and run on
// through the rest of the file, so a page without a script of its own runs
// the next one found.
//
// Scripts run with the request parameters as their variables. They steer
// navigation through _PAGEWARN (stay on the page), _PAGESKIP (the next page
// or group; also set by showpage) and _PAGENEXT (the pending pages).
#pragma once

#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"
#include "forms/form_config.hpp"
#include "script/script_context.hpp"

namespace fwk {

// The function tables of the two kinds of script, in lookup order.
extern const ScriptFunction kPageForwardFunctions[];
extern const ScriptFunction kPageBackFunctions[];

// Run the forward or back script of `page` in the page-script file of
// `form`; the scripts see its section "DATABASE" as their configuration.
// Script errors are reported in the page (`sink`); the request goes on.
// Before the run, _PAGEWARN, _PAGENEXT and _PAGESKIP are made present
// (empty) when the request lacks them, so the script can set them in place.
// Returns 0, or 1 when the page-script file does not open. An empty page
// name, or a page or script that the file does not hold, runs nothing.
int page_script_forward(const SiteContext& site, OutputSink* sink, const FormConfig& form,
                        ParamList* request, const char* page);
int page_script_back(const SiteContext& site, OutputSink* sink, const FormConfig& form,
                     ParamList* request, const char* page);

}  // namespace fwk

#include "forms/page_script.hpp"

#include <cstdio>
#include <string>

#include "core/paths.hpp"
#include "core/text_input.hpp"
#include "forms/page_script_builtins.hpp"
#include "script/builtins.hpp"
#include "script/script_errors.hpp"
#include "script/script_run.hpp"
#include "template/run_report.hpp"
#include "template/template.hpp"
#include "template/template_scan.hpp"

namespace fwk {

const ScriptFunction kPageForwardFunctions[] = {
    {"print", 10, builtin_print},
    {"write", 10, builtin_print},
    {"eval", 1, builtin_eval},
    {"timestamp", 0, builtin_timestamp},
    {"timedate", 0, builtin_timedate},
    {"timetime", 0, builtin_timetime},
    {"uniqueid", 1, builtin_uniqueid},
    {"tofixed", 2, builtin_to_fixed},
    {"sendmail", 3, builtin_sendmail},
    {"showpage", 1, builtin_showpage},
    {"ranksort", 128, builtin_ranksort},
    {"rankindex", 2, builtin_rankindex},
    {"runreport", 8, builtin_run_report},
    {"number", 1, builtin_number},
    {"tonumber", 1, builtin_number},
    {"random", 1, builtin_random},
    {"html", 1, builtin_html},
    {nullptr, 0, nullptr},
};

const ScriptFunction kPageBackFunctions[] = {
    {"print", 10, builtin_print},
    {"write", 10, builtin_print},
    {"eval", 1, builtin_eval},
    {"timestamp", 0, builtin_timestamp},
    {"timedate", 0, builtin_timedate},
    {"timetime", 0, builtin_timetime},
    {"uniqueid", 1, builtin_uniqueid},
    {"toFixed", 2, builtin_to_fixed},
    {"sendMail", 3, builtin_sendmail},
    {"showpage", 1, builtin_showpage},
    {"runReport", 8, builtin_run_report},
    {"number", 1, builtin_number},
    {"toNumber", 1, builtin_number},
    {"random", 1, builtin_random},
    {"html", 1, builtin_html},
    {nullptr, 0, nullptr},
};

namespace {

// Moves the input past the page's entry and the marker(s) that open the
// wanted script. False when one of them is missing.
bool find_script(TextInput& in, const char* page, bool back) {
  std::string entry = std::string("<PAGE NAME=\"") + page + "\"";
  if (!input_read_until(in, nullptr, 0, entry.c_str())) return false;
  if (back) return input_read_until(in, nullptr, 0, "<SCRIPT TYPE=BACK>") == 1;
  return input_read_until(in, nullptr, 0, "<SCRIPT") == 1 &&
         input_read_until(in, nullptr, 0, ">") == 1;
}

// Makes the navigation parameters present so that the script changes them
// in place. A claimed slot may be a deleted entry that still holds its old
// value, so it is emptied as it is named.
void claim_navigation_slots(ParamList* request) {
  for (const char* name : {"_PAGEWARN", "_PAGENEXT", "_PAGESKIP"}) {
    if (!plist_find(request, name)) plist_set(request, name, "");
  }
}

int page_script_run(const SiteContext& site, OutputSink* sink, const FormConfig& form,
                    ParamList* request, const char* page, bool back) {
  if (!page || !*page) return 0;
  FilePtr file = path_open_binary(site.root.c_str(), form.name.c_str(), ".val");
  if (!file) return 1;
  TextInput in = input_from_file(file.get());
  if (find_script(in, page, back)) {
    claim_navigation_slots(request);
    ScriptContext context;
    context.sink = sink;
    context.config = form.database.get();
    context.site = &site;
    context.base_path = site.root.c_str();
    context.functions = back ? kPageBackFunctions : kPageForwardFunctions;
    const ScriptResult result = script_run(context, in, request);
    if (result != ScriptResult::ok) script_error_report(sink, context, in, result);
  }
  return 0;
}

}  // namespace

int page_script_forward(const SiteContext& site, OutputSink* sink, const FormConfig& form,
                        ParamList* request, const char* page) {
  return page_script_run(site, sink, form, request, page, false);
}

int page_script_back(const SiteContext& site, OutputSink* sink, const FormConfig& form,
                     ParamList* request, const char* page) {
  return page_script_run(site, sink, form, request, page, true);
}

}  // namespace fwk

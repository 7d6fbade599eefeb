#include "check/form_sources.hpp"

#include <algorithm>
#include <utility>

#include "check/check_files.hpp"
#include "core/connection.hpp"
#include "core/paths.hpp"
#include "forms/page_script.hpp"
#include "forms/page_show.hpp"
#include "platform/dirsearch.hpp"
#include "script/script_errors.hpp"
#include "script/script_run.hpp"
#include "template/template.hpp"
#include "template/template_scan.hpp"

namespace fwk {

namespace {

// Room the checking passes give scripts for their variables.
constexpr std::size_t kScratchSlots = 64;
constexpr std::size_t kPageNameArea = 1024;

// A checking pass over a template from the input's position: with a stop
// tag, up to it (0 when it was met).
int check_pass(SourceCheck& notes, TextInput& in, const std::string& root, ParamList* scratch,
               const char* stop_tag) {
  TemplateArgs args;
  args.base_path = root.c_str();
  args.input = &in;
  args.variables = scratch;
  args.fill_fields = 1;
  args.check = &notes;
  return template_process(args, stop_tag);
}

// A template read whole, as the server shows it.
PageSource read_template(const std::string& name, const std::string& path,
                         const std::string& root) {
  PageSource source;
  source.name = name;
  source.path = path;
  std::string text = file_text_of(path);
  TextInput in = input_from_memory(text);
  ParamListPtr scratch = plist_copy(nullptr, kScratchSlots);
  source.notes.files.push_back(path);
  check_pass(source.notes, in, root, scratch.get(), nullptr);
  return source;
}

// The form elements of the file a page inserts after its FORM tag: it is
// sent as it stands, but what it holds is posted with the page.
void read_insert(PageSource& page, const std::string& directory, const std::string& root) {
  const std::string path = directory + page.insert;
  if (!file_readable(path)) return;
  PageSource insert = read_template(page.insert, path, root);
  for (SourceElement& element : insert.notes.elements) page.notes.elements.push_back(element);
}

// A page file as the page display reads it: the preamble (unless the
// page's entry has an ACTION), the page up to its own FORM tag, the rest.
PageSource read_page(const FormConfig& form, const std::string& name, const std::string& directory,
                     const std::string& root) {
  PageSource page;
  page.name = name;
  page.path = directory + name;
  std::string text = file_text_of(page.path);
  TextInput in = input_from_memory(text);
  ParamListPtr entry = page_entry_attrs(root, form.name.c_str(), name);
  if (entry == nullptr || plist_find(entry.get(), "ACTION") == nullptr)
    page.insert = page_read_preamble(in);
  ParamListPtr scratch = plist_copy(nullptr, kScratchSlots);
  page.notes.files.push_back(page.path);
  page.form_tag = check_pass(page.notes, in, root, scratch.get(), "FORM") == 0;
  if (page.form_tag) check_pass(page.notes, in, root, scratch.get(), nullptr);
  if (!page.insert.empty()) read_insert(page, directory, root);
  return page;
}

bool may_be_page(const std::string& name) {
  return name != "header" && name.find_first_of(kPageNameForbidden) == std::string::npos;
}

void read_pages(FormSources& sources, const FormConfig& form, const std::string& root) {
  path_join(root.c_str(), sources.page_directory, form.name.c_str(), "/");
  std::vector<std::string> names = dir_search(sources.page_directory, "*");
  for (const std::string& name : names) {
    if (may_be_page(name))
      sources.pages.push_back(read_page(form, name, sources.page_directory, root));
  }
  // A file a page inserts is part of that page, not a page of its own.
  std::vector<std::string> inserts;
  for (const PageSource& page : sources.pages) inserts.push_back(page.insert);
  std::erase_if(sources.pages, [&](const PageSource& candidate) {
    return std::find(inserts.begin(), inserts.end(), candidate.name) != inserts.end();
  });
}

// The <PAGE NAME="..."> entries of the page-script file.
void read_entries(FormSources& sources, const std::string& text) {
  static const std::string kMarker = "<PAGE NAME=\"";
  TextInput in = input_from_memory(text);
  while (input_read_until(in, nullptr, 0, kMarker.c_str())) {
    PageEntry entry;
    entry.offset = input_tell(in) - static_cast<long>(kMarker.size());
    input_read_token(in, &entry.page, kPageNameArea, "\"", 0);
    sources.page_entries.push_back(std::move(entry));
  }
}

const std::string& entry_before(const FormSources& sources, long offset) {
  static const std::string kNone;
  const std::string* page = &kNone;
  for (const PageEntry& entry : sources.page_entries) {
    if (entry.offset < offset) page = &entry.page;
  }
  return *page;
}

// Every script of the page-script file, run as a checking pass with the
// function table its kind of script gets.
void read_scripts(FormSources& sources, const FormConfig& form, const std::string& text,
                  const std::string& root) {
  TextInput in = input_from_memory(text);
  std::string tag_rest;
  while (input_read_until(in, nullptr, 0, "<SCRIPT")) {
    const long at = input_tell(in) - 7;
    if (!input_read_until(in, &tag_rest, kPageNameArea, ">")) break;
    ScriptSource script;
    script.page = entry_before(sources, at);
    script.offset = at;
    script.back = text_compare_nocase(tag_rest.c_str(), " TYPE=BACK") == 0;
    script.notes.files.push_back(sources.script_path);
    ParamListPtr scratch = plist_copy(nullptr, kScratchSlots);
    ScriptContext context;
    context.config = form.database.get();
    context.base_path = root.c_str();
    context.functions = script.back ? kPageBackFunctions : kPageForwardFunctions;
    context.check = &script.notes;
    const ScriptResult result = script_run(context, in, scratch.get());
    if (result != ScriptResult::ok) {
      source_problem(&script.notes, context.statement_start, SourceSeverity::error,
                     "script error " + std::to_string(result_number(result)) + ": " +
                         script_error_message(result));
    }
    sources.scripts.push_back(std::move(script));
  }
}

void read_script_file(FormSources& sources, const FormConfig& form, const std::string& root) {
  path_join(root.c_str(), sources.script_path, form.name.c_str(), ".val");
  sources.script_file = file_readable(sources.script_path);
  if (!sources.script_file) return;
  const std::string text = file_text_of(sources.script_path);
  read_entries(sources, text);
  read_scripts(sources, form, text, root);
}

void read_named_templates(FormSources& sources, const FormConfig& form, const std::string& root) {
  const std::pair<const char*, const std::string*> named[] = {{"REPORT2", &form.report_action},
                                                              {"REPORT", &form.report},
                                                              {"EMAILREPORT", &form.email_report}};
  for (const auto& [key, name] : named) {
    std::string path;
    if (name->empty() || !path_join(root.c_str(), path, name->c_str()) || !file_readable(path))
      continue;
    sources.templates.push_back(read_template(key, path, root));
  }
}

}  // namespace

FormSources form_sources_read(const FormConfig& form, const std::string& root) {
  FormSources sources;
  if (form.multipage) {
    read_pages(sources, form, root);
  } else {
    std::string path = form_template_path(root, form.form_template.c_str());
    if (!path.empty()) sources.pages.push_back(read_template("FORM", path, root));
  }
  read_script_file(sources, form, root);
  read_named_templates(sources, form, root);
  return sources;
}

const PageSource* form_page_named(const FormSources& sources, const std::string& name) {
  std::string wanted = name;
  if (!wanted.empty() && wanted[0] == 'P') wanted[0] = 'p';
  for (const PageSource& page : sources.pages) {
    if (page.name == wanted) return &page;
  }
  return nullptr;
}

}  // namespace fwk

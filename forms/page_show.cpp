#include "forms/page_show.hpp"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/out.hpp"
#include "core/paths.hpp"
#include "forms/form_log.hpp"
#include "template/tag_attrs.hpp"
#include "template/template.hpp"
#include "script/template_input.hpp"
#include "template/template_scan.hpp"

namespace fwk {

namespace {

// Characters a page name may not hold: it names a file in the page
// directory and nothing else.
constexpr const char* kForbiddenPageChars = "/.\\*?$|'\"";

// The page file's preamble lines and the insert-file name keep at most
// this many bytes (less one).
constexpr size_t kPreambleArea = 1024;

// Room of the page entry's attribute list.
constexpr int kPageEntryAttrs = 32;

// Engine parameters that are never carried as hidden fields: the request
// header entries, and the navigation state (written by the engine itself or
// carried by the page's own fields).
constexpr const char* kRequestHeaderNames = "HOST,DATE,TIME";
constexpr const char* kNavigationPrefix = "_PAGE";

void write_missing_page(const SiteContext& site, OutputSink* sink, const char* form_name,
                        const std::string& page_name, const std::string& path) {
  out_text(sink, "<P>Error: validation entry missing for page ");
  out_html(sink, path.c_str());
  log_page_missing(site, form_name, page_name, path);
  out_printf(sink, "Error %i in %s@%d: ", kPageMissing, "Z:\\cgi\\fwk", 835);
  out_text(sink, "Cannot open file (");
  out_html(sink, path.c_str());
  out_text(sink, ")");
}

void write_engine_form(OutputSink* sink, const char* form_name, const char* back_list) {
  out_text(sink, "<FORM NAME=F onSubmit=\"return fwkOnSubmit(this);\" ACCEPT-CHARSET=\"UTF-8\"");
  out_text(sink, " ACTION=/fwk METHOD=POST");
  out_text(sink, ">\n");
  out_text(sink, "<INPUT TYPE=HIDDEN NAME=DATABASE VALUE=\"");
  out_html(sink, form_name);
  out_text(sink, "\">\n");
  out_text(sink, "<INPUT TYPE=HIDDEN NAME=_PAGEBACK VALUE=\"");
  out_html(sink, back_list);
  out_text(sink, "\">\n");
}

// The answers that the page's form does not place travel as hidden fields.
void write_unplaced_fields(OutputSink* sink, const ParamList* unplaced) {
  // The whole list: every answer left unplaced is carried on.
  plist_each(unplaced, [&](const Pair& entry) {
    const char* name = entry.name->c_str();
    if (*name == '\0' || list_contains_nocase(kRequestHeaderNames, name) ||
        std::strncmp(name, kNavigationPrefix, std::strlen(kNavigationPrefix)) == 0)
      return;
    out_text(sink, "<INPUT TYPE=HIDDEN NAME=\"");
    out_html(sink, name);
    out_text(sink, "\" VALUE=\"");
    out_html(sink, entry.value ? entry.value->c_str() : "");
    out_text(sink, "\">\n");
  });
}

int process_template_file(const SiteContext& site, OutputSink* sink, std::FILE* file,
                          ParamList* values) {
  template_process_file(site, site.root.c_str(), sink, file, values, nullptr, nullptr, 1, nullptr);
  return kPageShown;
}

// The form template for `template_name`: as named when its extension is
// "html" or "htm", else (or when that does not open) with ".html" added.
// `path` (may be null) receives the path opened.
FilePtr open_form_template(const std::string& root, const char* template_name,
                           std::string* path) {
  if (template_name == nullptr || *template_name == '\0') return nullptr;
  const char* dot = std::strrchr(template_name, '.');
  const char* extensions[] = {nullptr, ".html"};
  const bool as_named = dot != nullptr && list_contains_exact("html,htm", dot + 1);
  for (const char* ext : extensions) {
    if (ext == nullptr && !as_named) continue;
    FilePtr file(path_open_binary(root.c_str(), template_name, ext));
    if (!file) continue;
    if (path) path_join(root.c_str(), *path, template_name, ext);
    return file;
  }
  return nullptr;
}

}  // namespace

int page_show(const SiteContext& site, OutputSink* sink, const char* form_name, ParamList* request,
              const char* back_list, std::string& page_name) {
  ParamListPtr unplaced = plist_copy(request, 0);
  if (!page_name.empty() && page_name[0] == 'P') page_name[0] = 'p';
  if (page_name.find_first_of(kForbiddenPageChars) != std::string::npos) return kPageBadName;
  plist_rename(request, "_PAGE", nullptr);
  plist_rename(request, "_PAGESKIP", nullptr);

  std::string dir_path, page_path;
  path_join(site.root.c_str(), dir_path, form_name, "/");
  if (!dir_path.empty()) page_path = dir_path + page_name;
  FilePtr page(page_path.size() < kPathArea ? file_open(page_path.c_str(), "rb") : nullptr);
  if (!page) {
    write_missing_page(site, sink, form_name, page_name, page_path);
    return kPageMissing;
  }
  TemplateInput in = input_from_file(page.get());

  ParamListPtr entry = page_entry_attrs(site.root, form_name, page_name);
  std::string insert_name;
  if (entry == nullptr || plist_find(entry.get(), "ACTION") == nullptr) {
    out_copy_file(sink, (dir_path + "header").c_str());
    insert_name = page_read_preamble(in);
  }

  TemplateArgs args;
  args.base_path = site.root.c_str();
  args.input = &in;
  args.variables = request;
  args.unplaced = unplaced.get();
  args.fill_fields = 1;

  // Up to the page's own FORM tag, which the engine's replaces.
  args.sink = sink;
  template_process(args, "FORM");
  write_engine_form(sink, form_name, back_list);
  plist_rename(request, "_PAGEBACK", nullptr);
  if (!insert_name.empty()) out_copy_file(sink, (dir_path + insert_name).c_str());

  // A silent pass over the form strikes the names the page places.
  const long form_body = input_tell(in);
  args.sink = nullptr;
  template_process(args, "/FORM");
  write_unplaced_fields(sink, unplaced.get());

  // The real pass: the form's fields filled in, then the rest of the page.
  input_seek(in, form_body);
  args.sink = sink;
  template_process(args, nullptr);
  return kPageShown;
}

ParamListPtr page_entry_attrs(const std::string& root, const char* form_name,
                              const std::string& page_name) {
  FilePtr file(path_open_binary(root.c_str(), form_name, ".val"));
  if (!file) return nullptr;
  TemplateInput in = input_from_file(file.get());
  std::string marker = "<PAGE NAME=\"" + page_name + "\"";
  if (!input_read_until(in, nullptr, 0, marker.c_str())) return nullptr;
  return tag_read_attrs(in, kPageEntryAttrs);
}

std::string page_read_preamble(TemplateInput& in) {
  std::string line;
  input_read_token(in, &line, kPreambleArea, "\n", '\r');
  input_read_token(in, &line, kPreambleArea, "\n", '\r');
  input_read_token(in, &line, kPreambleArea, "\n", '\r');
  return line;
}

int form_template_show(const SiteContext& site, OutputSink* sink, const char* template_name,
                       ParamList* values) {
  FilePtr file = open_form_template(site.root, template_name, nullptr);
  if (!file) return kPageMissing;
  return process_template_file(site, sink, file.get(), values);
}

std::string form_template_path(const std::string& root, const char* template_name) {
  std::string path;
  open_form_template(root, template_name, &path);
  return path;
}

}  // namespace fwk

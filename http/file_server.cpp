#include "http/file_server.hpp"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "core/ascii.hpp"
#include "core/headers.hpp"
#include "core/limits.hpp"
#include "core/out.hpp"
#include "core/paths.hpp"
#include "core/text_convert.hpp"
#include "core/text_util.hpp"
#include "template/template.hpp"
#include "http/help_page.hpp"
#include "http/private_files.hpp"
#include "http/survey_table.hpp"
#include "http/request.hpp"

namespace fwk {

namespace {

struct ContentType {
  const char* marker;
  const char* header;
};

// Found anywhere in the path, in this order.
constexpr ContentType kContainedTypes[] = {
    {".gif", "Content-type: image/gif\n\n"},
    {".jpg", "Content-type: image/jpeg\n\n"},
    {".pdf", "Content-type: application/pdf\n\n"},
};

// Found at the end of the path.
constexpr ContentType kExtensionTypes[] = {
    {".htm", "Content-type: text/html; charset=utf-8\n\n"},
    {".css", "Content-type: text/css\n\n"},
    {".js", "Content-type: text/javascript\n\n"},
    {".json", "Content-type: application/json\n\n"},
    {".png", "Content-type: image/png\n\n"},
    {".jpeg", "Content-type: image/jpeg\n\n"},
    {".svg", "Content-type: image/svg+xml\n\n"},
    {".ico", "Content-type: image/x-icon\n\n"},
    {".xml", "Content-type: application/xml\n\n"},
};

constexpr const char* kPlainTextHeader = "Content-type: text/plain\n\n";

constexpr int kListedSurveys = 15;

// The file goes to the client as it reads (see sink_copy_file). Files sent
// as they are do not count against the page budget: it limits what
// templates make, not the size of the files in the root.
void send_as_is(FilePtr& file, const char* path, OutputSink* sink) {
  OutputSink plain = *sink;
  plain.budget = nullptr;
  write_headers(&plain, file_content_header(path));
  sink_copy_file(&plain, file);
}

// A request without parameters has no list, but the page's scripts and
// conditions still need one to keep their variables in: they get the free
// slots of a request's list (without HOST, DATE and TIME). A list whose
// first block had no used entry would make every condition false.
void send_template(const SiteContext& site, std::FILE* file, ParamList* request, OutputSink* sink) {
  write_headers(sink, nullptr);
  ParamListPtr page_variables;
  if (request == nullptr) {
    page_variables = plist_copy(nullptr, kRequestFreeSlots);
    request = page_variables.get();
  }
  template_process_file(site, site.root.c_str(), sink, file, request, nullptr, nullptr, 0, nullptr);
}

// The configured ERROR page, sent unexpanded; false when there is none.
bool send_error_page(const SiteContext& site, OutputSink* sink) {
  const char* error_page = plist_get(site.settings.get(), "ERROR", nullptr);
  if (error_page == nullptr) return false;
  FilePtr file(path_open_binary(site.root.c_str(), error_page));
  if (!file) return false;
  sink_copy_file(sink, file);
  return true;
}

// Private by the site's record of its forms, or, for a site that keeps
// none, by reading the forms now.
bool path_is_private(const SiteContext& site, const char* path) {
  if (site.private_files && site.private_files->root == site.root)
    return file_is_private(*site.private_files, path);
  PrivateFiles forms;
  forms.root = site.root;
  return file_is_private(forms, path);
}

// The surveys as they are now: a form added or removed while the server
// runs is listed (or not) within a second.
const SurveyTable& current_surveys(const SiteContext& site) {
  SurveyList* list = site.survey_list;
  if (list == nullptr || list->root != site.root) return site.surveys;
  survey_list_refresh(*list);
  return list->table;
}

void write_ansi(OutputSink* sink, const std::u16string& text) {
  std::string ansi = wide_to_ansi(text, kListingArea);
  sink_write(sink, ansi.data(), ansi.size());
}

}  // namespace

const char* file_content_header(const char* path) {
  std::string_view name = path;
  for (const ContentType& type : kContainedTypes) {
    if (text_contains_nocase(name, type.marker)) return type.header;
  }
  for (const ContentType& type : kExtensionTypes) {
    if (text_ends_nocase(name, type.marker)) return type.header;
  }
  return kPlainTextHeader;
}

bool path_inside_root(const char* path) {
  if (*path == '/' || *path == '\\') return false;
  std::string_view rest = path;
  for (;;) {
    size_t cut = rest.find_first_of("/\\");
    if (rest.substr(0, cut) == "..") return false;
    if (cut == std::string_view::npos) return true;
    rest.remove_prefix(cut + 1);
  }
}

void write_index_listing(const SurveyTable& surveys, OutputSink* sink) {
  for (int i = 1; i <= kListedSurveys && surveys[i].in_use; ++i) {
    const SurveyEntry& entry = surveys[i];
    out_text(sink, "&nbsp;<a href=\"");
    write_ansi(sink, entry.link);
    out_text(sink, "\">");
    write_ansi(sink, entry.title);
    out_text(sink, "</a> ");
    write_ansi(sink, entry.description);
    out_text(sink, "<br>");
  }
}

int file_serve(const SiteContext& site, const char* path, ParamList* request, OutputSink* sink) {
  FilePtr file(path_inside_root(path) && !path_is_private(site, path)
                   ? path_open_binary(site.root.c_str(), path)
                   : nullptr);
  if (file) {
    if (text_contains_nocase(path, ".html")) {
      send_template(site, file.get(), request, sink);
    } else {
      send_as_is(file, path, sink);
    }
    return 0;
  }
  // The page the error notes link to, when the root has none of its own.
  if (help_page_path(site.settings.get(), path)) {
    write_help_page(sink);
    return 0;
  }
  write_headers(sink, nullptr);
  if (!send_error_page(site, sink)) write_index_listing(current_surveys(site), sink);
  return 0;
}

}  // namespace fwk

#include "check/form_check.hpp"

#include <algorithm>

#include "check/check_files.hpp"
#include "check/form_fields.hpp"
#include "core/paths.hpp"
#include "platform/dirsearch.hpp"
#include "store/datafile.hpp"

namespace fwk {

namespace {

constexpr SourceSeverity kError = SourceSeverity::error;
constexpr SourceSeverity kWarning = SourceSeverity::warning;

// Shortest page name the engine accepts in _PAGE.
constexpr std::size_t kPageNameMin = 5;
// What a page names to finish instead of a page.
constexpr const char* kSaveRoute = "(save)";

// A place in the configuration file.
SourcePlace config_place(const ConfigLines& config) {
  return {config.path, -1};
}

// Every page named in a route must exist (and be a name the engine takes).
void check_route_targets(Diagnostics& diags, const FormSources& sources,
                         const std::vector<Route>& routes) {
  for (const Route& route : routes) {
    if (!route.literal) continue;
    for (const std::string& item : list_items(route.text)) {
      if (item == kSaveRoute) continue;
      const int line = diag_line_of(diags, route.place.file, route.place.offset);
      if (item.size() < kPageNameMin) {
        diag_add(diags, route.place.file, line, kError,
                 route.how + " names the page " + item +
                     ", but page names need at least 5 characters (the server refuses shorter "
                     "ones with error 103)");
      } else if (!form_page_named(sources, item)) {
        diag_add(
            diags, route.place.file, line, kError,
            route.how + " names the page " + item + ", which is not in " + sources.page_directory);
      }
    }
  }
}

// A page of a multi-page form: its own form tag, and a _PAGE field naming
// it (the engine knows the page being left only from that field).
void check_page(Diagnostics& diags, const PageSource& page) {
  if (page.name.size() < kPageNameMin) {
    diag_add(diags, page.path, 1, kError,
             "the page name " + page.name +
                 " is shorter than 5 characters: the server refuses it (error 103)");
  }
  if (!page.form_tag) {
    diag_add(diags, page.path, 1, kError,
             "the page has no <form> tag: the server puts its own form, with the answers given "
             "so far, in place of the page's, so the page's fields are never posted");
    return;
  }
  const SourceElement* own = nullptr;
  for (const SourceElement& element : page.notes.elements) {
    if (element.element == "INPUT" && same_name(element.name, "_PAGE")) {
      own = &element;
      break;
    }
  }
  if (!own) {
    diag_add(diags, page.path, 1, kError,
             "the page has no field _PAGE with its name: its page script never runs and Back "
             "cannot return to it (add <input type=hidden name=_PAGE value=" +
                 page.name + ">)");
  } else if (own->value != page.name) {
    diag_add(diags, page.path, diag_line_of(diags, own->place.file, own->place.offset), kError,
             "the field _PAGE says " + own->value + ", but this page is " + page.name +
                 ": the server would run that page's script and go back to it");
  }
}

void check_pages(Diagnostics& diags, const FormConfig& form, const FormSources& sources,
                 const ConfigLines& config, const std::vector<Route>& routes) {
  if (!form.multipage || !directory_exists(sources.page_directory)) return;
  if (!form_page_named(sources, form.start_page)) {
    diag_add(
        diags, config.path, config_line_of(config.database, "STARTPAGE", config.database_line),
        kError,
        "STARTPAGE=" + form.start_page + " names a page that is not in " + sources.page_directory);
  }
  for (const PageSource& page : sources.pages) check_page(diags, page);
  check_route_targets(diags, sources, routes);
  std::size_t reached = 0;
  std::vector<const PageSource*> order = form_pages_in_order(form, sources, routes, &reached);
  if (reached == 0) return;  // no start page: every page would be listed
  for (std::size_t i = reached; i < order.size(); ++i) {
    diag_add(diags, order[i]->path, 1, kWarning,
             "no route reaches the page " + order[i]->name + " from " + form.start_page +
                 " (no _PAGENEXT or _PAGESKIP field, page script or showpage names it)");
  }
  for (const PageEntry& entry : sources.page_entries) {
    if (entry.page == kSubmitEntry || form_page_named(sources, entry.page)) continue;
    diag_add(diags, sources.script_path, diag_line_of(diags, sources.script_path, entry.offset),
             kWarning,
             "the entry for page " + entry.page + " names no page of " + sources.page_directory +
                 ": its scripts never run");
  }
}

// A one-page form's template posts to the engine itself: its DATABASE
// field must name this form.
void check_form_template(Diagnostics& diags, const FormConfig& form, const FormSources& sources) {
  if (form.multipage || sources.pages.empty()) return;
  const PageSource& page = sources.pages.front();
  for (const SourceElement& element : page.notes.elements) {
    if (element.element != "INPUT" || !same_name(element.name, "DATABASE")) continue;
    if (element.value != form.name) {
      diag_add(diags, page.path, diag_line_of(diags, element.place.file, element.place.offset),
               kError,
               "the field DATABASE says " + element.value + ", but this is the template of " +
                   form.name + ": its answers would go to that form");
    }
    return;
  }
  diag_add(diags, page.path, 1, kError,
           "the template has no field DATABASE naming " + form.name +
               ": the server cannot tell which form its answers belong to (add <input "
               "type=hidden name=DATABASE value=" +
               form.name + ">)");
}

std::vector<std::string> header_columns(const std::string& path) {
  std::vector<std::string> columns;
  ParamListPtr header;
  if (!datafile_open(path.c_str(), nullptr, &header, 0)) return columns;
  plist_each_in_first_block(header.get(),
                            [&](const Pair& column) { columns.push_back(*column.name); });
  return columns;
}

bool has_column(const std::vector<std::string>& columns, const std::string& name) {
  return std::any_of(columns.begin(), columns.end(),
                     [&](const std::string& c) { return same_name(c, name); });
}

std::string create_hint(const FormConfig& form) {
  return "fwkhttpd check --create-data " + form.name;
}

// The data file: it must exist with a header row, and hold a column for
// every answer.
void check_data_file(Diagnostics& diags, const FormConfig& form, const FormSources& sources,
                     const ConfigLines& config) {
  if (!form.save_data) return;
  const int line = config_line_of(config.database, "SAVEDATA", config.database_line);
  const std::string& path = form.data_path;
  if (!file_readable(path)) {
    std::string message = "SAVEDATA is on but the data file " + path + " does not exist";
    if (file_readable(path + ".asc")) {
      message += " (the header is read from " + path + ".asc, but saves append to " + path +
                 "): name the file with its extension in SAVEDATANAME";
    } else {
      message += ": every save fails (error 2). Create it with " + create_hint(form);
    }
    diag_add(diags, config.path, line, kError, std::move(message));
    return;
  }
  const std::vector<std::string> columns = header_columns(path);
  if (columns.empty()) {
    diag_add(diags, path, 1, kError,
             "the data file has no header row (a first line of column names ending in a line "
             "break): every save fails (error 2)");
    return;
  }
  const std::string shown = diag_shown_path(diags, path);
  auto missing = [&](const Field& field, const std::string& what, const char* lost) {
    if (has_column(columns, field.name)) return;
    const bool in_config = field.place.offset < 0;
    const int at = in_config ? config_line_of(config.database, "IDFIELDS", config.database_line)
                             : diag_line_of(diags, field.place.file, field.place.offset);
    diag_add(diags, field.place.file, at, kError,
             what + " has no column in " + shown + ": " + lost);
  };
  for (const std::string& name : form_id_fields(form)) {
    missing({name, config_place(config)}, "the ID field " + name,
            "it is not saved, so a respondent cannot log in again to resume");
  }
  for (const Field& field : form_placed_fields(form, sources))
    missing(field, "the field " + field.name, "its answers are not saved");
  for (const Field& field : form_computed_fields(sources)) {
    missing(field, "the page script sets " + field.name + ", which nothing reads and which",
            "its value is not saved");
  }
  std::vector<Field> filled = form_placed_fields(form, sources);
  for (const std::string& column : columns) {
    if (form_fills_otherwise(column, sources) || has_column(form_id_fields(form), column)) continue;
    if (std::any_of(filled.begin(), filled.end(),
                    [&](const Field& f) { return same_name(f.name, column); }))
      continue;
    diag_add(diags, path, 1, kWarning, "the column " + column + " is filled by no page or script");
  }
  if ((form.save_page || form.has_uid) && !has_column(columns, "_SESSION")) {
    diag_add(diags, path, 1, kWarning,
             "the data file has no column _SESSION: each save of a response adds a record "
             "instead of replacing the one before");
  }
  if (form.multipage && form.has_uid) {
    for (const char* column : {"_PAGE", "_PAGEBACK"}) {
      if (has_column(columns, column)) continue;
      diag_add(diags, path, 1, kWarning,
               std::string("the data file has no column ") + column +
                   ": a respondent who logs in again starts over instead of resuming");
    }
  }
}

void check_index_file(Diagnostics& diags, const FormConfig& form, const ConfigLines& config) {
  if (!form.save_data || form.index_name.empty() || file_readable(form.index_path)) return;
  diag_add(diags, config.path,
           config_line_of(config.database, "SAVEINDEXNAME", config.database_line), kWarning,
           "SAVEINDEXNAME names " + form.index_path +
               ", which does not exist: no index is written and logins search the whole data "
               "file. Create it with " +
               create_hint(form));
}

ConfigLines read_config_lines(const std::string& path) {
  ConfigLines config;
  config.path = path;
  for (const IniLine& header : ini_section_names(path.c_str())) {
    if (same_name(header.name, "DATABASE")) {
      config.database_line = header.line;
      break;
    }
  }
  if (auto lines = ini_read_section_lines(path.c_str(), "DATABASE")) config.database = *lines;
  if (auto lines = ini_read_section_lines(path.c_str(), "access")) {
    config.access = *lines;
    config.has_access = true;
  }
  return config;
}

// The configuration file is missing, or has no usable section "DATABASE".
bool check_config_present(Diagnostics& diags, const FormConfig& form, const ConfigLines& config) {
  if (!file_readable(config.path)) {
    diag_add(diags, config.path, 1, kError,
             "there is no form " + form.name + ": its configuration file does not exist");
    return false;
  }
  if (form.database != nullptr) return true;
  if (ini_read_section_lines(config.path.c_str(), "COUNT") ||
      ini_read_section_lines(config.path.c_str(), "SUM")) {
    diag_add(diags, config.path, 1, kWarning,
             "a statistics file (no [DATABASE], but [COUNT] or [SUM]): the survey list shows it "
             "as a form that cannot be opened; keep it in a folder of its own");
    return false;
  }
  std::string message = "the file has no [DATABASE] section (or only an empty one): the form " +
                        form.name + " cannot be used (error 21)";
  std::vector<const char*> wanted = {"DATABASE"};
  for (const IniLine& header : ini_section_names(config.path.c_str())) {
    if (!nearest_name(header.name, wanted).empty() && !same_name(header.name, "DATABASE")) {
      diag_add(diags, config.path, header.line, kError,
               message + ": is [" + header.name + "] meant to be [DATABASE]?");
      return false;
    }
  }
  diag_add(diags, config.path, 1, kError, std::move(message));
  return false;
}

void add_problems(Diagnostics& diags, const FormSources& sources) {
  for (const PageSource& page : sources.pages) diag_add_problems(diags, page.notes);
  for (const PageSource& page : sources.templates) diag_add_problems(diags, page.notes);
  for (const ScriptSource& script : sources.scripts) diag_add_problems(diags, script.notes);
  for (const ScriptSource& script : sources.scripts) {
    if (!script.page.empty()) continue;
    diag_add(diags, sources.script_path, diag_line_of(diags, sources.script_path, script.offset),
             kWarning, "this script comes before any <PAGE NAME=\"...\"> entry: it never runs");
  }
}

}  // namespace

void check_form(Diagnostics& diags, const CheckSettings& settings, const std::string& form_name) {
  std::string path;
  path_join(settings.root.c_str(), path, form_name.c_str(), ".ini");
  const FormConfig form = form_config_read(settings.root, form_name);
  const ConfigLines config = read_config_lines(path);
  if (!check_config_present(diags, form, config)) return;
  check_config(diags, settings, form, config);
  const FormSources sources = form_sources_read(form, settings.root);
  add_problems(diags, sources);
  const std::vector<Route> routes = form_routes(sources);
  check_pages(diags, form, sources, config, routes);
  check_form_template(diags, form, sources);
  check_data_file(diags, form, sources, config);
  check_index_file(diags, form, config);
}

std::vector<std::string> form_data_columns(const FormConfig& form, const FormSources& sources) {
  std::vector<Field> fields;
  for (const std::string& name : form_id_fields(form)) add_field(fields, name, {});
  for (const Field& field : form_placed_fields(form, sources)) add_field(fields, field.name, {});
  for (const Field& field : form_computed_fields(sources)) add_field(fields, field.name, {});
  std::vector<std::string> engine = {"_SESSION"};
  if (form.multipage) engine.insert(engine.end(), {"_PAGE", "_PAGEBACK", "_PAGENEXT"});
  engine.push_back("_FORMDONE");
  if (form.log_date_time) engine.insert(engine.end(), {"HOST", "DATE", "TIME"});
  for (const std::string& name : engine) add_field(fields, name, {});
  std::vector<std::string> columns;
  for (const Field& field : fields) columns.push_back(field.name);
  return columns;
}

std::vector<std::string> form_index_columns(const FormConfig& form) {
  std::vector<std::string> columns = form_id_fields(form);
  if (columns.empty()) columns = list_items(form.id_fields);
  columns.push_back("_POS");
  return columns;
}

}  // namespace fwk

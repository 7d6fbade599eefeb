#include "check/check_run.hpp"

#include <algorithm>

#include "check/check_files.hpp"
#include "check/config_check.hpp"
#include "check/diagnostics.hpp"
#include "check/form_check.hpp"
#include "check/form_sources.hpp"
#include "core/ini.hpp"
#include "core/paths.hpp"
#include "forms/form_config.hpp"
#include "platform/dirsearch.hpp"
#include "platform/durable_file.hpp"

namespace fwk {

namespace {

constexpr const char* kServerSettings = "cgi.ini";
constexpr const char* kServerKeys[] = {"HOME", "ERROR", "DEVICEID", "HELPURL"};
constexpr const char* kConfigExtension = ".ini";

// The forms of the root as the survey list has them: every ".ini" file but
// the server's own.
std::vector<std::string> root_config_files(const std::string& root) {
  std::vector<std::string> files = dir_search(root, "*.ini");
  std::erase(files, kServerSettings);
  return files;
}

// A configuration file the server lists but cannot open as a form.
bool check_config_name(Diagnostics& diags, const std::string& root, const std::string& file) {
  const std::string name = file.substr(0, file.size() - 4);
  if (file.compare(file.size() - 4, 4, kConfigExtension) != 0) {
    diag_add(diags, root + file, 1, SourceSeverity::error,
             "the server lists this file as a form but opens " + name +
                 ".ini: write its "
                 "extension in lower case");
    return false;
  }
  if (!form_name_safe(name) || name.find_first_of("'\"") != std::string::npos) {
    diag_add(diags, root + file, 1, SourceSeverity::error,
             "the form name " + name +
                 " holds a character a form name may not hold "
                 "(/ . \\ * ? $ | ' \"): the server refuses it (error 104)");
    return false;
  }
  return true;
}

// The server's settings: known keys, and the pages HOME and ERROR name.
void check_server_settings(Diagnostics& diags, const std::string& root) {
  const std::string path = root + kServerSettings;
  auto lines = ini_read_section_lines(path.c_str(), "server");
  if (!lines) return;
  std::vector<const char*> known(std::begin(kServerKeys), std::end(kServerKeys));
  for (const IniLine& entry : *lines) {
    bool is_known = std::any_of(known.begin(), known.end(), [&](const char* key) {
      return text_compare_nocase(key, entry.name.c_str()) == 0;
    });
    if (!is_known) {
      std::string nearest = nearest_name(entry.name, known);
      diag_add(diags, path, entry.line, SourceSeverity::warning,
               "unknown key " + entry.name + " in [server] is ignored" +
                   (nearest.empty() ? std::string() : ": did you mean " + nearest + "?"));
      continue;
    }
    const bool names_page = text_compare_nocase(entry.name.c_str(), "HOME") == 0 ||
                            text_compare_nocase(entry.name.c_str(), "ERROR") == 0;
    const std::string page = entry.value.substr(0, entry.value.find('?'));
    std::string page_path;
    if (!names_page || page.empty() || !path_join(root.c_str(), page_path, page.c_str())) continue;
    if (!file_readable(page_path)) {
      diag_add(diags, path, entry.line, SourceSeverity::warning,
               entry.name + "=" + entry.value + " names " + page_path + ", which does not exist");
    }
  }
}

std::string joined_columns(const std::vector<std::string>& columns) {
  std::string text;
  for (const std::string& column : columns) text += (text.empty() ? "" : "\t") + column;
  return text;
}

// Writes a file with a header row when it does not exist; says what it did.
void create_file(const std::string& shown, const std::string& path,
                 const std::vector<std::string>& columns, std::string& out) {
  if (file_readable(path)) {
    out += shown + " exists: it is left as it is\n";
    return;
  }
  const std::string header = joined_columns(columns) + "\n";
  if (durable_create_new(path.c_str(), header.data(), header.size()) != DurableResult::ok) {
    out += shown + " could not be created\n";
    return;
  }
  std::string list;
  for (const std::string& column : columns) list += (list.empty() ? "" : " ") + column;
  out += "created " + shown + " with the columns " + list + "\n";
}

void create_data_files(Diagnostics& diags, const CheckOptions& options, std::string& out) {
  const FormConfig form = form_config_read(options.root, options.create_data);
  if (form.database == nullptr) return;  // the check says why
  if (!form.save_data) {
    out += form.name + " keeps no data file (SAVEDATA is off): nothing created\n";
    return;
  }
  const FormSources sources = form_sources_read(form, options.root);
  create_file(diag_shown_path(diags, form.data_path), form.data_path,
              form_data_columns(form, sources), out);
  if (!form.index_name.empty()) {
    create_file(diag_shown_path(diags, form.index_path), form.index_path, form_index_columns(form),
                out);
  }
}

std::string count_text(std::size_t n, const char* one) {
  return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
}

}  // namespace

int check_run(const CheckOptions& options, std::string& out, std::string& err) {
  if (!directory_readable(options.root)) {
    err += "fwkhttpd check: the server root " + options.root + " is not a readable directory\n";
    return kCheckRootUnusable;
  }
  Diagnostics diags;
  diags.root = options.root;
  diags.shown_root = options.shown_root;
  CheckSettings settings;
  settings.root = options.root;
  settings.beyond_loopback = options.beyond_loopback;

  std::vector<std::string> forms = options.forms;
  if (!options.create_data.empty()) {
    create_data_files(diags, options, out);
    forms = {options.create_data};
  }
  if (forms.empty()) {
    check_server_settings(diags, options.root);
    for (const std::string& file : root_config_files(options.root)) {
      if (check_config_name(diags, options.root, file))
        forms.push_back(file.substr(0, file.size() - 4));
    }
  }
  for (const std::string& form : forms) check_form(diags, settings, form);

  out += diag_text(diags);
  const std::size_t errors = diag_count(diags, SourceSeverity::error);
  const std::size_t warnings = diag_count(diags, SourceSeverity::warning);
  out += "fwkhttpd check: " + count_text(forms.size(), "form") + ", " +
         count_text(errors, "error") + ", " + count_text(warnings, "warning") + "\n";
  return errors > 0 ? kCheckErrors : kCheckClean;
}

}  // namespace fwk

#include "forms/form_log.hpp"

#include "core/ascii.hpp"
#include "core/paths.hpp"
#include "core/results.hpp"
#include "core/status_log.hpp"
#include "platform/file_info.hpp"
#include "store/datafile.hpp"

namespace fwk {

namespace {

void log_line(const SiteContext& site, const std::string& text) {
  status_log(site_log(&site), ("\nfwk: " + text).c_str());
}

std::string check_hint(const std::string& form_name) {
  return " (fwkhttpd check " + form_name + " lists what is wrong with the form)";
}

// A file the form shows that cannot be opened, and why.
void log_cannot_show(const SiteContext& site, const std::string& form_name,
                     const std::string& what, const std::string& path) {
  std::string problem = file_problem(path.c_str(), false);
  if (problem.empty()) problem = "cannot be opened";
  log_line(site, "form " + form_name + ": cannot show " + what + ": " + path + " " + problem +
                     check_hint(form_name));
}

std::string upper(const std::string& name) {
  std::string out;
  for (char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    out.push_back(u >= 'a' && u <= 'z' ? static_cast<char>(u - 'a' + 'A') : c);
  }
  return out;
}

bool header_has(const ParamList* header, const std::string& name) {
  bool found = false;
  plist_each_in_first_block(header, [&](const Pair& column) {
    if (!found && text_compare_nocase(column.name->c_str(), name.c_str()) == 0) found = true;
  });
  return found;
}

}  // namespace

void log_data_file_failure(const SiteContext& site, const FormConfig& form, int result) {
  const std::string& path = form.data_path;
  std::string problem = file_problem(path.c_str(), true);
  std::string text = "form " + form.name + ": cannot save to " + path + ": ";
  if (problem == "does not exist") {
    text += "the file does not exist; create it with fwkhttpd check --create-data " + form.name;
  } else if (!problem.empty()) {
    text += "the file " + problem + "; let the server's user read and write it";
  } else if (result == kStoreHeaderUnreadable) {
    text +=
        "the file has no header row (a first line naming the columns, ending in a line "
        "break)" +
        check_hint(form.name);
  } else {
    text += "the file cannot be written (is the disk full?)";
  }
  log_line(site, text);
}

void log_xml_file_failure(const SiteContext& site, const FormConfig& form) {
  if (form.xml_path.empty()) {
    log_line(site, "form " + form.name +
                       ": cannot save the XML transaction: SAVEXMLNAME names no file; name one");
    return;
  }
  std::string problem = file_problem(form.xml_path.c_str(), true);
  if (problem.empty() || problem == "does not exist") problem = "cannot be created or written";
  log_line(site, "form " + form.name + ": cannot save to " + form.xml_path + ": the file " +
                     problem + "; let the server's user write it and its directory");
}

void log_template_missing(const SiteContext& site, const std::string& form_name,
                          const std::string& what, const std::string& tried) {
  log_cannot_show(site, form_name, "its template (" + what + ")", tried);
}

void log_page_missing(const SiteContext& site, const std::string& form_name,
                      const std::string& page, const std::string& path) {
  log_cannot_show(site, form_name, "the page " + page, path);
}

void log_config_missing(const SiteContext& site, const std::string& form_name) {
  std::string path;
  path_join(site.root.c_str(), path, form_name.c_str(), ".ini");
  std::string problem = file_problem(path.c_str(), false);
  log_line(site, "there is no form " + form_name + ": " + path + " " +
                     (problem.empty() ? "has no [DATABASE] section" : problem));
}

void note_dropped_answers(const SiteContext& site, const FormConfig& form,
                          const ParamList* request) {
  ParamListPtr header;
  if (!datafile_open(form.data_path.c_str(), nullptr, &header, 0)) return;
  plist_each(request, [&](const Pair& entry) {
    const std::string& name = *entry.name;
    if (name.empty() || name[0] == '_' || !entry.value || entry.value->empty()) return;
    if (list_contains_nocase("HOST,DATE,TIME", name.c_str()) || header_has(header.get(), name))
      return;
    if (site.answer_drops &&
        !site.answer_drops->logged.insert(form.name + "\t" + upper(name)).second)
      return;
    log_line(site, "form " + form.name + ": the answer to " + name +
                       " is not saved: " + form.data_path + " has no column " + name +
                       "; add it to the file's header row" + check_hint(form.name));
  });
}

}  // namespace fwk

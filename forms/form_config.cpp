#include "forms/form_config.hpp"

#include <cstdlib>
#include <algorithm>
#include <utility>

#include "core/ini.hpp"
#include "core/limits.hpp"
#include "core/paths.hpp"

namespace fwk {

namespace {

// Characters that would let a form name reach outside the server root or
// name several files.
constexpr std::string_view kUnsafeNameChars = "/.\\*?$|";

constexpr std::string_view kConfigExtension = ".ini";

// A text key with its default: the value, or the default when the key is
// missing or empty.
std::string text_of(const ParamList* section, const char* key, const char* dflt = "") {
  return plist_get(section, key, dflt);
}

int number_of(const ParamList* section, const char* key, const char* dflt) {
  return std::atoi(plist_get(section, key, dflt));
}

bool flag_of(const ParamList* section, const char* key, const char* dflt) {
  return number_of(section, key, dflt) != 0;
}

// A configured file name, cut to its limit.
std::string file_name_of(const ParamList* section, const char* key) {
  return text_dup_n(plist_get(section, key, ""), kConfiguredNameLimit);
}

// The path of a configured name in the root; "" for no name or a path that
// does not fit.
std::string root_path(const std::string& root, const std::string& name) {
  std::string path;
  if (!name.empty()) path_join(root.c_str(), path, name.c_str());
  return path;
}

std::string first_id_field(const std::string& id_fields) {
  std::string name = id_fields.substr(0, kIdFieldLimit);
  size_t comma = name.find(',');
  if (comma != std::string::npos) name.resize(comma);
  return name;
}

void read_texts(FormConfig& form, const ParamList* db) {
  form.title = text_of(db, "Title", "Title");
  form.description = text_of(db, "Description", "Description");
  form.form_template = text_of(db, "FORM");
  form.start_page = text_of(db, "STARTPAGE", "page0");
  form.report = text_of(db, "REPORT");
  form.report_action = text_of(db, "REPORT2");
  form.id_fields = text_of(db, "IDFIELDS", kDefaultIdFields);
  form.id_field = first_id_field(form.id_fields);
  form.login_sequence = text_of(db, "LOGINSEQUENCE", "ASC");
  form.max_message = text_of(db, "MAXMESSAGE", form.max_message.c_str());
  form.password_message = text_of(db, "PWDMESSAGE", form.password_message.c_str());
  form.save_email_name = text_of(db, "SAVEEMAILNAME");
  form.email_report = text_of(db, "EMAILREPORT");
  form.email_server = text_of(db, "EMAILSERVER");
  form.email_name = text_of(db, "EMAILNAME");
  form.email_password = text_of(db, "EMAILPWD");
  form.admin_email = text_of(db, "ADMINEMAIL");
  form.message = text_of(db, "MESSAGE");
  form.hotlink = text_of(db, "HOTLINK", "/index.html");
  form.redirect = text_of(db, "REDIRECT");
}

void read_numbers(FormConfig& form, const ParamList* db) {
  form.active = flag_of(db, "ACTIVE", "1");
  form.multipage = flag_of(db, "MULTIPAGE", "0");
  form.save_page = flag_of(db, "SAVEPAGE", "0");
  form.has_uid = flag_of(db, "HASUID", "0");
  form.max_responses = number_of(db, "MAXRESPONSES", "0");
  form.save_data = flag_of(db, "SAVEDATA", "0");
  form.save_xml = flag_of(db, "SAVEXML", "0");
  form.save_email = flag_of(db, "SAVEEMAIL", "0");
  form.log_date_time = flag_of(db, "LOGDATETIME", "1");
  form.display_message = flag_of(db, "DISPLAYMESSAGE", "1");
  form.display_form = flag_of(db, "DISPLAYFORM", "0");
  form.display_report = flag_of(db, "DISPLAYREPORT", "0");
  form.display_hotlink = flag_of(db, "DISPLAYHOTLINK", "0");
  form.show_redirect = flag_of(db, "SHOWREDIRECT", "0");
}

void read_files(FormConfig& form, const ParamList* db, const std::string& root) {
  form.data_name = file_name_of(db, "SAVEDATANAME");
  form.index_name = file_name_of(db, "SAVEINDEXNAME");
  form.xml_name = file_name_of(db, "SAVEXMLNAME");
  form.password_name = file_name_of(db, "PWDFILE");
  if (form.data_name.empty()) {
    path_join(root.c_str(), form.data_path, form.name.c_str(), ".asc");
  } else {
    form.data_path = root_path(root, form.data_name);
  }
  form.index_path = root_path(root, form.index_name);
  form.xml_path = root_path(root, form.xml_name);
  form.password_path = form.password_name;
  text_replace_char(form.password_path, '\\', '/');
}

FormConfig read_sections(const std::string& root, std::string_view form_name,
                         const std::string& path) {
  return form_config_from(root, form_name, ini_read_section(path.c_str(), "DATABASE", 0),
                          ini_read_section(path.c_str(), "access", 0));
}

}  // namespace

bool form_name_safe(std::string_view form_name) {
  return form_name.find_first_of(kUnsafeNameChars) == std::string_view::npos &&
         form_name.size() <= kAccessValueLimit;
}

FormConfig form_config_read(const std::string& root, std::string_view form_name) {
  std::string path;
  if (form_name.empty() || !form_name_safe(form_name) ||
      !path_join(root.c_str(), path, std::string(form_name).c_str(), kConfigExtension.data())) {
    return form_config_from(root, form_name, nullptr, nullptr);
  }
  return read_sections(root, form_name, path);
}

FormConfig form_config_read_file(const std::string& root, const std::string& file_name) {
  std::string_view form_name = file_name;
  form_name.remove_suffix(std::min(form_name.size(), kConfigExtension.size()));
  return read_sections(root, form_name, root + file_name);
}

FormConfig form_config_from(const std::string& root, std::string_view form_name,
                            ParamListPtr database, ParamListPtr access) {
  FormConfig form;
  form.name = form_name;
  form.database = std::move(database);
  form.access = std::move(access);
  const ParamList* db = form.database.get();
  read_texts(form, db);
  read_numbers(form, db);
  read_files(form, db, root);
  return form;
}

std::vector<std::string> form_private_paths(const FormConfig& form, const std::string& root,
                                            const std::string& working_directory) {
  std::vector<std::string> paths;
  // Report templates show the saved answers: they are for the report
  // right (REPORT2), the respondent (REPORT) and the mail (EMAILREPORT).
  for (const std::string* name : {&form.report_action, &form.report, &form.email_report}) {
    std::string path = root_path(root, *name);
    if (!path.empty()) paths.push_back(std::move(path));
  }
  for (const std::string* name :
       {&form.data_name, &form.index_name, &form.xml_name, &form.password_name}) {
    if (name->empty()) continue;
    std::string path = root_path(root, *name);
    if (!path.empty()) paths.push_back(std::move(path));
    // The name as it stands, as a program started elsewhere would open it.
    if ((*name)[0] != '/' && (*name)[0] != '\\') paths.push_back(working_directory + "/" + *name);
  }
  return paths;
}

}  // namespace fwk

// A form's configuration: its ".ini" file in the server root, read once and
// typed. Section "DATABASE" says what the engine does with the form and
// where it keeps the answers; section "access" says who may do what
// (access.hpp). Everything that reads a form's configuration reads it here.
//
// Keys match ignoring case, and an empty value counts as absent. Integer
// and on/off keys are the standard decimal reading of their leading digits
// ("abc" reads as 0); an on/off key is on when that number is not 0.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/plist.hpp"

namespace fwk {

// ID fields when the configuration names none.
inline constexpr const char* kDefaultIdFields = "IFMUID,IFMUID1,IFMUID2,IFMUID3,IFMUID4";
// The ID field keeps at most this many characters.
constexpr std::size_t kIdFieldLimit = 63;

struct FormConfig {
  // The form name: the configuration file's name without ".ini".
  std::string name;
  // Section "DATABASE" as written (page scripts see it); absent when the
  // file or the section is missing, and then the form cannot be used.
  ParamListPtr database;
  // Section "access"; absent: nobody has any right.
  ParamListPtr access;

  // --- What the survey list shows (section "database" of a survey file)
  std::string title = "Title";              // Title
  std::string description = "Description";  // Description

  // --- Showing the form
  bool active = true;                 // ACTIVE: off shows the start page instead
  bool multipage = false;             // MULTIPAGE: pages from the page directory
  std::string form_template;          // FORM: the single-page template
  std::string start_page = "page0";   // STARTPAGE
  std::string report;                 // REPORT: shown after a save with DISPLAYREPORT
  std::string report_action;          // REPORT2: the REPORT action's template
  bool save_page = false;             // SAVEPAGE: an interim save at every NEXT

  // --- Who answers
  bool has_uid = false;               // HASUID: respondents log in with their ID fields
  std::string id_fields = kDefaultIdFields;  // IDFIELDS: login first, then passwords
  std::string id_field = "IFMUID";    // the first of them, at most kIdFieldLimit characters
  std::string login_sequence = "ASC"; // LOGINSEQUENCE: lookup methods for resuming
  int max_responses = 0;              // MAXRESPONSES: 0 is no limit
  std::string max_message = "Sorry, this form is no longer available.";          // MAXMESSAGE
  std::string password_message = "Sorry, you need a password to access this form.";  // PWDMESSAGE

  // --- Saving
  bool save_data = false;             // SAVEDATA
  bool save_xml = false;              // SAVEXML
  bool save_email = false;            // SAVEEMAIL
  bool log_date_time = true;          // LOGDATETIME: off renames HOST, DATE, TIME with "_"
  std::string save_email_name;        // SAVEEMAILNAME: where the submission report goes
  std::string email_report;           // EMAILREPORT: its template
  std::string email_server;           // EMAILSERVER: the relay address (mail/relay_address.hpp)
  std::string email_name;             // EMAILNAME: the relay's login, "" for none
  std::string email_password;         // EMAILPWD: its password (read when mail is sent)
  std::string admin_email;            // ADMINEMAIL: told of refused requests

  // --- The answer to a save
  std::string message;                // MESSAGE as written ("" when absent)
  bool display_message = true;        // DISPLAYMESSAGE
  bool display_form = false;          // DISPLAYFORM
  bool display_report = false;        // DISPLAYREPORT
  bool display_hotlink = false;       // DISPLAYHOTLINK
  std::string hotlink = "/index.html";  // HOTLINK
  bool show_redirect = false;         // SHOWREDIRECT
  std::string redirect;               // REDIRECT

  // --- The files the form keeps: each configured name cut to
  // kConfiguredNameLimit characters ("" when not configured), and its path.
  std::string data_name;      // SAVEDATANAME
  std::string index_name;     // SAVEINDEXNAME
  std::string xml_name;       // SAVEXMLNAME
  std::string password_name;  // PWDFILE
  // The data file: SAVEDATANAME in the server root, else the form name with
  // ".asc" there. "" when the path does not fit the path area.
  std::string data_path;
  // The index and XML files in the server root; "" when not configured or
  // when the path does not fit.
  std::string index_path;
  std::string xml_path;
  // The password file as it is opened: named as it stands (not placed in
  // the server root), "\" written as "/"; "" when not configured.
  std::string password_path;
};

// Every key of section "DATABASE" that the system reads (here and in the
// page-script built-ins and the mail): a key not listed is a key nobody
// reads. Keep it with the readers in form_config.cpp.
inline constexpr const char* kFormDatabaseKeys[] = {
    "Title",        "Description",   "ACTIVE",       "MULTIPAGE",      "FORM",
    "STARTPAGE",    "REPORT",        "REPORT2",      "SAVEPAGE",       "HASUID",
    "IDFIELDS",     "LOGINSEQUENCE", "HOST",         "MAXRESPONSES",   "MAXMESSAGE",
    "PWDMESSAGE",   "SAVEDATA",      "SAVEXML",      "SAVEEMAIL",      "LOGDATETIME",
    "SAVEEMAILNAME", "EMAILREPORT",  "EMAILSERVER",  "EMAILPROFILE",   "EMAILNAME",
    "EMAILPWD",     "ADMINEMAIL",    "MESSAGE",      "DISPLAYMESSAGE", "DISPLAYFORM",
    "DISPLAYREPORT", "DISPLAYHOTLINK", "HOTLINK",    "SHOWREDIRECT",   "REDIRECT",
    "SAVEDATANAME", "SAVEINDEXNAME", "SAVEXMLNAME",  "PWDFILE",
};

// True when a form name may name a configuration file at all: it holds none
// of / . \ * ? $ | (it could then name a file outside the root, or several)
// and is at most kAccessValueLimit characters long.
bool form_name_safe(std::string_view form_name);

// Reads the configuration of form `form_name` from "<root><form_name>.ini".
// An empty or unsafe form name (form_name_safe) reads nothing: both
// sections stay absent.
FormConfig form_config_read(const std::string& root, std::string_view form_name);

// The same for a configuration file as a directory search found it in the
// root ("sales.ini", "SALES.INI"): the form name is the file name without
// its last four characters.
FormConfig form_config_read_file(const std::string& root, const std::string& file_name);

// The typed reading of sections already read (tests, benchmarks and the
// two readers above). Paths are built against `root`.
FormConfig form_config_from(const std::string& root, std::string_view form_name,
                            ParamListPtr database, ParamListPtr access);

// The files the form keeps that nobody may download: its report templates
// (REPORT2, REPORT, EMAILREPORT) in the root, and every configured file
// name (data, index, XML and password file) joined to the root and, for a
// name that is not absolute, also as it stands below `working_directory`
// (as a program started there would open it).
std::vector<std::string> form_private_paths(const FormConfig& form, const std::string& root,
                                            const std::string& working_directory);

}  // namespace fwk

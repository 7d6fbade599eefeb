#include "check/config_check.hpp"

#include <algorithm>
#include <cstring>

#include "check/check_files.hpp"
#include "core/ascii.hpp"
#include "core/list_text.hpp"
#include "core/paths.hpp"
#include "forms/access.hpp"
#include "forms/page_show.hpp"
#include "mail/relay_address.hpp"
#include "platform/dirsearch.hpp"

namespace fwk {

namespace {

constexpr SourceSeverity kError = SourceSeverity::error;
constexpr SourceSeverity kWarning = SourceSeverity::warning;

// Edit distance ignoring ASCII case.
std::size_t distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t above = row[j];
      bool same = ascii_fold(static_cast<unsigned char>(a[i - 1])) ==
                  ascii_fold(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

void add(Diagnostics& diags, const ConfigLines& config, int line, SourceSeverity severity,
         std::string message) {
  diag_add(diags, config.path, line, severity, std::move(message));
}

int db_line(const ConfigLines& config, const char* key) {
  return config_line_of(config.database, key, config.database_line);
}

template <std::size_t N>
std::vector<const char*> names_of(const char* const (&keys)[N]) {
  return std::vector<const char*>(keys, keys + N);
}

std::vector<const char*> access_names() {
  std::vector<const char*> names;
  for (const AccessKey& key : kAccessKeys) names.push_back(key.name);
  return names;
}

// Unknown keys (with the nearest known one) and keys set twice.
void check_keys(Diagnostics& diags, const ConfigLines& config, const std::vector<IniLine>& lines,
                const std::vector<const char*>& known, const char* section) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const IniLine& entry = lines[i];
    const bool is_known = std::any_of(known.begin(), known.end(), [&](const char* key) {
      return text_compare_nocase(key, entry.name.c_str()) == 0;
    });
    if (!is_known) {
      std::string message = "unknown key " + entry.name + " in [" + section + "] is ignored";
      std::string nearest = nearest_name(entry.name, known);
      if (!nearest.empty()) message += ": did you mean " + nearest + "?";
      add(diags, config, entry.line, kWarning, std::move(message));
      continue;
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (text_compare_nocase(lines[j].name.c_str(), entry.name.c_str()) != 0) continue;
      add(diags, config, entry.line, kWarning,
          entry.name + " is set again: only the first, on line " + std::to_string(lines[j].line) +
              ", counts");
      break;
    }
  }
}

// What a right granted to everybody lets them do.
const char* allowed_text(const std::string& key) {
  const std::pair<const char*, const char*> texts[] = {
      {"PWDREAD", "read the saved answers"},
      {"PWDUPDATE",
       "reopen and change a response by typing its login alone (IDFIELDS has no "
       "password field)"},
      {"PWDDELETE", "delete records"},
      {"PWDWRITE", "edit records"},
      {"PWDADMIN", "administer the saved answers"},
      {"PWDREPORT", "see the reports of the saved answers"},
  };
  for (const auto& [name, text] : texts) {
    if (text_compare_nocase(name, key.c_str()) == 0) return text;
  }
  return "do anything with the saved answers";
}

void check_access(Diagnostics& diags, const CheckSettings& settings, const FormConfig& form,
                  const ConfigLines& config) {
  if (!config.has_access) {
    add(diags, config, config.database_line, kWarning,
        "the form has no [access] section: it grants no rights, so it accepts no answers");
    return;
  }
  check_keys(diags, config, config.access, access_names(), "access");
  if (!settings.beyond_loopback) return;
  for (const IniLine& entry : config.access) {
    if (text_compare_nocase(entry.value.c_str(), "(allow)") != 0) continue;
    if (text_compare_nocase(entry.name.c_str(), "PWDAPPEND") == 0) continue;
    // Reopening a response takes its ID fields: with a password among them
    // (a second ID field), only the respondent can.
    if (text_compare_nocase(entry.name.c_str(), "PWDUPDATE") == 0 &&
        (!form.has_uid || form.id_fields.find(',') != std::string::npos))
      continue;
    const bool is_key =
        std::any_of(std::begin(kAccessKeys), std::end(kAccessKeys), [&](const AccessKey& key) {
          return text_compare_nocase(key.name, entry.name.c_str()) == 0;
        });
    if (!is_key) continue;
    add(diags, config, entry.line, kWarning,
        entry.name + "=(allow) lets anybody on the network " + allowed_text(entry.name) +
            ", and the server listens beyond this machine: give it a password, or run the server "
            "with --listen 127.0.0.1");
  }
}

void check_mail(Diagnostics& diags, const FormConfig& form, const ConfigLines& config) {
  if (form.save_email) {
    if (form.email_server.empty()) {
      add(diags, config, db_line(config, "SAVEEMAIL"), kError,
          "SAVEEMAIL is on but EMAILSERVER names no mail relay: every save fails with error 1");
    }
    if (form.save_email_name.empty()) {
      add(diags, config, db_line(config, "SAVEEMAIL"), kError,
          "SAVEEMAIL is on but SAVEEMAILNAME names no address to send the answers to");
    }
  }
  if (!form.admin_email.empty() && form.email_server.empty()) {
    add(diags, config, db_line(config, "ADMINEMAIL"), kWarning,
        "ADMINEMAIL is set but EMAILSERVER names no mail relay: refused requests are not mailed");
  }
  if (form.email_server.empty()) return;
  std::optional<RelayAddress> relay = relay_parse(form.email_server);
  if (!relay) {
    add(diags, config, db_line(config, "EMAILSERVER"), kError,
        "EMAILSERVER=" + form.email_server +
            " is not a relay address (host, host:port, smtp://host for STARTTLS or smtps://host "
            "for TLS): no mail can be sent");
  } else if (!form.email_name.empty() && relay->security == RelaySecurity::plain) {
    add(diags, config, db_line(config, "EMAILNAME"), kWarning,
        "EMAILNAME is set but the relay " + form.email_server +
            " is reached without TLS, so the login would travel in clear: write "
            "EMAILSERVER=smtps://host (TLS) or smtp://host (STARTTLS)");
  }
}

// A template or file the configuration names must open.
void check_named_file(Diagnostics& diags, const ConfigLines& config, const char* key,
                      const std::string& name, const std::string& path) {
  if (name.empty() || file_readable(path)) return;
  add(diags, config, db_line(config, key), kError,
      std::string(key) + "=" + name + " names " + path + ", which cannot be opened");
}

void check_form_files(Diagnostics& diags, const CheckSettings& settings, const FormConfig& form,
                      const ConfigLines& config) {
  const std::string& root = settings.root;
  auto in_root = [&](const std::string& name) {
    std::string path;
    path_join(root.c_str(), path, name.c_str());
    return path;
  };
  if (form.multipage) {
    std::string directory;
    path_join(root.c_str(), directory, form.name.c_str(), "/");
    if (!directory_exists(directory)) {
      add(diags, config, db_line(config, "MULTIPAGE"), kError,
          "MULTIPAGE is on but the page directory " + directory + " does not exist");
    }
  } else if (!form.form_template.empty()) {
    if (form_template_path(root, form.form_template.c_str()).empty()) {
      add(diags, config, db_line(config, "FORM"), kError,
          "FORM=" + form.form_template + " names a template that cannot be opened (looked for " +
              in_root(form.form_template) + " and the same with .html added)");
    }
  } else {
    add(diags, config, config.database_line, kWarning,
        "FORM names no template and MULTIPAGE is off: opening the form shows nothing (error 2); "
        "only a page that posts to it can fill it in");
  }
  check_named_file(diags, config, "REPORT2", form.report_action, in_root(form.report_action));
  if (form.display_report && !form.display_form)
    check_named_file(diags, config, "REPORT", form.report, in_root(form.report));
  if (form.save_email)
    check_named_file(diags, config, "EMAILREPORT", form.email_report, in_root(form.email_report));
  check_named_file(diags, config, "PWDFILE", form.password_name, form.password_path);
  if (form.save_xml && form.xml_name.empty()) {
    add(diags, config, db_line(config, "SAVEXML"), kError,
        "SAVEXML is on but SAVEXMLNAME names no file: every save fails with error 6");
  }
  if (!form.save_data && !form.save_email && !form.save_xml) {
    add(diags, config, config.database_line, kWarning,
        "SAVEDATA, SAVEEMAIL and SAVEXML are all off: the answers are kept nowhere");
  }
  const std::string sequence = form.login_sequence;
  std::string word;
  for (std::size_t i = 0; i <= sequence.size(); ++i) {
    if (i < sequence.size() && !std::strchr(" ;,", sequence[i])) {
      word.push_back(sequence[i]);
      continue;
    }
    if (!word.empty() && text_compare_nocase(word.c_str(), "ASC") != 0) {
      add(diags, config, db_line(config, "LOGINSEQUENCE"), kWarning,
          "LOGINSEQUENCE names " + word + ", which is no lookup method (only ASC is)");
    }
    word.clear();
  }
}

}  // namespace

int config_line_of(const std::vector<IniLine>& lines, const char* key, int fallback) {
  for (const IniLine& entry : lines) {
    if (text_compare_nocase(entry.name.c_str(), key) == 0) return entry.line;
  }
  return fallback;
}

std::string nearest_name(const std::string& name, const std::vector<const char*>& known) {
  std::string best;
  std::size_t best_distance = 0;
  for (const char* key : known) {
    std::size_t d = distance(name, key);
    if (best.empty() || d < best_distance) {
      best = key;
      best_distance = d;
    }
  }
  // A likely misspelling: a few edits, fewer than a third of the name.
  const std::size_t allowed = std::max<std::size_t>(1, std::min<std::size_t>(3, name.size() / 3));
  return best_distance <= allowed ? best : std::string();
}

void check_config(Diagnostics& diags, const CheckSettings& settings, const FormConfig& form,
                  const ConfigLines& config) {
  check_keys(diags, config, config.database, names_of(kFormDatabaseKeys), "DATABASE");
  check_access(diags, settings, form, config);
  check_mail(diags, form, config);
  check_form_files(diags, settings, form, config);
}

}  // namespace fwk

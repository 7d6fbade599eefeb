// Checks of a form's configuration file on its own: its sections and keys,
// who may do what, mail, and the files its keys name.
#pragma once

#include <string>
#include <vector>

#include "check/diagnostics.hpp"
#include "core/ini.hpp"
#include "forms/form_config.hpp"

namespace fwk {

// A form's configuration file as the checker reads it: the typed reading
// the engine uses, and the lines of its two sections.
struct ConfigLines {
  std::string path;
  std::vector<IniLine> database;  // section "DATABASE"
  std::vector<IniLine> access;    // section "access" (empty when missing)
  bool has_access = false;
  int database_line = 1;  // the line of the "[DATABASE]" header
};

// Where the server is reachable: what makes (allow) rights risky.
struct CheckSettings {
  std::string root;  // the server root, ending in "/"
  // The server listens on an address other than loopback (by default it
  // listens on every interface).
  bool beyond_loopback = true;
};

// The line of `key` in `lines` (any case), or `fallback`.
int config_line_of(const std::vector<IniLine>& lines, const char* key, int fallback);

// The known name nearest to `name` (edit distance, any case) when it is
// close enough to be a likely misspelling; "" otherwise.
std::string nearest_name(const std::string& name, const std::vector<const char*>& known);

// Reports unknown and repeated keys, the access rights, the mail settings
// and the files the keys name (templates, password file, page directory).
void check_config(Diagnostics& diags, const CheckSettings& settings, const FormConfig& form,
                  const ConfigLines& config);

}  // namespace fwk

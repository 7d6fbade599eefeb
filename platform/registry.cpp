#include "platform/registry.hpp"

#include "platform/durable_file.hpp"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <vector>

namespace fwk {

namespace {

// The hive file as lines, grouped into sections. Lines that are not values
// (comments, blank lines) are kept so that a rewrite preserves them.
struct Section {
  std::string key;                 // empty for the lines before the first header
  std::vector<std::string> lines;  // the header line first (except the preamble)
};

struct HiveText {
  std::vector<Section> sections;  // sections[0] is the preamble
};

int fold(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? u + ('a' - 'A') : u;
}

bool equal_nocase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

std::string trim(const std::string& s) {
  size_t begin = s.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return std::string();
  size_t end = s.find_last_not_of(" \t\r");
  return s.substr(begin, end - begin + 1);
}

// "[key]" gives key; anything else none.
bool header_key(const std::string& line, std::string* key) {
  std::string t = trim(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
  *key = trim(t.substr(1, t.size() - 2));
  return true;
}

// "name=value" gives both (trimmed); comments and blank lines none.
bool value_line(const std::string& line, std::string* name, std::string* value) {
  std::string t = trim(line);
  if (t.empty() || t[0] == ';' || t[0] == '#') return false;
  size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  *name = trim(t.substr(0, eq));
  *value = trim(t.substr(eq + 1));
  return true;
}

HiveText parse(const std::string& text) {
  HiveText hive;
  hive.sections.emplace_back();
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    std::string key;
    if (header_key(line, &key)) hive.sections.push_back(Section{key, {}});
    hive.sections.back().lines.push_back(line);
  }
  return hive;
}

std::string render(const HiveText& hive) {
  std::string text;
  for (const Section& section : hive.sections) {
    for (const std::string& line : section.lines) text += line + "\n";
  }
  return text;
}

Section* find_section(HiveText& hive, const std::string& key) {
  for (size_t i = 1; i < hive.sections.size(); ++i) {
    if (equal_nocase(hive.sections[i].key, key)) return &hive.sections[i];
  }
  return nullptr;
}

// Index of the line holding value `name`, or 0 (line 0 is the header).
size_t find_value_line(const Section& section, const std::string& name, std::string* value) {
  for (size_t i = 1; i < section.lines.size(); ++i) {
    std::string n, v;
    if (value_line(section.lines[i], &n, &v) && equal_nocase(n, name)) {
      if (value) *value = v;
      return i;
    }
  }
  return 0;
}

void make_directories(const std::string& file) {
  for (size_t slash = file.find('/', 1); slash != std::string::npos;
       slash = file.find('/', slash + 1)) {
    mkdir(file.substr(0, slash).c_str(), 0755);
  }
}

// Read-modify-write of a hive under its advisory lock. `change` returns
// false to leave the file alone (and the operation fails).
bool update_hive(Hive hive, bool create, const std::function<bool(HiveText&)>& change) {
  std::string path = reg_hive_file(hive);
  if (create) make_directories(path);
  int lock = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock < 0) return false;
  while (flock(lock, LOCK_EX) != 0 && errno == EINTR) {
  }
  std::string text;
  bool exists = file_read_whole(path.c_str(), &text);
  bool ok = false;
  if (exists || create) {
    // Temporaries of writers stopped before their rename.
    remove_abandoned_temporaries(path.substr(0, path.find_last_of('/')));
    HiveText parsed = parse(text);
    if (change(parsed)) {
      const std::string rendered = render(parsed);
      ok = durable_replace(path.c_str(), rendered.data(), rendered.size()) == DurableResult::ok;
    }
  }
  flock(lock, LOCK_UN);
  close(lock);
  return ok;
}

bool load_hive(Hive hive, HiveText* parsed) {
  std::string text;
  if (!file_read_whole(reg_hive_file(hive).c_str(), &text)) return false;
  *parsed = parse(text);
  return true;
}

// The name under which a value is stored: "@" for the default value.
std::string stored_name(const char* name) {
  return name && *name ? name : "@";
}

bool storable_name(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (c == '=' || c == '\n' || c == '\r' || c == '[') return false;
  }
  return trim(name) == name && name[0] != ';' && name[0] != '#';
}

bool storable_text(const char* text) {
  if (!text) return false;
  for (const char* p = text; *p; ++p) {
    if (*p == '\n' || *p == '\r') return false;
  }
  std::string t(text);
  return trim(t) == t;
}

std::string home_directory() {
  const char* home = getenv("HOME");
  if (home && *home) return home;
  struct passwd* pw = getpwuid(getuid());
  return pw && pw->pw_dir ? pw->pw_dir : "/";
}

}  // namespace

std::string reg_hive_file(Hive hive) {
  if (hive == Hive::machine) {
    const char* etc = getenv("FORMWICK_ETC");
    std::string dir = etc && *etc ? etc : "/etc/formwick";
    return dir + "/registry.ini";
  }
  const char* config = getenv("XDG_CONFIG_HOME");
  std::string dir = config && *config ? config : home_directory() + "/.config";
  return dir + "/formwick/registry.ini";
}

std::optional<RegistryKey> reg_open_key(Hive hive, const char* key_path) {
  HiveText parsed;
  if (!key_path || !load_hive(hive, &parsed)) return std::nullopt;
  Section* section = find_section(parsed, key_path);
  if (!section) return std::nullopt;
  return RegistryKey{hive, section->key};
}

std::optional<std::string> reg_read_string(const RegistryKey& key, const char* name) {
  HiveText parsed;
  if (!load_hive(key.hive, &parsed)) return std::nullopt;
  Section* section = find_section(parsed, key.path);
  std::string value;
  if (!section || find_value_line(*section, stored_name(name), &value) == 0) return std::nullopt;
  return value;
}

std::optional<uint32_t> reg_read_dword(const RegistryKey& key, const char* name) {
  std::optional<std::string> text = reg_read_string(key, name);
  if (!text || text->empty() || text->size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (char c : *text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<uint32_t>(value);
}

bool reg_write_string(const RegistryKey& key, const char* name, const char* text) {
  std::string stored = stored_name(name);
  if (!storable_name(stored) || !storable_text(text)) return false;
  std::string line = stored + "=" + text;
  return update_hive(key.hive, false, [&](HiveText& parsed) {
    Section* section = find_section(parsed, key.path);
    if (!section) return false;
    size_t at = find_value_line(*section, stored, nullptr);
    if (at != 0) {
      section->lines[at] = line;
      return true;
    }
    // After the section's last non-blank line, so blank separators stay.
    size_t insert = section->lines.size();
    while (insert > 1 && trim(section->lines[insert - 1]).empty()) --insert;
    section->lines.insert(section->lines.begin() + static_cast<std::ptrdiff_t>(insert), line);
    return true;
  });
}

bool reg_write_dword(const RegistryKey& key, const char* name, uint32_t value) {
  return reg_write_string(key, name, std::to_string(value).c_str());
}

bool reg_delete_value(const RegistryKey& key, const char* name) {
  return update_hive(key.hive, false, [&](HiveText& parsed) {
    Section* section = find_section(parsed, key.path);
    if (!section) return false;
    size_t at = find_value_line(*section, stored_name(name), nullptr);
    if (at == 0) return false;
    section->lines.erase(section->lines.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
  });
}

size_t reg_count_values(const RegistryKey& key) {
  HiveText parsed;
  if (!load_hive(key.hive, &parsed)) return 0;
  Section* section = find_section(parsed, key.path);
  if (!section) return 0;
  size_t count = 0;
  for (size_t i = 1; i < section->lines.size(); ++i) {
    std::string n, v;
    if (value_line(section->lines[i], &n, &v)) ++count;
  }
  return count;
}

bool reg_delete_key(Hive hive, const char* key_path) {
  if (!key_path) return false;
  return update_hive(hive, false, [&](HiveText& parsed) {
    Section* section = find_section(parsed, key_path);
    if (!section) return false;
    parsed.sections.erase(parsed.sections.begin() + (section - parsed.sections.data()));
    return true;
  });
}

bool reg_create_key(Hive hive, const char* key_path) {
  if (!key_path || !*key_path || !storable_text(key_path)) return false;
  if (reg_open_key(hive, key_path)) return true;
  return update_hive(hive, true, [&](HiveText& parsed) {
    if (find_section(parsed, key_path)) return true;
    parsed.sections.push_back(Section{key_path, {std::string("[") + key_path + "]"}});
    return true;
  });
}

}  // namespace fwk

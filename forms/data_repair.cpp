#include "forms/data_repair.hpp"

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/ini.hpp"
#include "core/paths.hpp"
#include "core/status_log.hpp"
#include "forms/response_counter.hpp"
#include "forms/response_save.hpp"
#include "forms/session_index.hpp"
#include "platform/dirsearch.hpp"

namespace fwk {

namespace {

constexpr const char* kServerSettings = "cgi.ini";
constexpr size_t kConfigExtensionLength = 4;  // ".ini"
constexpr const char* kForbiddenFormChars = "/.\\*?$|'\"";

void log_line(const SiteContext& site, const std::string& text) {
  status_log(site_log(&site), ("\n" + text).c_str());
}

struct SavingForm {
  std::string name;
  ParamListPtr config;
  std::string data_path;
};

void repair_form(const SiteContext& site, SessionIndex& index, const SavingForm& saving,
                 bool shared) {
  const std::string& form = saving.name;
  const std::string& path = saving.data_path;
  const ParamList* config = saving.config.get();
  const Repair repair = session_index_repair(index, path.c_str());
  if (!repair.readable) return;
  if (repair.retired > 0) {
    log_line(site, "fwk: " + path + ": " + std::to_string(repair.retired) +
                       " earlier records of responses saved again were retired");
  }
  if (!repair.marked) log_line(site, "fwk: cannot retire earlier records in " + path);
  // A data file two forms save into holds the responses of both: neither
  // counter can be told from it.
  if (shared || std::atoi(plist_get(config, "MAXRESPONSES", "0")) == 0) return;
  const int count = response_count_read(site, form.c_str());
  if (count >= repair.live) return;
  if (response_count_write(site, form.c_str(), static_cast<int32_t>(repair.live))) {
    log_line(site, "fwk: the response counter of " + form + " was raised from " +
                       std::to_string(count) + " to the " + std::to_string(repair.live) +
                       " responses stored");
  }
}

}  // namespace

void repair_data_files(const SiteContext& site) {
  std::vector<SavingForm> forms;
  for (const std::string& name : dir_search(site.root, "*.ini")) {
    if (text_compare_nocase(name.c_str(), kServerSettings) == 0) continue;
    SavingForm saving;
    saving.name = name.substr(0, name.size() - kConfigExtensionLength);
    // A name the forms engine would refuse is no form.
    if (saving.name.find_first_of(kForbiddenFormChars) != std::string::npos) continue;
    saving.config = ini_read_section((site.root + name).c_str(), "DATABASE", 0);
    if (saving.config == nullptr ||
        std::atoi(plist_get(saving.config.get(), "SAVEDATA", "0")) == 0)
      continue;
    saving.data_path = response_data_path(site, saving.config.get(), saving.name.c_str());
    forms.push_back(std::move(saving));
  }
  SessionIndex once;
  SessionIndex& index = site.session_index != nullptr ? *site.session_index : once;
  for (const SavingForm& saving : forms) {
    size_t named = 0;
    for (const SavingForm& other : forms) named += other.data_path == saving.data_path ? 1 : 0;
    repair_form(site, index, saving, named > 1);
  }
}

}  // namespace fwk

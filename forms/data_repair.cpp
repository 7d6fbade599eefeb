#include "forms/data_repair.hpp"

#include <string>
#include <vector>

#include "core/status_log.hpp"
#include "forms/form_config.hpp"
#include "forms/response_counter.hpp"
#include "forms/session_index.hpp"
#include "platform/dirsearch.hpp"

namespace fwk {

namespace {

constexpr const char* kServerSettings = "cgi.ini";

void log_line(const SiteContext& site, const std::string& text) {
  status_log(site_log(&site), ("\n" + text).c_str());
}

void repair_form(const SiteContext& site, SessionIndex& index, const FormConfig& form,
                 bool shared) {
  const std::string& path = form.data_path;
  const Repair repair = session_index_repair(index, path.c_str());
  if (!repair.readable) return;
  if (repair.retired > 0) {
    log_line(site, "fwk: " + path + ": " + std::to_string(repair.retired) +
                       " earlier records of responses saved again were retired");
  }
  if (!repair.marked) log_line(site, "fwk: cannot retire earlier records in " + path);
  // A data file two forms save into holds the responses of both: neither
  // counter can be told from it.
  if (shared || form.max_responses == 0) return;
  const int count = response_count_read(site, form.name.c_str());
  if (count >= repair.live) return;
  if (response_count_write(site, form.name.c_str(), static_cast<int32_t>(repair.live))) {
    log_line(site, "fwk: the response counter of " + form.name + " was raised from " +
                       std::to_string(count) + " to the " + std::to_string(repair.live) +
                       " responses stored");
  }
}

}  // namespace

void repair_data_files(const SiteContext& site) {
  std::vector<FormConfig> forms;
  for (const std::string& name : dir_search(site.root, "*.ini")) {
    if (text_compare_nocase(name.c_str(), kServerSettings) == 0) continue;
    FormConfig form = form_config_read_file(site.root, name);
    if (form.database == nullptr || !form.save_data || form.data_path.empty()) continue;
    forms.push_back(std::move(form));
  }
  SessionIndex once;
  SessionIndex& index = site.session_index != nullptr ? *site.session_index : once;
  for (const FormConfig& form : forms) {
    size_t named = 0;
    for (const FormConfig& other : forms) named += other.data_path == form.data_path ? 1 : 0;
    repair_form(site, index, form, named > 1);
  }
}

}  // namespace fwk

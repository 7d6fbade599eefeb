#include "forms/page_script_builtins.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "core/ini.hpp"
#include "core/list_text.hpp"
#include "core/stamp.hpp"
#include "core/text_util.hpp"
#include "script/script_values.hpp"

namespace fwk {
namespace {

// One name=value item of ranksort with its numeric key.
struct RankItem {
  std::string name;
  std::string value;
  double key = 0;
};

double rank_key(const std::string& value) {
  double key = std::strtod(value.c_str(), nullptr);
  return std::isfinite(key) ? key : 0;
}

// The items of a single list argument ("a=3,b=1,..."). Blanks after a
// comma are dropped first, so "a=3, b=1" reads like "a=3,b=1".
ParamListPtr rank_items_from_text(const std::string& text) {
  std::string compact;
  compact.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ' && !compact.empty() && compact.back() == ',') continue;
    compact.push_back(text[i]);
  }
  return kv_parse_text(compact.c_str(), ',', 0);
}

ParamListPtr rank_items_from_args(int argc, const std::string* argv) {
  std::vector<const char*> texts;
  for (int i = 0; i < argc; ++i) texts.push_back(argv[i].c_str());
  return kv_parse_array(texts.size(), texts.data(), 0);
}

}  // namespace

std::optional<std::string> builtin_timestamp(ScriptContext&, const char*, int, const std::string*,
                                             ParamList*) {
  std::string date, time;
  time_stamp(&date, &time);
  return date + time;
}

std::optional<std::string> builtin_timedate(ScriptContext&, const char*, int, const std::string*,
                                            ParamList*) {
  std::string date;
  time_stamp(&date, nullptr);
  return date;
}

std::optional<std::string> builtin_timetime(ScriptContext&, const char*, int, const std::string*,
                                            ParamList*) {
  std::string time;
  time_stamp(nullptr, &time);
  return time;
}

// The argument, once mixed into the identifier, is accepted and not needed:
// identifiers are random.
std::optional<std::string> builtin_uniqueid(ScriptContext&, const char*, int, const std::string*,
                                            ParamList*) {
  return unique_id();
}

std::optional<std::string> builtin_showpage(ScriptContext&, const char*, int argc,
                                            const std::string* argv, ParamList* variables) {
  if (argc < 1 || argv[0].empty()) return std::nullopt;
  const std::string& page = argv[0];
  std::string skip = plist_get(variables, "_PAGESKIP", "");
  if (skip.empty()) {
    script_set_variable(variables, "_PAGESKIP", page);
  } else if (!list_contains_exact(skip.c_str(), page.c_str())) {
    script_set_variable(variables, "_PAGESKIP", skip + "," + page);
  }
  return std::nullopt;
}

std::optional<std::string> builtin_number(ScriptContext&, const char*, int argc,
                                          const std::string* argv, ParamList*) {
  if (argc < 1 || !text_is_number_start(argv[0].c_str())) return std::nullopt;
  return argv[0];
}

std::optional<std::string> builtin_ranksort(ScriptContext&, const char*, int argc,
                                            const std::string* argv, ParamList*) {
  if (argc < 1) return std::nullopt;
  ParamListPtr list = argc == 1 ? rank_items_from_text(argv[0]) : rank_items_from_args(argc, argv);
  std::vector<RankItem> items;
  plist_each(list.get(), [&items](const Pair& entry) {
    if (entry.name->empty()) return;
    RankItem item;
    item.name = *entry.name;
    item.value = entry.value.value_or("");
    item.key = rank_key(item.value);
    items.push_back(std::move(item));
  });
  // Stable: items of equal value keep the order in which they were given.
  std::stable_sort(items.begin(), items.end(),
                   [](const RankItem& a, const RankItem& b) { return a.key < b.key; });
  std::string ranked;
  for (const RankItem& item : items) {
    if (item.value.empty()) continue;
    if (!ranked.empty()) ranked += ',';
    ranked += item.name;
  }
  return ranked;
}

std::optional<std::string> builtin_rankindex(ScriptContext&, const char*, int argc,
                                             const std::string* argv, ParamList*) {
  if (argc < 2) return std::nullopt;
  int index = 0;
  if (!list_contains_exact(argv[0].c_str(), argv[1].c_str(), &index)) return std::nullopt;
  return std::to_string(index);
}

}  // namespace fwk

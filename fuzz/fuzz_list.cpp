// Fuzzes the list-text helpers and path joining. The input is split at its
// first two zero bytes into a list text, a word and a name; the first byte
// also picks the separator for the pops.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/list_text.hpp"
#include "core/paths.hpp"
#include "core/plist.hpp"
#include "core/testing/test_lists.hpp"

namespace {

bool is_separator(char c) {
  return c == ',' || c == ' ';
}

std::string next_part(const std::string& input, size_t* pos) {
  size_t end = input.find('\0', *pos);
  if (end == std::string::npos) end = input.size();
  std::string part = input.substr(*pos, end - *pos);
  *pos = end < input.size() ? end + 1 : end;
  return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t pos = 0;
  std::string list = next_part(input, &pos);
  std::string word = next_part(input, &pos);
  std::string name = next_part(input, &pos);
  char sep = size == 0 ? 0 : (data[0] % 3 == 0 ? 0 : (data[0] % 3 == 1 ? ' ' : ','));

  int index = 0;
  int exact = fwk::list_contains_exact(list.c_str(), word.c_str(), &index);
  int nocase = fwk::list_contains_nocase(list.c_str(), word.c_str(), nullptr);
  if (exact && !nocase) std::abort();
  if (exact && (index < 1 || static_cast<size_t>(index) > list.size())) std::abort();

  std::string removed = list;
  fwk::list_remove_item(removed, word.c_str());
  if (exact != (removed.size() < list.size())) std::abort();

  std::string popped = list;
  std::optional<std::string> item = fwk::list_text_pop(popped, sep);
  if (item && item->size() + 1 + popped.size() != list.size()) std::abort();
  if (!item && popped != list) std::abort();

  fwk::ParamListPtr params = fwk::test_list({{"_PAGENEXT", list.c_str()}});
  size_t total = 0;
  for (int round = 0; round <= static_cast<int>(list.size()) + 1; ++round) {
    std::string next = fwk::plist_pop_item(params.get(), "_pagenext", sep);
    total += next.size();
    const std::string rest = fwk::plist_get(params.get(), "_PAGENEXT", "");
    if (!rest.empty() && (is_separator(rest.back()))) std::abort();
    if (rest.empty()) break;
  }
  if (*fwk::plist_get(params.get(), "_PAGENEXT", "") != '\0' || total > list.size()) std::abort();

  std::string path;
  if (fwk::path_join(list.c_str(), path, word.c_str(), name.c_str()) &&
      path.size() >= fwk::kPathArea) {
    std::abort();
  }
  return 0;
}

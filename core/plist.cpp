#include "core/plist.hpp"

#include <cstring>

#include "core/ascii.hpp"

namespace fwk {

namespace {

// Number of used entries of one block: up to the first absent name.
size_t used_entries(const ParamList& block) {
  size_t n = 0;
  while (n < block.entries.size() && block.entries[n].name) ++n;
  return n;
}

Pair free_slot(bool with_value) {
  Pair p;
  p.name = std::string();
  if (with_value) p.value = std::string();
  return p;
}

// Replace `current` by `text` in place: an absent text empties it, a text
// that is not longer reuses the buffer, a longer one replaces it.
void replace_text(std::optional<std::string>& current, const char* text) {
  if (!text) {
    if (current) current->clear();
    return;
  }
  if (!current) {
    current = text_dup(text);
    return;
  }
  current->assign(text);
}

}  // namespace

// The length is tested first: most entries of a long list (free slots
// among them) differ there.
bool pair_name_is(const Pair& entry, const char* name, size_t n) {
  if (!entry.name) return false;
  const std::string& stored = *entry.name;
  const size_t size = stored.size();
  if (size < n || (size > n && stored[n] != '\0')) return false;
  for (size_t i = 0; i < n; ++i)
    if (stored[i] != name[i] && ascii_fold(stored[i]) != ascii_fold(name[i])) return false;
  return true;
}

std::string text_dup(const char* text) {
  return text ? std::string(text) : std::string();
}

std::string text_dup_n(const char* text, size_t n) {
  if (!text) return std::string();
  size_t len = 0;
  while (len < n && text[len] != '\0') ++len;
  return std::string(text, len);
}

int text_compare_nocase(const char* a, const char* b) {
  if (!a) a = "";
  if (!b) b = "";
  while (*a && *b) {
    int ca = ascii_fold(*a), cb = ascii_fold(*b);
    if (ca != cb) return ca - cb;
    ++a;
    ++b;
  }
  return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

ParamListPtr plist_alloc(size_t n) {
  auto list = std::make_unique<ParamList>();
  list->entries.resize(n);
  return list;
}

size_t plist_used_count(const ParamList* list) {
  return list ? used_entries(*list) : 0;
}

const Pair* plist_find(const ParamList* list, const char* name) {
  if (!name) return nullptr;
  const size_t n = std::strlen(name);
  for (const ParamList* block = list; block; block = block->next.get()) {
    for (const Pair& entry : block->entries) {
      if (!entry.name) break;
      if (pair_name_is(entry, name, n)) return &entry;
    }
  }
  return nullptr;
}

Pair* plist_find(ParamList* list, const char* name) {
  return const_cast<Pair*>(plist_find(static_cast<const ParamList*>(list), name));
}

const char* plist_get(const ParamList* list, const char* name, const char* dflt) {
  const Pair* entry = plist_find(list, name);
  if (!entry || !entry->value || entry->value->empty()) return dflt;
  return entry->value->c_str();
}

void pair_set_name(Pair& entry, const char* name) {
  replace_text(entry.name, name);
}

void pair_set_value(Pair& entry, const char* value) {
  replace_text(entry.value, value);
}

int plist_rename(ParamList* list, const char* name, const char* new_name) {
  Pair* entry = plist_find(list, name);
  if (!entry) return 0;
  pair_set_name(*entry, new_name);
  return 1;
}

int plist_set(ParamList* list, const char* name, const char* value) {
  Pair* entry = plist_find(list, name);
  if (!entry) {
    if (Pair* slot = plist_find(list, "")) pair_set_name(*slot, name);
    entry = plist_find(list, name);
    if (!entry) return 0;
  }
  pair_set_value(*entry, value);
  return 1;
}

const Pair* plist_at(const ParamList* list, size_t index) {
  if (!list || index >= list->entries.size()) return nullptr;
  return &list->entries[index];
}

Pair* plist_at(ParamList* list, size_t index) {
  return const_cast<Pair*>(plist_at(static_cast<const ParamList*>(list), index));
}

void plist_resize(ParamList& list, size_t n) {
  list.entries.resize(n);
  list.next.reset();
}

void plist_extend(ParamList* list, size_t count) {
  if (!list) return;
  ParamList* last = list;
  while (last->next) last = last->next.get();
  last->next = plist_alloc(count);
  for (Pair& entry : last->next->entries) entry.name = std::string();
}

ParamListPtr plist_copy(const ParamList* list, size_t spare) {
  size_t n = plist_used_count(list);
  ParamListPtr copy = plist_alloc(spare + n);
  for (size_t i = 0; i < spare; ++i) copy->entries[i] = free_slot(true);
  for (size_t i = 0; i < n; ++i) copy->entries[spare + i] = list->entries[i];
  return copy;
}

ParamListPtr plist_merge(const ParamList& first, const ParamList* second, size_t spare) {
  if (!second) return plist_copy(&first, spare);
  size_t n = used_entries(first);
  std::vector<const Pair*> extra;
  for (size_t i = 0, m = used_entries(*second); i < m; ++i) {
    const Pair& entry = second->entries[i];
    if (!plist_find(&first, entry.name->c_str())) extra.push_back(&entry);
  }
  ParamListPtr merged = plist_alloc(spare + n + extra.size());
  size_t at = 0;
  for (; at < spare; ++at) merged->entries[at] = free_slot(false);
  for (size_t i = 0; i < n; ++i) merged->entries[at++] = first.entries[i];
  for (const Pair* entry : extra) merged->entries[at++] = *entry;
  return merged;
}

}  // namespace fwk

#include "forms/page_nav.hpp"

#include <optional>
#include <string>

#include "forms/form_request.hpp"
#include "forms/form_state.hpp"
#include "forms/page_script.hpp"
#include "forms/page_show.hpp"
#include "forms/response_save.hpp"
#include "core/list_text.hpp"
#include "script/script_values.hpp"

namespace fwk {
namespace {

constexpr const char* kFinishMarker = "(save)";

std::string param(const FormState& state, const char* name) {
  return plist_get(state.request, name, "");
}

int show(FormState& state, const std::string& back_list, std::string& page) {
  return page_show(*state.site, state.sink, state.form->name.c_str(), state.request,
                   back_list.c_str(), page);
}

// The pending pages once the page being left and the choice made on it
// are taken into account: the current page is no longer pending, and a
// chosen page or group goes in front of the rest.
std::string pending_after(const std::string& page, std::string pending, const std::string& skip) {
  while (list_contains_exact(pending.c_str(), page.c_str()))
    list_remove_item(pending, page.c_str());
  if (skip.empty()) return pending;
  if (pending.empty()) return skip;
  if (list_contains_exact(pending.c_str(), skip.c_str())) list_remove_item(pending, skip.c_str());
  return skip + " " + pending;
}

}  // namespace

int page_next(FormState& state) {
  std::string skip = param(state, "_PAGESKIP");
  form_write_header(state);
  if (state.form->save_page && text_compare_nocase(skip.c_str(), kFinishMarker) != 0) {
    // An interim save that stored nothing keeps the respondent on the page,
    // with its answers, and says why.
    const int saved = response_save(*state.site, *state.form, state.request);
    if (saved != 0) {
      save_error_text(state.sink, *state.form, saved);
      show(state, param(state, "_PAGEBACK"), state.page);
      return saved;
    }
  }
  if (!state.page.empty()) {
    page_script_forward(*state.site, state.sink, *state.form, state.request, state.page.c_str());
  }
  std::string pending = param(state, "_PAGENEXT");
  std::string back = param(state, "_PAGEBACK");
  skip = param(state, "_PAGESKIP");
  if (!param(state, "_PAGEWARN").empty()) {
    // Stay on the page; it is no longer among the pending pages.
    while (list_contains_exact(pending.c_str(), state.page.c_str()))
      list_remove_item(pending, state.page.c_str());
    script_set_variable(state.request, "_PAGENEXT", pending);
    return show(state, back, state.page);
  }
  if (skip == kFinishMarker) return form_final_save(state);
  script_set_variable(state.request, "_PAGENEXT", pending_after(state.page, pending, skip));
  // A request without a page name adds no empty item to the back list.
  std::string new_back = state.page.empty() ? back : state.page + "," + back;
  std::string next = plist_pop_item(state.request, "_PAGENEXT", 0);
  if (skip.find(',') != std::string::npos && !next.empty()) next[0] = 'P';
  return show(state, new_back, next);
}

int page_back(FormState& state) {
  form_write_header(state);
  page_script_back(*state.site, state.sink, *state.form, state.request, state.page.c_str());
  std::string back = param(state, "_PAGEBACK");
  std::string pending = param(state, "_PAGENEXT");
  if (!param(state, "_PAGEWARN").empty()) return show(state, back, state.page);
  if (pending.find(' ') != std::string::npos) {
    if (!state.page.empty() && state.page[0] == 'P') {
      plist_pop_item(state.request, "_PAGENEXT", ' ');
    } else {
      script_set_variable(state.request, "_PAGENEXT", state.page + "," + pending);
    }
  }
  std::string previous = list_text_pop(back, 0).value_or("");
  return show(state, back, previous);
}

}  // namespace fwk

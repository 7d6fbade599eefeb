#include "forms/page_nav.hpp"

#include <optional>
#include <string>

#include "core/list_text.hpp"
#include "forms/form_request.hpp"
#include "forms/form_state.hpp"
#include "forms/page_script.hpp"
#include "forms/page_show.hpp"
#include "forms/response_save.hpp"
#include "script/script_values.hpp"

namespace fwk {
namespace {

constexpr const char* kFinishMarker = "(save)";

std::string param(const FormState& state, const char* name) {
  return plist_get(state.request, name, "");
}

HandlerResult show(FormState& state, const std::string& back_list, std::string& page) {
  return page_show(*state.site, state.sink, state.form->name.c_str(), state.request,
                   back_list.c_str(), page);
}

// The pending pages without `page`.
std::string without_page(std::string pending, const std::string& page) {
  while (list_contains_exact(pending.c_str(), page.c_str()))
    list_remove_item(pending, page.c_str());
  return pending;
}

// The pending pages once the page being left and the choice made on it
// are taken into account: the current page is no longer pending, and a
// chosen page or group goes in front of the rest.
std::string pending_after(const std::string& page, const std::string& pending,
                          const std::string& skip) {
  std::string rest = without_page(pending, page);
  if (skip.empty()) return rest;
  if (rest.empty()) return skip;
  if (list_contains_exact(rest.c_str(), skip.c_str())) list_remove_item(rest, skip.c_str());
  return skip + " " + rest;
}

}  // namespace

PageMove page_move_next(const std::string& page, const std::string& pending,
                        const std::string& back, const std::string& skip) {
  PageMove move;
  move.pending = pending_after(page, pending, skip);
  // A request without a page name adds no empty item to the back list.
  move.back = page.empty() ? back : page + "," + back;
  move.page = list_pop_item(move.pending, 0);
  if (skip.find(',') != std::string::npos && !move.page.empty()) move.page[0] = 'P';
  return move;
}

PageMove page_move_back(const std::string& page, const std::string& pending,
                        const std::string& back) {
  PageMove move;
  move.pending = pending;
  if (pending.find(' ') != std::string::npos) {
    if (!page.empty() && page[0] == 'P') {
      list_pop_item(move.pending, ' ');
    } else {
      move.pending = page + "," + pending;
    }
  }
  move.back = back;
  move.page = list_text_pop(move.back, 0).value_or("");
  return move;
}

HandlerResult page_next(FormState& state) {
  std::string skip = param(state, "_PAGESKIP");
  form_write_header(state);
  if (state.form->save_page && text_compare_nocase(skip.c_str(), kFinishMarker) != 0) {
    // An interim save that stored nothing keeps the respondent on the page,
    // with its answers, and says why.
    const HandlerResult saved = response_save(*state.site, *state.form, state.request);
    if (saved != HandlerResult::ok) {
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
    script_set_variable(state.request, "_PAGENEXT", without_page(pending, state.page));
    return show(state, back, state.page);
  }
  if (skip == kFinishMarker) return form_final_save(state);
  PageMove move = page_move_next(state.page, pending, back, skip);
  script_set_variable(state.request, "_PAGENEXT", move.pending);
  return show(state, move.back, move.page);
}

HandlerResult page_back(FormState& state) {
  form_write_header(state);
  page_script_back(*state.site, state.sink, *state.form, state.request, state.page.c_str());
  std::string back = param(state, "_PAGEBACK");
  std::string pending = param(state, "_PAGENEXT");
  if (!param(state, "_PAGEWARN").empty()) return show(state, back, state.page);
  PageMove move = page_move_back(state.page, pending, back);
  if (move.pending != pending) script_set_variable(state.request, "_PAGENEXT", move.pending);
  return show(state, move.back, move.page);
}

}  // namespace fwk

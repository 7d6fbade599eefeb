// Walking a multi-page form. The respondent's position travels in the
// request: _PAGE (the page being left), _PAGEBACK (pages visited, most
// recent first, each followed by ","), _PAGENEXT (pending pages: groups
// separated by " ", pages in a group by ","), _PAGESKIP (the next page or
// group chosen on the page being left, or "(save)" to finish) and
// _PAGEWARN (non-empty: stay on the page). NEXT and BACK rewrite them and
// show the page they lead to.
//
// A page taken from a group is handed to the page display with its first
// letter made an upper-case "P"; BACK from such a page drops the rest of
// its group from the pending pages.
#pragma once

#include <string>

#include "forms/handler_result.hpp"

namespace fwk {

struct FormState;

// Where a step leads: the page to show and the lists that go with it.
struct PageMove {
  std::string page;     // the page to show ("" when none is left)
  std::string pending;  // the new _PAGENEXT
  std::string back;     // the new _PAGEBACK
};

// NEXT from `page` with `skip` chosen on it (_PAGESKIP, not "(save)"): the
// page is no longer pending, a chosen page or group goes in front of the
// rest, the page joins the visited ones, and the first pending page is
// shown (marked "P" when it was taken from a group chosen on the page).
PageMove page_move_next(const std::string& page, const std::string& pending,
                        const std::string& back, const std::string& skip);

// BACK from `page`: the previous visited page is shown. When groups are
// pending, leaving a group's page ("P...") drops the rest of that group,
// and leaving any other page puts it in front again.
PageMove page_move_back(const std::string& page, const std::string& pending,
                        const std::string& back);

// NEXT: the interim save (SAVEPAGE), the page's forward script, then the
// warned page again, the final save ("(save)") or the next page. Writes the
// response header once (the final save adds none of its own); state.page is
// the page being left. Returns the page display's or the final save's
// result.
HandlerResult page_next(FormState& state);

// BACK: the page's back script, then the warned page again or the previous
// page. Writes the response header. Returns the page display's result.
HandlerResult page_back(FormState& state);

}  // namespace fwk

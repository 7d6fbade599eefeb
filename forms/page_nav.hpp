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

namespace fwk {

struct FormState;

// NEXT: the interim save (SAVEPAGE), the page's forward script, then the
// warned page again, the final save ("(save)") or the next page. Writes the
// response header once (the final save adds none of its own); state.page is
// the page being left. Returns the page display's or the final save's
// result.
int page_next(FormState& state);

// BACK: the page's back script, then the warned page again or the previous
// page. Writes the response header. Returns the page display's result.
int page_back(FormState& state);

}  // namespace fwk

// The repair at start-up of what a crash in the middle of a save may leave:
// a session with more than one undeleted record (the crash came between the
// append of the new record and the retirement of the one before), and a
// response counter below the responses stored (the crash came before the
// count).
#pragma once

#include "core/site.hpp"

namespace fwk {

// For every form of the root that saves to a data file: retires all but the
// last undeleted record of each session, and raises the form's response
// counter (with MAXRESPONSES) to the number of undeleted records when it is
// lower. Each repair is reported to the status log. Uses and warms the
// site's session index.
void repair_data_files(const SiteContext& site);

}  // namespace fwk

#include "server/server_state.hpp"

namespace fwk {

ParamListPtr server_settings;
std::string server_address;
std::u16string server_root_wide;
std::atomic<int> stop_flag{0};
int outbox_pending = 0;
std::array<SurveyEntry, kSurveyTableSize> survey_table;

}  // namespace fwk

#include "forms/page_script_builtins.hpp"
#include "mail/outbox.hpp"

namespace fwk {

// The mail goes through the form's relay (EMAILSERVER); EMAILPROFILE,
// EMAILNAME and EMAILPWD belong to mail transports the outbox does not use.
std::optional<std::string> builtin_sendmail(ScriptContext& context, const char*, int argc,
                                            const std::string* argv, ParamList*) {
  if (argc < 3 || !context.config || !context.site) return std::nullopt;
  const char* relay = plist_get(context.config, "EMAILSERVER", "");
  queue_mail(*context.site, argv[0].c_str(), argv[1].c_str(), argv[2].c_str(), relay);
  return std::nullopt;
}

}  // namespace fwk

#include "forms/form_mail.hpp"
#include "forms/page_script_builtins.hpp"

namespace fwk {

// The mail goes through the form's relay and login (EMAILSERVER, EMAILNAME);
// the form is the request's DATABASE. EMAILPROFILE belongs to mail
// transports the outbox does not use.
std::optional<std::string> builtin_sendmail(ScriptContext& context, const char*, int argc,
                                            const std::string* argv, ParamList* variables) {
  if (argc < 3 || !context.config || !context.site) return std::nullopt;
  FormMailRoute route{plist_get(variables, "DATABASE", ""),
                      plist_get(context.config, "EMAILSERVER", ""),
                      plist_get(context.config, "EMAILNAME", "")};
  form_queue_mail(*context.site, route, argv[0].c_str(), argv[1].c_str(), argv[2]);
  return std::nullopt;
}

}  // namespace fwk

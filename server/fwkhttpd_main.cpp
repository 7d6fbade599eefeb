// fwkhttpd: the survey server.
#include <string>

#include "platform/cmdline.hpp"
#include "mail/smtp_transport.hpp"
#include "platform/console.hpp"
#include "platform/fault_points.hpp"
#include "server/export_program.hpp"
#include "server/outbox_command.hpp"
#include "server/server_program.hpp"

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "export") return fwk::export_main(argc, argv, 2);
  fwk::smtp_transport_start();
  fwk::CommandLine options;
  std::string error;
  if (!fwk::cmdline_parse(argc, argv, options, error)) {
    fwk::console_write_error("fwkhttpd: " + error + "\nTry 'fwkhttpd --help'.\n");
    return 2;
  }
  if (options.show_help) {
    fwk::console_write(fwk::cmdline_usage("fwkhttpd"));
    return 0;
  }
  if (options.show_version) {
    fwk::console_write(std::string("fwkhttpd (Formwick) ") + fwk::kProgramVersion + "\n");
    return 0;
  }
  // Tests make a chosen write, flush or rename fail, or stop the server there.
  if (!fwk::fault_plan_from_environment(&error)) {
    fwk::console_write_error("fwkhttpd: " + error + "\n");
    return 2;
  }
  // A mistyped --root would otherwise serve an empty page for every path.
  if (!fwk::root_option_usable(options)) return 2;
  if (options.outbox) return fwk::outbox_command(options);
  return fwk::server_main(options);
}

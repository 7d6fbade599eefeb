// fwkhttpd: the survey server.
#include <string>

#include "platform/cmdline.hpp"
#include "mail/smtp_transport.hpp"
#include "platform/console.hpp"
#include "platform/fault_points.hpp"
#include "server/server_program.hpp"
#include "server/subcommands.hpp"

int main(int argc, char** argv) {
  fwk::smtp_transport_start();
  std::string error;
  // Tests make a chosen write, flush or rename fail, or stop the server there.
  if (!fwk::fault_plan_from_environment(&error)) {
    fwk::console_write_error("fwkhttpd: " + error + "\n");
    return 2;
  }
  if (const fwk::Subcommand* subcommand = fwk::subcommand_find(argc > 1 ? argv[1] : nullptr))
    return subcommand->run(argc - 1, argv + 1);
  fwk::CommandLine options;
  if (!fwk::cmdline_parse(argc, argv, options, error)) {
    fwk::console_write_error("fwkhttpd: " + error + "\nTry 'fwkhttpd --help'.\n");
    return 2;
  }
  if (options.show_help) {
    fwk::console_write(fwk::cmdline_usage("fwkhttpd") + fwk::subcommands_usage());
    return 0;
  }
  if (options.show_version) {
    fwk::console_write(std::string("fwkhttpd (Formwick) ") + fwk::kProgramVersion + "\n");
    return 0;
  }
  // A mistyped --root would otherwise serve an empty page for every path.
  if (!fwk::root_option_usable(options)) return 2;
  return fwk::server_main(options);
}

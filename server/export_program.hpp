// `fwkhttpd export`: a form's records written as CSV, an Excel workbook or
// JSON Lines, from the command line. It reads the data file directly (the
// record browser's access rights do not apply: whoever can read the server
// root can read the answers), so it works beside a running server and on
// any server root, the collector's too.
#pragma once

namespace fwk {

// Exit codes of the export command.
constexpr int kExportOk = 0;
constexpr int kExportUsage = 2;
constexpr int kExportNoForm = 3;
constexpr int kExportNoDataFile = 4;
constexpr int kExportNotWritten = 5;

// Runs `fwkhttpd export` with the arguments after "export" (argv[first]
// onward) and returns its exit code.
int export_main(int argc, const char* const* argv, int first);

}  // namespace fwk

// The desktop launcher: starts the device Application Manager, found in the
// machine registry, on the installation description "install.ini" of the
// current directory. It shows nothing; its exit code is its only result.
#pragma once

#include <cstddef>
#include <string>

namespace fwk {

// Key whose default value is the full path of the Application Manager.
constexpr const char* kAppManagerKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\CEAppMgr.exe";
constexpr const char* kInstallDescription = "install.ini";

// The program path is kept in an area of this many bytes (terminator
// included): a longer value is not used.
constexpr size_t kProgramPathArea = 260;

// Exit codes besides the start's own (see platform/spawn.hpp): the
// registry's "not found" (the key cannot be opened, or it has no default
// value), its "more data" (the value does not fit its area), and "path not
// found" (the current directory cannot be named).
constexpr int kLaunchKeyNotFound = 2;
constexpr int kLaunchValueTooLong = 234;
constexpr int kLaunchNoCurrentDirectory = 3;

// `directory` followed by "install.ini", with exactly one "/" between them.
std::string install_description_path(const std::string& directory);

// Looks up the Application Manager and starts it on the installation
// description without waiting. Returns the exit code: one of the kLaunch
// codes when nothing was started, otherwise the start's result (greater
// than 32 on success, 2, 5 or 8 on failure).
int launcher_main();

}  // namespace fwk

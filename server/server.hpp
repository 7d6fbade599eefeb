// The running server: everything the program keeps while it serves, in one
// object that the console thread owns. The server thread runs `loop` over
// `site` and `listener`; the two threads share only the stop request (kept
// by the loop) and the status log. Nothing of the server lives outside it.
#pragma once

#include <memory>

#include "core/site.hpp"
#include "core/status_log.hpp"
#include "forms/guess_throttle.hpp"
#include "forms/password_hash.hpp"
#include "http/listener.hpp"
#include "http/private_files.hpp"
#include "http/server_loop.hpp"
#include "http/survey_table.hpp"
#include "platform/cmdline.hpp"
#include "platform/instance.hpp"
#include "platform/signals.hpp"
#include "platform/thread.hpp"

namespace fwk {

struct Server {
  CommandLine options;
  ShutdownSignals signals;
  InstanceLock instance;
  StatusLog log;
  PrivateFiles private_files;
  // Failed password checks by client address, and the passwords found to
  // match a hashed key.
  GuessThrottle guesses;
  VerifiedPasswords verified_passwords;
  // The installed surveys as the server thread lists them (the index page).
  SurveyList surveys;
  // Points at the log, the private-file record, the guess throttle and the
  // loop's stop request.
  SiteContext site;
  Listener listener;
  ServerLoop loop;
  std::unique_ptr<Thread> thread;  // the server thread, while it runs
  uint32_t random_counter = 0;     // behind the scripts' random()
  // False with --no-browser or --headless: URLs are printed, never opened.
  bool browser_allowed = true;
};

}  // namespace fwk

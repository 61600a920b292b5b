// The commands of kxf-host. Each returns the process exit code: 0 done, 1 something failed.
#pragma once

#include <string>
#include <vector>

#include "Session.h"

namespace kxfhost {

int listDevices(Session &session);
int showInfo(Session &session, const std::string &devName);
int listFiles(Session &session, const std::string &devName);
int listContainers(Session &session, const std::string &devName);
int verifyPin(Session &session, const std::string &devName, const std::string &pin);

// The guided end-to-end run; the session is loaded but not initialised.
int runDemo(Session &session, const Options &options, const std::string &pin);

} // namespace kxfhost

// The command line: one table of options and one table of commands drive parsing, dispatch and help.
#pragma once

#include <string>
#include <vector>

#include "UKeyAdaptor.h"

namespace kxfhost {

class Context;

// Exit status of the tool.
enum Exit { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// Everything the command line can say; command options stay empty where a command takes none.
struct Options {
    std::string adaptorPath;
    std::string typeName = "ukeyskf";
    std::string vendorPath;
    std::string device;
    bool trace = false;
    std::string traceFile;
    bool json = false;
    bool yes = false;
    std::string pinFile;
    std::vector<std::string> pinEnv;

    bool admin = false;
    bool exchange = false;
    bool der = false;
    std::string in = "-";
    std::string out;
    std::string sig;
    std::string pubkey;
    std::string keyFile;
    std::string hash;
    std::string id = "1234567812345678"; // the default SM2 signer identity
    std::string app;
    std::string folder;
    std::string name;
    std::string serial;
    std::string label;
    std::string readRights = "anyone";
    std::string writeRights = "user";
    unsigned bits = 2048;
    unsigned offset = 0;

    std::string command;           // the command's name as the table has it
    std::vector<std::string> args; // the command's positional arguments
};

enum class Needs {
    Nothing, // no adaptor at all
    Loaded,  // the adaptor loaded, not initialised
    Sdk,     // the adaptor loaded and initialised
    Device,  // and a device connected
};

using Handler = int (*)(Context &);

struct Command {
    const char *name;    // one or two words: "devices", "pin verify"
    const char *args;    // positional arguments as help shows them; [X] is optional
    const char *options; // command options it accepts, comma-separated long names
    const char *help;
    Needs needs;
    Handler run;
};

const std::vector<Command> &commands();
bool isKnownType(const std::string &name);

// The trace sink the options ask for (standard error or --trace-file), or null without tracing.
KXF_LogCallback traceCallback(const Options &options);

} // namespace kxfhost

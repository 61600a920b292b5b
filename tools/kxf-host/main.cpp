// kxf-host: drives a token through the adaptor exactly as an application does.
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "Platform.h"
#include "Session.h"

using namespace kxfhost;

namespace {

constexpr int kUsageError = 2;
constexpr char kDefaultPin[] = "123456";

void printUsage(FILE *out)
{
    std::fprintf(out,
                 "Usage: kxf-host [OPTIONS] COMMAND [ARGS]\n"
                 "\n"
                 "Loads the token adaptor by path, takes its 65-entry table from KXF_Load and drives\n"
                 "a token through that table only.\n"
                 "\n"
                 "Options:\n"
                 "  --adaptor PATH   adaptor library (default: <program dir>/../lib/libUKeyAdaptor.so)\n"
                 "  --type NAME      adaptor type for KXF_Init_SDK (default: ukeyskf)\n"
                 "  --vendor PATH    vendor SKF library (default: <program dir>/../lib/libskfsoft.so,\n"
                 "                   the bundled software token)\n"
                 "  --trace          print the adaptor's trace lines (level and text) as they arrive\n"
                 "  -h, --help       show this help\n"
                 "\n"
                 "Commands:\n"
                 "  devices               list devices with their serial numbers\n"
                 "  info [DEV]            label, serial number, space and the DEVINFO record\n"
                 "  files [DEV]           list the files of the token's application\n"
                 "  containers [DEV]      list the containers\n"
                 "  verify-pin [DEV] PIN  verify the user PIN\n"
                 "  demo [--pin PIN]      guided end-to-end run: PIN, SM2 key pair, SM3, signature,\n"
                 "                        SM4 session key, file, clean-up (default PIN %s)\n"
                 "\n"
                 "DEV is a device name as 'devices' lists it; without it the first device is used.\n"
                 "Exit status: 0 all went well, 1 a step or a library failed, 2 bad arguments.\n",
                 kDefaultPin);
}

int usageError(const std::string &message)
{
    std::fprintf(stderr, "kxf-host: %s\n\n", message.c_str());
    printUsage(stderr);
    return kUsageError;
}

// Accepts "--name VALUE" and "--name=VALUE"; advances i past what it used.
bool optionValue(const std::vector<std::string> &args, size_t &i, const char *name, std::string &value,
                 std::string &error)
{
    const std::string &arg = args[i];
    const size_t n = std::strlen(name);
    if (arg.compare(0, n, name) != 0)
        return false;
    if (arg.size() > n && arg[n] == '=') {
        value = arg.substr(n + 1);
    } else if (arg.size() == n) {
        if (i + 1 >= args.size()) {
            error = std::string(name) + " needs a value";
            return true;
        }
        value = args[++i];
    } else {
        return false;
    }
    if (value.empty())
        error = std::string(name) + " needs a value";
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const std::string exeDir = executableDir(argc > 0 ? argv[0] : nullptr);
    Options options;
    options.adaptorPath = defaultAdaptorPath(exeDir);
    options.vendorPath = defaultVendorPath(exeDir);

    size_t i = 0;
    std::string error;
    for (; i < args.size() && args[i].compare(0, 1, "-") == 0; ++i) {
        if (args[i] == "-h" || args[i] == "--help") {
            printUsage(stdout);
            return 0;
        }
        if (args[i] == "--trace") {
            options.trace = true;
            continue;
        }
        if (!optionValue(args, i, "--adaptor", options.adaptorPath, error) &&
            !optionValue(args, i, "--type", options.typeName, error) &&
            !optionValue(args, i, "--vendor", options.vendorPath, error))
            return usageError("unknown option " + args[i]);
        if (!error.empty())
            return usageError(error);
    }
    if (i >= args.size())
        return usageError("no command given");
    const std::string command = args[i++];
    std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());

    std::string pin = kDefaultPin;
    std::string devName;
    if (command == "demo") {
        for (size_t k = 0; k < rest.size(); ++k) {
            if (!optionValue(rest, k, "--pin", pin, error))
                return usageError("demo takes only --pin PIN, not " + rest[k]);
            if (!error.empty())
                return usageError(error);
        }
    } else if (command == "devices") {
        if (!rest.empty())
            return usageError("devices takes no arguments");
    } else if (command == "info" || command == "files" || command == "containers") {
        if (rest.size() > 1)
            return usageError(command + " takes at most one device name");
        devName = rest.empty() ? "" : rest[0];
    } else if (command == "verify-pin") {
        if (rest.empty() || rest.size() > 2)
            return usageError("verify-pin takes [DEV] PIN");
        devName = rest.size() == 2 ? rest[0] : "";
        pin = rest.back();
    } else {
        return usageError("unknown command " + command);
    }

    if (!fileExists(options.vendorPath)) {
        std::fprintf(stderr, "kxf-host: vendor library %s not found (use --vendor PATH)\n", options.vendorPath.c_str());
        return 1;
    }
    Session session;
    if (!session.load(options.adaptorPath, error)) {
        std::fprintf(stderr, "kxf-host: cannot load the adaptor %s: %s (use --adaptor PATH)\n",
                     options.adaptorPath.c_str(), error.c_str());
        return 1;
    }
    if (command == "demo")
        return runDemo(session, options, pin);

    const uint32_t rc = session.init(options);
    if (rc != SAR_OK) {
        std::fprintf(stderr, "kxf-host: KXF_Init_SDK(\"%s\", \"%s\") failed with 0x%08X\n", options.typeName.c_str(),
                     options.vendorPath.c_str(), static_cast<unsigned>(rc));
        return 1;
    }
    if (command == "devices")
        return listDevices(session);
    if (command == "info")
        return showInfo(session, devName);
    if (command == "files")
        return listFiles(session, devName);
    if (command == "containers")
        return listContainers(session, devName);
    return verifyPin(session, devName, pin);
}

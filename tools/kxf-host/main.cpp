// kxf-host: drives a token through the adaptor's table as an application does.
#include <getopt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Commands.h"
#include "Context.h"
#include "Platform.h"
#include "ResultCodes.h"

using namespace kxfhost;

namespace {

struct OptionSpec {
    const char *name;
    int shortName;     // a letter, or a value above 255 for long-only options
    const char *value; // argument as help shows it, or null for a flag
    const char *help;
    bool global;
    void (*set)(Options &, const char *);
};

unsigned toUnsigned(const char *text)
{
    return static_cast<unsigned>(std::strtoul(text, nullptr, 0));
}

// clang-format off
const OptionSpec kOptions[] = {
    {"adaptor", 256, "PATH", "adaptor library (default: beside the program, ../lib/libUKeyAdaptor.so)", true, [](Options &o, const char *v) { o.adaptorPath = v; }},
    {"type", 't', "NAME", "type name for KXF_Init_SDK (default ukeyskf; `types` lists them)", true, [](Options &o, const char *v) { o.typeName = v; }},
    {"vendor", 257, "PATH", "vendor SKF library (default: the bundled software token)", true, [](Options &o, const char *v) { o.vendorPath = v; }},
    {"device", 'd', "NAME", "device to use (default: the first one listed)", true, [](Options &o, const char *v) { o.device = v; }},
    {"pin-file", 258, "FILE", "read PINs and keys from FILE, one a line, in the order asked", true, [](Options &o, const char *v) { o.pinFile = v; }},
    {"pin-env", 259, "VAR", "take the next PIN from environment variable VAR (repeatable)", true, [](Options &o, const char *v) { o.pinEnv.push_back(v); }},
    {"json", 'j', nullptr, "print the command's data as one JSON document", true, [](Options &o, const char *) { o.json = true; }},
    {"yes", 'y', nullptr, "do not ask before format or initialise", true, [](Options &o, const char *) { o.yes = true; }},
    {"trace", 260, nullptr, "print the adaptor's trace lines on standard error", true, [](Options &o, const char *) { o.trace = true; }},
    {"trace-file", 261, "FILE", "append the adaptor's trace lines to FILE", true, [](Options &o, const char *v) { o.traceFile = v; }},
    {"admin", 262, nullptr, "the administrator PIN instead of the user PIN", false, [](Options &o, const char *) { o.admin = true; }},
    {"exchange", 263, nullptr, "the exchange key or certificate instead of the signing one", false, [](Options &o, const char *) { o.exchange = true; }},
    {"in", 'i', "FILE", "input file (default: standard input)", false, [](Options &o, const char *v) { o.in = v; }},
    {"out", 'o', "FILE", "output file", false, [](Options &o, const char *v) { o.out = v; }},
    {"der", 264, nullptr, "DER instead of PEM", false, [](Options &o, const char *) { o.der = true; }},
    {"sig", 265, "FILE", "signature file (DER for SM2, raw for RSA)", false, [](Options &o, const char *v) { o.sig = v; }},
    {"pubkey", 266, "FILE", "public key or certificate, PEM or DER", false, [](Options &o, const char *v) { o.pubkey = v; }},
    {"hash", 267, "ALG", "sm3, sha1 or sha256", false, [](Options &o, const char *v) { o.hash = v; }},
    {"id", 268, "ID", "SM2 signer identity (default 1234567812345678)", false, [](Options &o, const char *v) { o.id = v; }},
    {"bits", 269, "N", "RSA key size (default 2048)", false, [](Options &o, const char *v) { o.bits = toUnsigned(v); }},
    {"offset", 270, "N", "file offset (default 0)", false, [](Options &o, const char *v) { o.offset = toUnsigned(v); }},
    {"read-rights", 271, "WHO", "who may read: never, admin, user, anyone (default anyone)", false, [](Options &o, const char *v) { o.readRights = v; }},
    {"write-rights", 272, "WHO", "who may write (default user)", false, [](Options &o, const char *v) { o.writeRights = v; }},
    {"key", 273, "FILE", "wrapped session key file", false, [](Options &o, const char *v) { o.keyFile = v; }},
    {"app", 274, "NAME", "application to create (default: the adaptor's)", false, [](Options &o, const char *v) { o.app = v; }},
    {"folder", 275, "DIR", "folder of the new software token", false, [](Options &o, const char *v) { o.folder = v; }},
    {"name", 276, "NAME", "device name of the new software token", false, [](Options &o, const char *v) { o.name = v; }},
    {"serial", 277, "TEXT", "serial number of the new software token", false, [](Options &o, const char *v) { o.serial = v; }},
    {"label", 278, "TEXT", "label of the new software token", false, [](Options &o, const char *v) { o.label = v; }},
    {"help", 'h', nullptr, "show help (with a command: that command's help)", true, nullptr},
    {"version", 'V', nullptr, "show the version", true, nullptr},
};
// clang-format on

std::string optionLine(const OptionSpec &spec)
{
    std::string left = spec.shortName < 256 ? std::string("-") + static_cast<char>(spec.shortName) + ", " : "    ";
    left += std::string("--") + spec.name + (spec.value ? std::string(" ") + spec.value : "");
    left.resize(std::max<size_t>(left.size() + 1, 24), ' ');
    return "  " + left + spec.help + "\n";
}

void printUsage(FILE *out)
{
    std::string text = "Usage: kxf-host [OPTIONS] COMMAND [ARGS]\n\n"
                       "Loads the token adaptor, takes its table from KXF_Load and drives a key through it.\n\n"
                       "Options:\n";
    for (const auto &spec : kOptions)
        if (spec.global)
            text += optionLine(spec);
    text += "\nCommands:\n";
    for (const auto &c : commands()) {
        std::string left = std::string(c.name) + (*c.args ? std::string(" ") + c.args : "");
        left.resize(std::max<size_t>(left.size() + 1, 30), ' ');
        text += "  " + left + c.help + "\n";
    }
    text += "\n`kxf-host help COMMAND` shows a command's options. PINs are asked on the terminal without\n"
            "echo, or read with --pin-file or --pin-env. Exit status: 0 done, 1 failed, 2 bad arguments.\n";
    std::fputs(text.c_str(), out);
}

std::vector<std::string> split(const char *list)
{
    std::vector<std::string> names;
    std::stringstream in(list);
    for (std::string name; std::getline(in, name, ',');)
        if (!name.empty())
            names.push_back(name);
    return names;
}

void printCommandHelp(const Command &c)
{
    std::printf("Usage: kxf-host [OPTIONS] %s%s%s\n\n%s.\n", c.name, *c.args ? " " : "", c.args, c.help);
    const auto accepted = split(c.options);
    if (!accepted.empty())
        std::printf("\nOptions:\n");
    for (const auto &name : accepted)
        for (const auto &spec : kOptions)
            if (name == spec.name)
                std::fputs(optionLine(spec).c_str(), stdout);
    std::printf("\nGlobal options: kxf-host --help.\n");
}

int usageError(const std::string &message)
{
    std::fprintf(stderr, "kxf-host: %s (kxf-host --help shows the usage)\n", message.c_str());
    return kExitUsage;
}

// The table row whose words start the positional arguments; the longest match wins.
const Command *findCommand(const std::vector<std::string> &words, size_t &used)
{
    const Command *found = nullptr;
    for (const auto &c : commands()) {
        std::stringstream in(c.name);
        std::vector<std::string> parts;
        for (std::string w; in >> w;)
            parts.push_back(w);
        if (parts.size() <= words.size() && std::equal(parts.begin(), parts.end(), words.begin()) &&
            (!found || parts.size() > used)) {
            found = &c;
            used = parts.size();
        }
    }
    return found;
}

std::string subcommands(const std::string &group)
{
    std::string names;
    for (const auto &c : commands())
        if (std::string(c.name).rfind(group + " ", 0) == 0)
            names += (names.empty() ? "" : ", ") + std::string(c.name).substr(group.size() + 1);
    return names;
}

bool argumentCountFits(const Command &c, size_t count)
{
    size_t required = 0, optional = 0;
    std::stringstream in(c.args);
    for (std::string w; in >> w;)
        (w[0] == '[' ? optional : required)++;
    return count >= required && count <= required + optional;
}

// Renders data for a person: scalars as they are, lists one item a line, records as tab-separated
// values a line, objects as "key value" lines.
void printText(const nlohmann::ordered_json &data, const std::string &prefix = {})
{
    if (data.is_null())
        return;
    if (data.is_string()) {
        std::printf("%s\n", data.get<std::string>().c_str());
    } else if (data.is_array()) {
        for (const auto &item : data) {
            if (!item.is_object()) {
                printText(item);
                continue;
            }
            std::string line;
            for (const auto &value : item)
                line += (line.empty() ? "" : "\t") + (value.is_string() ? value.get<std::string>() : value.dump());
            std::printf("%s\n", line.c_str());
        }
    } else if (data.is_object()) {
        for (const auto &[key, value] : data.items()) {
            if (value.is_object())
                printText(value, prefix + key + ".");
            else
                std::printf("%-24s %s\n", (prefix + key).c_str(),
                            value.is_string() ? value.get<std::string>().c_str() : value.dump().c_str());
        }
    } else {
        std::printf("%s\n", data.dump().c_str());
    }
}

FILE *traceOut = nullptr;

void KXF_CALL writeTrace(int32_t level, const char *text)
{
    std::fprintf(traceOut, "trace %d %s\n", static_cast<int>(level), text ? text : "");
    std::fflush(traceOut);
}

// Loads the adaptor and, as the command needs, initialises it and connects the device.
int prepare(Context &ctx, Needs needs)
{
    const Options &o = ctx.opt;
    if (needs == Needs::Nothing)
        return kExitOk;
    if (!fileExists(o.vendorPath))
        return ctx.error("vendor library " + o.vendorPath + " not found; give its path with --vendor PATH");
    if (!isKnownType(o.typeName))
        return ctx.error("unknown type \"" + o.typeName + "\"; `kxf-host types` lists the names --type takes");
    std::string why;
    if (!ctx.session.load(o.adaptorPath, why))
        return ctx.error("cannot load the adaptor " + o.adaptorPath + ": " + why +
                         "; give its path with --adaptor PATH");
    if (needs == Needs::Loaded)
        return kExitOk;
    const uint32_t rc = ctx.session.init(o.typeName, o.vendorPath, traceCallback(o));
    if (rc != SAR_OK)
        return ctx.failed("KXF_Init_SDK", rc, "type \"" + o.typeName + "\", library " + o.vendorPath);
    if (needs == Needs::Device && !ctx.connect())
        return kExitFailed;
    return kExitOk;
}

} // namespace

namespace kxfhost {

KXF_LogCallback traceCallback(const Options &options)
{
    if (!options.traceFile.empty() && !traceOut)
        traceOut = std::fopen(options.traceFile.c_str(), "a");
    if (!traceOut && options.trace)
        traceOut = stderr;
    return traceOut ? &writeTrace : nullptr;
}

} // namespace kxfhost

int main(int argc, char **argv)
{
    const std::string exeDir = executableDir(argc > 0 ? argv[0] : nullptr);
    Options options;
    options.adaptorPath = defaultAdaptorPath(exeDir);
    options.vendorPath = defaultVendorPath(exeDir);

    std::vector<option> longOptions;
    std::string shortOptions;
    for (const auto &spec : kOptions) {
        longOptions.push_back({spec.name, spec.value ? required_argument : no_argument, nullptr, spec.shortName});
        if (spec.shortName < 256)
            shortOptions += std::string(1, static_cast<char>(spec.shortName)) + (spec.value ? ":" : "");
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});

    bool help = false;
    std::set<std::string> seen;
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, shortOptions.c_str(), longOptions.data(), nullptr)) != -1;) {
        if (c == '?' || c == ':')
            return usageError(std::string("option ") + argv[optind - 1] + " is unknown or needs a value");
        const OptionSpec *spec = nullptr;
        for (const auto &s : kOptions)
            spec = s.shortName == c ? &s : spec;
        if (c == 'V') {
            std::printf("kxf-host %s\n", KXF_HOST_VERSION);
            return kExitOk;
        }
        if (c == 'h') {
            help = true;
            continue;
        }
        if (spec->value && *optarg == '\0')
            return usageError(std::string("--") + spec->name + " needs a value");
        spec->set(options, optarg);
        if (!spec->global)
            seen.insert(spec->name);
    }
    const std::vector<std::string> words(argv + optind, argv + argc);
    if (words.empty()) {
        if (help) {
            printUsage(stdout);
            return kExitOk;
        }
        return usageError("no command given");
    }
    size_t used = 0;
    const bool helpCommand = words[0] == "help";
    const std::vector<std::string> named(words.begin() + (helpCommand ? 1 : 0), words.end());
    if (helpCommand && named.empty()) {
        printUsage(stdout);
        return kExitOk;
    }
    const Command *command = findCommand(named, used);
    if (!command) {
        const std::string subs = subcommands(named[0]);
        return usageError(subs.empty() ? "unknown command \"" + named[0] + "\"" : named[0] + " needs one of: " + subs);
    }
    if (help || helpCommand) {
        printCommandHelp(*command);
        return kExitOk;
    }
    options.command = command->name;
    options.args.assign(named.begin() + static_cast<std::ptrdiff_t>(used), named.end());
    if (!argumentCountFits(*command, options.args.size()))
        return usageError(std::string(command->name) + " takes " + (*command->args ? command->args : "no arguments"));
    const auto accepted = split(command->options);
    for (const auto &name : seen)
        if (std::find(accepted.begin(), accepted.end(), name) == accepted.end())
            return usageError("--" + name + " does not apply to " + command->name);

    Context ctx(options);
    int status = prepare(ctx, command->needs);
    if (status == kExitOk)
        status = command->run(ctx);
    if (options.json) {
        if (!ctx.out.is_null())
            std::printf("%s\n", ctx.out.dump(2).c_str());
    } else if (!ctx.printed) {
        if (!ctx.text.empty())
            std::fputs(ctx.text.c_str(), stdout);
        else if (status == kExitOk)
            printText(ctx.out);
    }
    std::fflush(stdout);
    return status;
}

#include "Context.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>

#ifndef _WIN32
#include <termios.h>
#include <unistd.h>
#endif

#include "ResultCodes.h"

namespace kxfhost {

namespace {

std::string chomp(std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

#ifndef _WIN32
// Reads one line from the terminal on standard input with echo off; false when it is no terminal.
bool readHidden(const std::string &prompt, std::string &value)
{
    if (!isatty(STDIN_FILENO))
        return false;
    termios saved{};
    const bool haveTerm = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (haveTerm) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    // Asked only now: what is typed after the prompt must not be flushed with the earlier input.
    std::fprintf(stderr, "%s: ", prompt.c_str());
    std::fflush(stderr);
    char buffer[256] = {};
    const bool got = std::fgets(buffer, sizeof buffer, stdin) != nullptr;
    if (haveTerm)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    value = chomp(buffer);
    return got;
}
#else
bool readHidden(const std::string &, std::string &)
{
    return false;
}
#endif

} // namespace

bool Secrets::next(const std::string &prompt, std::string &value, std::string &error)
{
    const size_t index = used_++;
    if (!options_.pinFile.empty()) {
        if (!fileRead_) {
            std::ifstream in(options_.pinFile);
            if (!in) {
                error = "cannot read the PIN file " + options_.pinFile;
                return false;
            }
            for (std::string line; std::getline(in, line);)
                lines_.push_back(chomp(line));
            fileRead_ = true;
        }
        if (index < lines_.size()) {
            value = lines_[index];
            return true;
        }
        error = options_.pinFile + " has no line " + std::to_string(index + 1) + " for the " + prompt;
        return false;
    }
    if (!options_.pinEnv.empty()) {
        const char *fromEnv = index < options_.pinEnv.size() ? std::getenv(options_.pinEnv[index].c_str()) : nullptr;
        if (fromEnv) {
            value = fromEnv;
            return true;
        }
        error = index < options_.pinEnv.size() ? "environment variable " + options_.pinEnv[index] + " is not set"
                                               : "give one --pin-env for the " + prompt + " too";
        return false;
    }
    if (readHidden(prompt, value))
        return true;
    error = "no " + prompt + ": run on a terminal, or give --pin-file FILE or --pin-env VAR";
    return false;
}

Context::~Context()
{
    if (connected_)
        session.kxf().DisConnectDev(dev);
}

int Context::error(const std::string &message) const
{
    std::fprintf(stderr, "kxf-host: %s\n", message.c_str());
    return kExitFailed;
}

int Context::failed(const char *entry, uint32_t rc, const std::string &note) const
{
    return error(std::string(entry) + ": " + describeResult(rc) + (note.empty() ? "" : "; " + note));
}

bool Context::secret(const std::string &prompt, std::string &value)
{
    std::string why;
    if (secrets_.next(prompt, value, why))
        return true;
    error(why);
    return false;
}

bool Context::login(bool asAdmin)
{
    std::string pin;
    if (!secret(asAdmin ? "administrator PIN" : "user PIN", pin))
        return false;
    uint32_t retry = 0;
    const uint32_t rc = session.kxf().VerifyPIN(dev, asAdmin ? SKF_ADMIN_TYPE : SKF_USER_TYPE, pin.c_str(), &retry);
    if (rc == SAR_OK)
        return true;
    failed("KXF_VerifyPIN", rc, rc == SAR_PIN_INCORRECT ? std::to_string(retry) + " tries left" : std::string());
    return false;
}

bool Context::confirm(const std::string &question)
{
    if (opt.yes)
        return true;
#ifndef _WIN32
    if (isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "%s Type yes to go on: ", question.c_str());
        std::fflush(stderr);
        char answer[16] = {};
        if (std::fgets(answer, sizeof answer, stdin) && chomp(answer) == "yes")
            return true;
        error("not confirmed; nothing was changed");
        return false;
    }
#endif
    error(question + " Give --yes to confirm when not on a terminal.");
    return false;
}

bool Context::readInput(const std::string &path, Bytes &data) const
{
    if (path == "-") {
        data.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    std::ifstream in(path, std::ios::binary);
    try {
        if (in) {
            data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            return true;
        }
    } catch (const std::ios_base::failure &) { // a folder opens, and reading it throws
    }
    error("cannot read " + path);
    return false;
}

bool Context::writeOutput(const std::string &path, const Bytes &data) const
{
    std::ofstream outFile(path, std::ios::binary | std::ios::trunc);
    if (!outFile.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(data.size()))) {
        error("cannot write " + path);
        return false;
    }
    return true;
}

bool Context::connect()
{
    std::vector<std::string> devices;
    uint32_t rc = session.enumDevices(devices);
    if (rc != SAR_OK) {
        failed("KXF_EnumDev", rc);
        return false;
    }
    devName = opt.device;
    if (devName.empty() && devices.empty()) {
        error("no device present; plug in a key, or check --vendor and --type");
        return false;
    }
    if (devName.empty())
        devName = devices.front();
    rc = session.connect(devName, dev);
    if (rc == SAR_OK) {
        connected_ = true;
        return true;
    }
    if (std::find(devices.begin(), devices.end(), devName) == devices.end())
        error("no device named \"" + devName + "\"; `kxf-host devices` lists those present");
    else
        failed("KXF_ConnectDev", rc);
    return false;
}

Container::Container(Context &ctx, const std::string &name, bool create) : ctx_(ctx)
{
    uint32_t rc = ctx.session.kxf().OpenContainer(ctx.dev, name.c_str(), &handle_);
    if (rc != SAR_OK && create)
        rc = ctx.session.kxf().CreateContainer(ctx.dev, name.c_str(), &handle_);
    if (rc != SAR_OK) {
        handle_ = nullptr;
        ctx.failed(create ? "KXF_CreateContainer" : "KXF_OpenContainer", rc, "container \"" + name + "\"");
        return;
    }
    rc = ctx.session.kxf().GetContainerType(ctx.dev, handle_, &type_);
    if (rc != SAR_OK)
        ctx.failed("KXF_GetContainerType", rc);
}

Container::~Container()
{
    if (handle_)
        ctx_.session.kxf().CloseContainer(ctx_.dev, handle_);
}

} // namespace kxfhost

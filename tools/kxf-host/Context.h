// What a command runs with: the options, the session, the connected device, its secrets and its output.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "Cli.h"
#include "KeyCodec.h"
#include "Session.h"

namespace kxfhost {

// Secrets in the order a command asks for them: lines of --pin-file, else each --pin-env in turn,
// else the terminal without echo.
class Secrets {
public:
    explicit Secrets(const Options &options) : options_(options) {}
    bool next(const std::string &prompt, std::string &value, std::string &error);

private:
    const Options &options_;
    std::vector<std::string> lines_;
    bool fileRead_ = false;
    size_t used_ = 0;
};

class Context {
public:
    explicit Context(Options &options) : opt(options), secrets_(options) {}
    ~Context();
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;

    Options &opt;
    Session session;
    uint32_t dev = 0;
    std::string devName;
    nlohmann::ordered_json out; // the command's data, printed as JSON or as text
    std::string text;           // text output that replaces the rendering of out
    bool printed = false;       // the command wrote its own standard output

    // One line on standard error; each returns kExitFailed.
    int error(const std::string &message) const;
    int failed(const char *entry, uint32_t rc, const std::string &note = {}) const;

    bool secret(const std::string &prompt, std::string &value);
    // Verifies the user PIN (the administrator PIN with --admin when asAdmin).
    bool login(bool asAdmin = false);
    bool confirm(const std::string &question);

    bool readInput(const std::string &path, Bytes &data) const;
    bool writeOutput(const std::string &path, const Bytes &data) const;

    bool connect();

private:
    Secrets secrets_;
    bool connected_ = false;
};

// An open container, closed when it goes out of scope.
class Container {
public:
    Container(Context &ctx, const std::string &name, bool create = false);
    ~Container();
    Container(const Container &) = delete;
    Container &operator=(const Container &) = delete;
    bool ok() const { return handle_ != nullptr; }
    HCONTAINER handle() const { return handle_; }
    uint32_t type() const { return type_; } // 0 empty, 1 RSA, 2 SM2

private:
    Context &ctx_;
    HCONTAINER handle_ = nullptr;
    uint32_t type_ = 0;
};

constexpr uint32_t kContainerRsa = 1;
constexpr uint32_t kContainerSm2 = 2;

} // namespace kxfhost

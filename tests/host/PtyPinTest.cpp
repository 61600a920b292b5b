// kxf-host reads a PIN from its terminal without echo: run it on a pseudo-terminal, answer the
// prompt, and check that the PIN never comes back while the verification's outcome does.
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

// Reads what the terminal shows until `until` appears (or, with an empty one, until the end).
std::string readUntil(int fd, const std::string &until, std::string seen = {})
{
    char buffer[512];
    pollfd p{fd, POLLIN, 0};
    while ((until.empty() || seen.find(until) == std::string::npos) && poll(&p, 1, 20000) > 0) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        seen.append(buffer, static_cast<size_t>(n));
    }
    return seen;
}

struct Case {
    const char *pin;
    int exitCode;
    const char *shown;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s KXF-HOST MOCK-VENDOR\n", argv[0]);
        return 2;
    }
    const Case cases[] = {{"123456", 0, "user PIN verified"}, {"000000", 1, "SAR_PIN_INCORRECT"}};
    int failures = 0;
    for (const Case &c : cases) {
        int master = -1;
        const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
        if (child == 0) {
            execl(argv[1], argv[1], "--vendor", argv[2], "pin", "verify", static_cast<char *>(nullptr));
            _exit(127);
        }
        std::string shown = readUntil(master, "user PIN: ");
        const std::string answer = std::string(c.pin) + "\n";
        if (write(master, answer.data(), answer.size()) != static_cast<ssize_t>(answer.size()))
            shown += "(cannot answer the prompt)";
        shown = readUntil(master, "", shown);
        int status = 0;
        waitpid(child, &status, 0);
        close(master);
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (code != c.exitCode || shown.find(c.shown) == std::string::npos || shown.find(c.pin) != std::string::npos) {
            std::fprintf(stderr, "PIN %s: exit %d (expected %d), the terminal showed:\n%s\n", c.pin, code, c.exitCode,
                         shown.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

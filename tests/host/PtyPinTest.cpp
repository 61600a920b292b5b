// kxf-host reads a PIN from its terminal without echo: run it on a pseudo-terminal, answer the
// prompt, and check that the PIN never comes back while the verification's outcome does.
// Arguments: the kxf-host executable and the mock vendor library.
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <tuple>

namespace {

// Reads what the terminal shows until `until` appears (or, with an empty one, until the end).
void readUntil(int fd, const char *until, std::string &seen)
{
    char buffer[512];
    pollfd p{fd, POLLIN, 0};
    ssize_t n = 0;
    while ((!*until || seen.find(until) == std::string::npos) && poll(&p, 1, 20000) > 0 &&
           (n = read(fd, buffer, sizeof buffer)) > 0)
        seen.append(buffer, static_cast<size_t>(n));
}

} // namespace

int main(int, char **argv)
{
    int failures = 0;
    for (const auto &[pin, exitCode, outcome] :
         {std::make_tuple("123456", 0, "user PIN verified"), std::make_tuple("000000", 1, "SAR_PIN_INCORRECT")}) {
        int master = -1;
        const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
        if (child == 0) {
            execl(argv[1], argv[1], "--vendor", argv[2], "pin", "verify", static_cast<char *>(nullptr));
            _exit(127);
        }
        std::string shown;
        readUntil(master, "user PIN: ", shown);
        const std::string answer = std::string(pin) + "\n";
        if (write(master, answer.data(), answer.size()) != static_cast<ssize_t>(answer.size()))
            shown += "(cannot answer the prompt)";
        readUntil(master, "", shown);
        int status = 0;
        waitpid(child, &status, 0);
        close(master);
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (code != exitCode || shown.find(outcome) == std::string::npos || shown.find(pin) != std::string::npos) {
            std::fprintf(stderr, "PIN %s: exit %d (expected %d), the terminal showed:\n%s\n", pin, code, exitCode,
                         shown.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

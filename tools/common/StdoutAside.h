// Sends the process's standard output to standard error for one scope. The adaptor prints its
// loader diagnostic on standard output while it loads a vendor library; programs whose standard
// output carries data (a certificate, a signature, JSON) keep it clean with this.
#pragma once

#include <unistd.h>

#include <cstdio>

class StdoutAside {
public:
    StdoutAside() : saved_(dup(1))
    {
        std::fflush(stdout);
        if (saved_ >= 0)
            dup2(2, 1);
    }
    ~StdoutAside()
    {
        std::fflush(stdout);
        if (saved_ >= 0) {
            dup2(saved_, 1);
            close(saved_);
        }
    }
    StdoutAside(const StdoutAside &) = delete;
    StdoutAside &operator=(const StdoutAside &) = delete;

private:
    int saved_;
};

#pragma once

#include <cstdlib>
#include <string>

#include <unistd.h>

// SoftHSM2's module: the one the build found, else the usual install places.
inline std::string softHsmLibraryPath()
{
    const char *candidates[] = {
        std::getenv("SOFTHSM2_MODULE"),
        SOFTHSM2_BUILD_PATH,
        "/usr/lib/softhsm/libsofthsm2.so",
        "/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so",
        "/usr/lib/aarch64-linux-gnu/softhsm/libsofthsm2.so",
        "/usr/lib64/softhsm/libsofthsm2.so",
        "/usr/lib64/pkcs11/libsofthsm2.so",
        "/usr/local/lib/softhsm/libsofthsm2.so",
    };
    for (const char *path : candidates) {
        if (path && *path && ::access(path, R_OK) == 0)
            return path;
    }
    return {};
}

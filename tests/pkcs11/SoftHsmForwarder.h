#pragma once
#include <string>
#include <vector>

// The test vendor library's PKCS#11 side as a test sees it through its p11fwd().
struct P11Fwd {
    bool absurdLengths = false;     // length queries of CKA_VALUE answer 2^31, of the slot list 2^64 - 1
    bool reverseFind = false;       // searches hand out what they find in the opposite order
    bool endlessFind = false;       // searches hand out their first object again instead of ending
    unsigned long last = 0;         // the result of the latest call forwarded to SoftHSM2
    int openSessions = 0;           // opened and not yet closed through this library
    std::vector<std::string> calls; // the functions called, by name
};
using PFN_p11fwd = P11Fwd *(*)();

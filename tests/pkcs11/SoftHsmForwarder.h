#pragma once

// Controls of the test vendor library's PKCS#11 side.
extern "C" {
// Length queries of CKA_VALUE answer 2^31 while on.
void p11fwd_setAbsurdValueLength(int on);
// Searches hand out what they find in the opposite order while on.
void p11fwd_setReverseFind(int on);
// The result of the latest call forwarded to SoftHSM2.
unsigned long p11fwd_lastResult();
// Sessions opened and not yet closed through this library.
int p11fwd_openSessions();
}

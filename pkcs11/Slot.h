// Slots, tokens, sessions and the module's state. One slot per device an adaptor copy enumerates;
// every call on a slot's device handle holds the slot's lock (one thread per device handle).
#ifndef UKEYP11_SLOT_H
#define UKEYP11_SLOT_H

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Adaptor.h"

namespace ukeyp11 {

using Bytes = std::vector<uint8_t>;

// An object as read from the key; `blob` is the key's public-key structure.
struct Object {
    CK_OBJECT_CLASS cls = CKO_DATA;
    CK_KEY_TYPE keyType = CKK_RSA;
    std::string container; // keys and certificates
    bool signing = true;   // signing or exchange pair
    std::string file;      // data objects
    Bytes blob;
    Bytes value; // certificate DER or file contents
};

enum OpKind { kSign, kVerify, kDecrypt, kDigest, kOpKinds };

struct Operation {
    bool active = false;
    CK_MECHANISM_TYPE mechanism = 0;
    CK_OBJECT_HANDLE key = 0;
    Bytes data; // parts gathered until the final call
};

struct Session {
    CK_SLOT_ID slot = 0;
    CK_FLAGS flags = 0;
    std::atomic<bool> closed{false}; // set by C_Finalize without the slot's lock
    bool finding = false;
    std::vector<CK_OBJECT_HANDLE> found;
    size_t foundAt = 0;
    Operation ops[kOpKinds];
};

constexpr CK_USER_TYPE kNobody = ~CK_USER_TYPE{0};

class Slot {
public:
    Slot(std::shared_ptr<Adaptor> a, std::string name) : adaptor(std::move(a)), device(std::move(name)) {}

    const std::shared_ptr<Adaptor> adaptor;
    const std::string device;
    std::mutex lock; // held for every use of `dev`

    // All below are guarded by `lock`.
    uint32_t dev = 0; // adaptor device handle, 0 while not connected
    CK_USER_TYPE user = kNobody;
    unsigned sessions = 0;
    std::map<std::string, CK_OBJECT_HANDLE> handles; // object identity -> handle, stable until C_Finalize
    std::map<CK_OBJECT_HANDLE, Object> objects;      // read from the key; dropped on login and logout
    bool loaded = false;

    CK_RV connect();
    void disconnect(); // also ends the login on the key
    CK_RV slotInfo(CK_SLOT_INFO *info);
    CK_RV tokenInfo(CK_TOKEN_INFO *info);
    CK_RV login(CK_USER_TYPE type, const std::string &pin);
    CK_RV logout();
    CK_RV setPin(const std::string &oldPin, const std::string &newPin);
    DEVINFO devInfo();
};

struct Module {
    std::mutex lock; // guards everything below
    bool initialized = false;
    // Shared so that a call already past the module lock keeps its slot alive through C_Finalize.
    std::vector<std::shared_ptr<Slot>> slots; // the slot id is the index
    std::map<CK_SESSION_HANDLE, std::shared_ptr<Session>> sessions;
    CK_SESSION_HANDLE nextSession = 1;
    std::atomic<CK_OBJECT_HANDLE> nextObject{1}; // taken while a slot is locked
};

Module &module();

// A session with its slot locked for the length of one call.
struct Held {
    std::shared_ptr<Slot> slot;
    std::shared_ptr<Session> session;
    std::unique_lock<std::mutex> guard;
};
CK_RV hold(CK_SESSION_HANDLE handle, Held &out);

// Copies text into a blank-padded fixed field.
void pad(CK_UTF8CHAR *field, size_t size, const std::string &text);

} // namespace ukeyp11

#endif

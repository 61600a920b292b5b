// Control surface of the scriptable vendor library: a simulated world of devices, applications,
// files and containers, a call log and per-function forced results. The library and the tests
// share this header; tests reach the library's one State through dlsym("mock_state").
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "kxf_result_codes.h"
#include "skf.h"

namespace mock {

// The project's result codes as constants: kSAR_FAIL, kSAR_PIN_INCORRECT, ...
#define MOCK_RESULT_CODE(name, value, meaning) constexpr uint32_t k##name = value;
KXF_RESULT_CODES(MOCK_RESULT_CODE)
#undef MOCK_RESULT_CODE

// Handle values are base + a running number per kind (first device 0x1001, first application 0x2001).
enum class Kind : uintptr_t { Device = 0x1000, Application = 0x2000, Container = 0x3000, Key = 0x4000 };

inline void *handleValue(Kind kind, uint32_t n)
{
    return reinterpret_cast<void *>(static_cast<uintptr_t>(kind) + n);
}

// Generated outputs are seed + index byte patterns; Encrypt/Decrypt and the ECC decryptions XOR with kXor.
constexpr uint8_t kXor = 0x5A;
enum Seed : uint8_t { kSeedRsaPublic = 0x10, kSeedEccPublic = 0x20, kSeedEccSignature = 0x30, kSeedCipherBlob = 0x50 };
constexpr uint8_t kSeedRandom = 0xA0;
inline uint8_t patternByte(uint8_t seed, size_t i)
{
    return static_cast<uint8_t>(seed + i);
}
constexpr uint32_t kCipherLength = 16; // CipherLen of the blobs SKF_ECCExportSessionKey writes

using Bytes = std::vector<uint8_t>;

// An argument as the call log records it: pointers and numbers as a word, structures as 0.
template <class T>
uint64_t word(T v)
{
    if constexpr (std::is_pointer_v<T> || std::is_null_pointer_v<T>)
        return reinterpret_cast<uintptr_t>(v);
    else if constexpr (std::is_integral_v<T>)
        return static_cast<std::make_unsigned_t<T>>(v);
    else
        return 0;
}

// Fills a fixed text field as a key does: zero bytes after the text, no terminator when it is full.
template <size_t N>
void setField(char (&field)[N], const std::string &text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size() < N ? text.size() : N);
}

// The item of that name in a list of devices, applications, files or containers.
template <class T>
T *named(std::vector<T> &items, const std::string &name)
{
    const auto it = std::find_if(items.begin(), items.end(), [&](const T &item) { return item.name == name; });
    return it == items.end() ? nullptr : &*it;
}

struct Pin {
    std::string text;
    uint32_t maxRetry = 10, remaining = 10;
};

struct File {
    std::string name;
    Bytes data;
};

struct Container {
    std::string name;
    uint32_t type = 0;    // 0 empty, 1 RSA, 2 ECC
    uint32_t rsaBits = 0; // as generated; 0 leaves the exported key's pattern whole
};

struct Application {
    std::string name;
    Pin admin, user;
    std::vector<File> files;
    std::vector<Container> containers;
    // SKF_ReadUsrDataFile areas (0x50, 0x22): a missing area answers kSAR_FILE_NOT_EXIST.
    std::map<uint32_t, Bytes> userData;

    Pin *pin(uint32_t type) { return type == SKF_ADMIN_TYPE ? &admin : type == SKF_USER_TYPE ? &user : nullptr; }
};

struct Device {
    std::string name;
    DEVINFO info{};
    bool present = true;
    uint32_t getDevInfoResult = kSAR_OK; // non-zero: SKF_GetDevInfo fails with it and writes nothing
    std::vector<Application> apps;
};

// A lying vendor's name list for SKF_EnumApplication/EnumFiles. The library writes at most the
// caller's stated capacity of bytes; the reported lengths are as scripted, except that fillLength
// is cut to the capacity unless lieBeyondCapacity is set.
struct RawList {
    bool active = false;
    std::string bytes;
    uint32_t queryLength = 0; // reported to a size query (null buffer)
    uint32_t fillLength = 0;  // reported after writing into a buffer
    bool lieBeyondCapacity = false;

    static RawList of(std::string b, uint32_t length, bool lie = false)
    {
        return RawList{true, std::move(b), length, length, lie};
    }
};

struct Call {
    std::string fn;
    std::vector<uint64_t> args;       // every argument as a word; structures passed by value read 0
    std::vector<std::string> strings; // the const char * arguments, null as ""
    std::vector<Bytes> data;          // buffers the entry chose to copy
};

struct Handle {
    Kind kind;
    std::string device, app, container;
};

struct State {
    std::vector<Device> devices;
    std::map<uintptr_t, Handle> handles;
    std::map<Kind, uint32_t> counters;
    std::vector<Call> log;
    std::map<std::string, std::deque<uint32_t>> queued;
    std::map<std::string, uint32_t> always;
    RawList enumApplication, enumFiles, enumContainer;

    // One device "MockDev1" holding one application "APP1" without files or containers.
    State() { addDevice("MockDev1", "MOCKSERIAL0001").apps.push_back(makeApp("APP1", "111111", "123456")); }
    void reset() { *this = State(); }

    static Application makeApp(const std::string &name, const std::string &adminPin, const std::string &userPin)
    {
        return Application{name, Pin{adminPin}, Pin{userPin}, {}, {}, {}};
    }

    Device &addDevice(const std::string &name, const char *serial)
    {
        Device &d = devices.emplace_back();
        d.name = name;
        setField(d.info.Manufacturer, "MockMaker");
        setField(d.info.Issuer, "MockIssuer");
        setField(d.info.Label, "MockLabel");
        setField(d.info.SerialNumber, serial);
        d.info.DevAuthAlgId = 0x00000401;
        d.info.TotalSpace = 65536;
        d.info.FreeSpace = 32768;
        return d;
    }

    Device &dev() { return devices.front(); }
    Application &app() { return devices.front().apps.front(); }

    // Scripting: the next call of fn returns code without side effects; forceAlways every call.
    void force(const std::string &fn, uint32_t code) { queued[fn].push_back(code); }
    void forceAlways(const std::string &fn, uint32_t code) { always[fn] = code; }
    std::optional<uint32_t> takeForced(const std::string &fn)
    {
        if (auto &q = queued[fn]; !q.empty()) {
            const uint32_t code = q.front();
            q.pop_front();
            return code;
        }
        const auto a = always.find(fn);
        return a == always.end() ? std::nullopt : std::optional(a->second);
    }

    // The call log.
    std::vector<std::string> calledNames() const
    {
        std::vector<std::string> names;
        for (const auto &c : log)
            names.push_back(c.fn);
        return names;
    }
    std::vector<const Call *> calls(const std::string &fn) const
    {
        std::vector<const Call *> found;
        for (const auto &c : log)
            if (c.fn == fn)
                found.push_back(&c);
        return found;
    }
    const Call *lastCall(const std::string &fn) const
    {
        const auto found = calls(fn);
        return found.empty() ? nullptr : found.back();
    }
    size_t count(const std::string &fn) const { return calls(fn).size(); }
    void clearLog() { log.clear(); }

    // Handles.
    void *open(Handle h)
    {
        void *value = handleValue(h.kind, ++counters[h.kind]);
        handles[reinterpret_cast<uintptr_t>(value)] = h;
        return value;
    }
    Handle *find(const void *h, Kind kind)
    {
        const auto it = handles.find(reinterpret_cast<uintptr_t>(h));
        return it != handles.end() && it->second.kind == kind ? &it->second : nullptr;
    }
};

} // namespace mock

extern "C" mock::State *mock_state();
using PFN_mock_state = mock::State *(*)();

// Control surface of the scriptable vendor library: a simulated world of devices, applications,
// files and containers, a call log and per-function forced results. The library and the tests
// share this header; tests reach the library's one State through dlsym("mock_state").
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "skf.h"

namespace mock {

// GM/T 0016 codes the library answers with.
constexpr uint32_t kOk = 0x00000000u;
constexpr uint32_t kFail = 0x0A000001u;
constexpr uint32_t kUnknownErr = 0x0A000002u;
constexpr uint32_t kNotSupported = 0x0A000003u;
constexpr uint32_t kInvalidHandle = 0x0A000005u;
constexpr uint32_t kInvalidParam = 0x0A000006u;
constexpr uint32_t kObjErr = 0x0A00000Du;
constexpr uint32_t kKeyNotFound = 0x0A00001Bu;
constexpr uint32_t kCertNotFound = 0x0A00001Cu;
constexpr uint32_t kBufferTooSmall = 0x0A000020u;
constexpr uint32_t kDeviceRemoved = 0x0A000023u;
constexpr uint32_t kPinIncorrect = 0x0A000024u;
constexpr uint32_t kPinLocked = 0x0A000025u;
constexpr uint32_t kUserTypeInvalid = 0x0A00002Au;
constexpr uint32_t kAppExists = 0x0A00002Cu;
constexpr uint32_t kAppNotExists = 0x0A00002Eu;
constexpr uint32_t kFileExists = 0x0A00002Fu;
constexpr uint32_t kFileNotExist = 0x0A000031u;

// Handle values are base + a running number per kind (first device 0x1001, first application 0x2001).
enum class Kind : uintptr_t { Device = 0x1000, Application = 0x2000, Container = 0x3000, Key = 0x4000 };

inline void *handleValue(Kind kind, uint32_t n)
{
    return reinterpret_cast<void *>(static_cast<uintptr_t>(kind) + n);
}

// Generated outputs are seed + index byte patterns; Encrypt/Decrypt and the ECC decryptions XOR with kXor.
constexpr uint8_t kXor = 0x5A;
enum Seed : uint8_t {
    kSeedRsaPublic = 0x10,
    kSeedEccPublic = 0x20,
    kSeedEccSignature = 0x30,
    kSeedRsaSignature = 0x40,
    kSeedCipherBlob = 0x50,
    kSeedDigest = 0x60,
    kSeedMac = 0x70,
    kSeedRandom = 0xA0,
};
inline uint8_t patternByte(uint8_t seed, size_t i)
{
    return static_cast<uint8_t>(seed + i);
}
constexpr uint32_t kDigestLength = 32;
constexpr uint32_t kMacLength = 16;
constexpr uint32_t kRsaSignatureLength = 256;
constexpr uint32_t kCipherLength = 16; // CipherLen of the blobs SKF_ECCExportSessionKey writes

using Bytes = std::vector<uint8_t>;

// Fills a fixed text field as a key does: zero bytes after the text, no terminator when it is full.
template <size_t N>
void setField(char (&field)[N], const std::string &text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size() < N ? text.size() : N);
}

struct Pin {
    std::string text;
    uint32_t maxRetry = 10;
    uint32_t remaining = 10;
    bool isDefault = false;
};

struct File {
    std::string name;
    Bytes data;
    uint32_t readRights = 0xFF;
    uint32_t writeRights = 0x11;
};

struct Container {
    std::string name;
    uint32_t type = 0; // 0 empty, 1 RSA, 2 ECC
    Bytes signCert;
    Bytes exchangeCert;
};

struct Application {
    std::string name;
    Pin admin;
    Pin user;
    uint32_t createFileRights = 0x11;
    std::vector<File> files;
    std::vector<Container> containers;
    // SKF_ReadUsrDataFile areas (0x50, 0x22): a missing area answers kFileNotExist.
    std::map<uint32_t, Bytes> userData;

    Pin *pin(uint32_t type) { return type == SKF_ADMIN_TYPE ? &admin : type == SKF_USER_TYPE ? &user : nullptr; }
    File *file(const std::string &n)
    {
        for (auto &f : files)
            if (f.name == n)
                return &f;
        return nullptr;
    }
    Container *container(const std::string &n)
    {
        for (auto &c : containers)
            if (c.name == n)
                return &c;
        return nullptr;
    }
};

struct Device {
    std::string name;
    DEVINFO info{};
    bool present = true;
    uint32_t getDevInfoResult = kOk; // non-zero: SKF_GetDevInfo fails with it and writes nothing
    std::vector<Application> apps;

    Application *app(const std::string &n)
    {
        for (auto &a : apps)
            if (a.name == n)
                return &a;
        return nullptr;
    }
};

// A lying vendor's name list for SKF_EnumDev/EnumApplication/EnumFiles/EnumContainer. The library
// writes at most the caller's stated capacity of bytes; the reported lengths are as scripted,
// except that fillLength is cut to the capacity unless lieBeyondCapacity is set.
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
    std::vector<uint64_t> args; // every argument as a word; structures passed by value read 0
    std::vector<std::string> strings;
    std::vector<Bytes> data;

    Call &str(const char *s)
    {
        strings.emplace_back(s ? s : "");
        return *this;
    }
    Call &bytes(const void *p, size_t n)
    {
        const auto *b = static_cast<const uint8_t *>(p);
        data.emplace_back(b ? Bytes(b, b + n) : Bytes{});
        return *this;
    }
};

struct Handle {
    Kind kind;
    std::string device;
    std::string app;
    std::string container;
};

struct State {
    std::vector<Device> devices;
    std::map<uintptr_t, Handle> handles;
    std::map<Kind, uint32_t> counters;
    std::vector<Call> log;
    std::map<std::string, std::deque<std::optional<uint32_t>>> queued;
    std::map<std::string, uint32_t> always;
    RawList enumDev, enumApplication, enumFiles, enumContainer;

    State() { reset(); }

    // One device "MockDev1" holding one application "APP1" without files or containers.
    void reset()
    {
        devices.clear();
        handles.clear();
        counters.clear();
        log.clear();
        queued.clear();
        always.clear();
        enumDev = enumApplication = enumFiles = enumContainer = RawList{};
        Device &d = addDevice("MockDev1", "MOCKSERIAL0001");
        d.apps.push_back(makeApp("APP1", "111111", "123456"));
    }

    static Application makeApp(const std::string &name, const std::string &adminPin, const std::string &userPin)
    {
        Application a;
        a.name = name;
        a.admin.text = adminPin;
        a.user.text = userPin;
        return a;
    }

    Device &addDevice(const std::string &name, const char *serial)
    {
        Device d;
        d.name = name;
        d.info.Version = {1, 0};
        setField(d.info.Manufacturer, "MockMaker");
        setField(d.info.Issuer, "MockIssuer");
        setField(d.info.Label, "MockLabel");
        setField(d.info.SerialNumber, serial);
        d.info.HWVersion = {1, 0};
        d.info.FirmwareVersion = {1, 0};
        d.info.AlgSymCap = 0x00000401;
        d.info.AlgAsymCap = 0x00020100;
        d.info.AlgHashCap = 0x00000001;
        d.info.DevAuthAlgId = 0x00000401;
        d.info.TotalSpace = 65536;
        d.info.FreeSpace = 32768;
        devices.push_back(d);
        return devices.back();
    }

    Device &dev() { return devices.front(); }
    Application &app() { return devices.front().apps.front(); }
    Device *device(const std::string &n)
    {
        for (auto &d : devices)
            if (d.name == n)
                return &d;
        return nullptr;
    }

    // Scripting: the next call of fn returns code without side effects; pass() lets one call run.
    void force(const std::string &fn, uint32_t code) { queued[fn].push_back(code); }
    void pass(const std::string &fn) { queued[fn].push_back(std::nullopt); }
    void forceAlways(const std::string &fn, uint32_t code) { always[fn] = code; }
    std::optional<uint32_t> takeForced(const std::string &fn)
    {
        auto q = queued.find(fn);
        if (q != queued.end() && !q->second.empty()) {
            const auto next = q->second.front();
            q->second.pop_front();
            return next;
        }
        const auto a = always.find(fn);
        return a != always.end() ? std::optional<uint32_t>(a->second) : std::nullopt;
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
        for (auto it = log.rbegin(); it != log.rend(); ++it)
            if (it->fn == fn)
                return &*it;
        return nullptr;
    }
    size_t count(const std::string &fn) const { return calls(fn).size(); }
    void clearLog() { log.clear(); }

    // Handles.
    void *open(Kind kind, Handle h)
    {
        const uintptr_t value = static_cast<uintptr_t>(kind) + ++counters[kind];
        h.kind = kind;
        handles[value] = h;
        return reinterpret_cast<void *>(value);
    }
    Handle *find(const void *h, Kind kind)
    {
        const auto it = handles.find(reinterpret_cast<uintptr_t>(h));
        return it != handles.end() && it->second.kind == kind ? &it->second : nullptr;
    }
    Application *application(const Handle &h)
    {
        Device *d = device(h.device);
        return d ? d->app(h.app) : nullptr;
    }
    Container *container(const Handle &h)
    {
        Application *a = application(h);
        return a ? a->container(h.container) : nullptr;
    }
};

} // namespace mock

extern "C" mock::State *mock_state();
using PFN_mock_state = mock::State *(*)();

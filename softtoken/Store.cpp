// Token state, handles and the on-disk store under SKFSOFT_DIR (layout in README.md).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/crypto.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Token.h"

namespace fs = std::filesystem;

namespace softtoken {
namespace {

std::map<uintptr_t, std::unique_ptr<Object>> g_objects;
uintptr_t g_nextHandle = 0x1000;
std::vector<Device> g_devices;
bool g_loaded = false;
std::string g_root;        // the folder g_devices came from; empty for a token in memory
uint64_t g_generation = 0; // the store's change count when g_devices was read or last written
int g_lockFd = -1;
pid_t g_lockPid = 0;
std::string g_lockRoot;
std::string g_reported; // the last damage told on stderr, told once

using Ini = std::map<std::string, std::string>;

constexpr const char kDeviceIni[] = "device.ini";
constexpr const char kDeviceKey[] = "device.key";
constexpr const char kAppIni[] = "app.ini";
constexpr const char kLockFile[] = ".lock";
constexpr uintmax_t kMaxStoreFile = 16u << 20;
constexpr uint32_t kMaxIterations = 1000000; // an edited count must not stall every PIN check

const char *storeDir()
{
    const char *dir = std::getenv("SKFSOFT_DIR");
    return dir && *dir ? dir : nullptr;
}

template <class A>
std::string hex(const std::vector<uint8_t, A> &b)
{
    if (b.empty())
        return {};
    std::string s(b.size() * 2 + 1, '\0');
    size_t n = 0;
    if (!OPENSSL_buf2hexstr_ex(s.data(), s.size(), &n, b.data(), b.size(), '\0'))
        return {};
    s.resize(n ? n - 1 : 0);
    return s;
}

template <class A>
bool unhex(const std::string &s, std::vector<uint8_t, A> &out)
{
    out.clear();
    if (s.empty())
        return true;
    if (s.size() % 2)
        return false;
    out.resize(s.size() / 2);
    size_t n = 0;
    return OPENSSL_hexstr2buf_ex(out.data(), out.size(), &n, s.c_str(), '\0') == 1 && n == out.size();
}

std::string sha256Hex(const std::string &text)
{
    uint8_t digest[32];
    unsigned int n = 0;
    if (EVP_Digest(text.data(), text.size(), digest, &n, EVP_sha256(), nullptr) != 1)
        return {};
    return hex(Bytes(digest, digest + n));
}

// Values are written on one line; a newline in a label would split it.
std::string oneLine(std::string s)
{
    for (char &c : s)
        if (c == '\n' || c == '\r')
            c = ' ';
    return s;
}

// key=value lines closed by a checksum line, so a torn or edited copy is told from a whole one.
std::string render(const Ini &ini)
{
    std::string body;
    for (const auto &[key, value] : ini)
        body += key + '=' + oneLine(value) + '\n';
    return body + "sum=" + sha256Hex(body) + '\n';
}

bool parse(const std::string &text, Ini &ini)
{
    const size_t sum = text.rfind("sum=");
    if (sum == std::string::npos || (sum && text[sum - 1] != '\n') || text.back() != '\n')
        return false;
    const std::string body = text.substr(0, sum);
    if (text.substr(sum + 4, text.size() - sum - 5) != sha256Hex(body))
        return false;
    std::istringstream in(body);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            return false;
        ini[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return true;
}

bool readText(const fs::path &path, std::string &text)
{
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec || size > kMaxStoreFile)
        return false;
    std::ifstream in(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() && text.size() == size;
}

bool readIni(const fs::path &path, Ini &ini)
{
    std::string text;
    return readText(path, text) && parse(text, ini);
}

bool syncDir(const fs::path &dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

fs::path pendingCopy(const fs::path &dir, const std::string &name)
{
    return dir / ("." + name + ".new");
}

// The new copy is written and flushed beside the old one and renamed over it: at every moment
// one whole copy is on disk.
bool writeDurable(const fs::path &dir, const std::string &name, const Ini &ini)
{
    const std::string text = render(ini);
    const fs::path fresh = pendingCopy(dir, name);
    const int fd = ::open(fresh.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    const bool written = done == text.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!written || ::rename(fresh.c_str(), (dir / name).c_str()) != 0) {
        ::unlink(fresh.c_str());
        return false;
    }
    return syncDir(dir);
}

bool removeDurable(const fs::path &dir, const std::string &name)
{
    ::unlink(pendingCopy(dir, name).c_str()); // an unfinished write must not come back later
    return (::unlink((dir / name).c_str()) == 0 || errno == ENOENT) && syncDir(dir);
}

bool makeDir(const fs::path &dir)
{
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool endsWith(const std::string &s, const char *suffix)
{
    const size_t n = std::strlen(suffix);
    return s.size() > n + 1 && s.compare(s.size() - n, n, suffix) == 0;
}

// Finishes what a killed writer left: a whole pending copy is renamed in, a half-written one and a
// half-made or half-removed folder are removed. Other hidden entries are not ours and stay.
void tidy(const fs::path &dir)
{
    std::error_code ec;
    std::vector<fs::path> leftovers;
    for (const auto &entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (name[0] == '.' && (endsWith(name, ".new") || endsWith(name, ".creating") || endsWith(name, ".deleted")))
            leftovers.push_back(entry.path());
    }
    bool changed = false;
    for (const auto &path : leftovers) {
        const std::string name = path.filename().string();
        Ini ini;
        if (endsWith(name, ".new") && fs::is_regular_file(path, ec) && readIni(path, ini))
            changed |= ::rename(path.c_str(), (dir / name.substr(1, name.size() - 5)).c_str()) == 0;
        else
            changed |= fs::remove_all(path, ec) > 0;
    }
    if (changed)
        syncDir(dir);
}

uint32_t report(const fs::path &path, const char *what)
{
    const std::string line = path.string() + ": " + what;
    if (line != g_reported) {
        std::fprintf(stderr, "libskfsoft: %s; the store is left as it is\n", line.c_str());
        g_reported = line;
    }
    return SAR_READFILEERR;
}

bool number(const Ini &ini, const std::string &key, uint32_t &out)
{
    const auto it = ini.find(key);
    if (it == ini.end() || it->second.empty())
        return false;
    char *end = nullptr;
    const unsigned long long v = std::strtoull(it->second.c_str(), &end, 0);
    if (*end != '\0' || v > 0xFFFFFFFFull)
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

bool uid(const Ini &ini, uint64_t &out)
{
    const auto it = ini.find("id");
    if (it == ini.end() || it->second.empty())
        return false;
    char *end = nullptr;
    out = std::strtoull(it->second.c_str(), &end, 16);
    return *end == '\0' && out != 0;
}

bool field(const Ini &ini, const char *key, std::string &out, size_t maxLen)
{
    const auto it = ini.find(key);
    if (it == ini.end() || it->second.size() > maxLen)
        return false;
    out = it->second;
    return true;
}

template <class A>
bool bytes(const Ini &ini, const std::string &key, std::vector<uint8_t, A> &out)
{
    const auto it = ini.find(key);
    return it != ini.end() && unhex(it->second, out);
}

std::string uidText(uint64_t id)
{
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(id));
    return buf;
}

void putPin(Ini &ini, const std::string &p, const Pin &pin)
{
    ini[p + "salt"] = hex(pin.salt);
    ini[p + "verifier"] = hex(pin.verifier);
    ini[p + "wrap"] = hex(pin.wrap);
    ini[p + "iterations"] = std::to_string(pin.iterations);
    ini[p + "max"] = std::to_string(pin.maxRetry);
    ini[p + "remain"] = std::to_string(pin.remain);
    ini[p + "default"] = pin.isDefault ? "1" : "0";
}

bool readPin(const Ini &ini, const std::string &p, Pin &pin)
{
    uint32_t isDefault = 0;
    return bytes(ini, p + "salt", pin.salt) && bytes(ini, p + "verifier", pin.verifier) &&
           bytes(ini, p + "wrap", pin.wrap) && number(ini, p + "iterations", pin.iterations) &&
           number(ini, p + "max", pin.maxRetry) && number(ini, p + "remain", pin.remain) &&
           number(ini, p + "default", isDefault) && pin.salt.size() == 16 && pin.verifier.size() == 32 &&
           pin.iterations > 0 && pin.iterations <= kMaxIterations && pin.maxRetry > 0 && pin.maxRetry <= 255 &&
           pin.remain <= pin.maxRetry && (pin.isDefault = isDefault != 0, true);
}

void putKey(Ini &ini, const std::string &p, const KeyPair &key)
{
    ini[p + "type"] = std::to_string(key.type);
    ini[p + "len"] = std::to_string(key.derLen);
    ini[p + "public"] = hex(key.publicDer);
    ini[p + "sealed"] = hex(key.sealed);
}

bool readKey(const Ini &ini, const std::string &p, KeyPair &key)
{
    return number(ini, p + "type", key.type) && number(ini, p + "len", key.derLen) &&
           bytes(ini, p + "public", key.publicDer) && bytes(ini, p + "sealed", key.sealed) && key.type <= 2 &&
           (key.type == 0) == key.sealed.empty();
}

Ini appIni(const Application &app)
{
    Ini ini{{"id", uidText(app.uid)},
            {"order", std::to_string(app.order)},
            {"createrights", std::to_string(app.createFileRights)}};
    putPin(ini, "admin", app.admin);
    putPin(ini, "user", app.user);
    return ini;
}

Ini fileIni(const File &file)
{
    return {{"read", std::to_string(file.readRights)},
            {"write", std::to_string(file.writeRights)},
            {"data", hex(file.data)}};
}

Ini containerIni(const Container &c)
{
    Ini ini{{"id", uidText(c.uid)}, {"signcert", hex(c.signCert)}, {"exchcert", hex(c.exchCert)}};
    putKey(ini, "sign", c.signKey);
    putKey(ini, "exch", c.exchKey);
    return ini;
}

bool deviceIni(const Device &device, Ini &ini)
{
    Bytes sealedAuth;
    if (!seal(device.sealKey, device.authKey.data(), device.authKey.size(), sealedAuth))
        return false;
    ini = {{"serial", device.serial},
           {"label", device.label},
           {"manufacturer", device.manufacturer},
           {"issuer", device.issuer},
           {"devauthalg", std::to_string(device.devAuthAlg)},
           {"authkey", hex(sealedAuth)}};
    return true;
}

// The entries of dir whose names the token could have made, in name order.
std::vector<fs::path> entries(const fs::path &dir, bool directories, const char *extension)
{
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec)) {
        const fs::path &path = entry.path();
        const std::string stem = extension ? path.stem().string() : path.filename().string();
        if (entry.is_directory(ec) == directories && validName(stem.c_str()) &&
            (!extension || path.extension() == extension))
            out.push_back(path);
    }
    std::sort(out.begin(), out.end());
    return out;
}

uint32_t loadApp(const fs::path &dir, Application &app)
{
    tidy(dir);
    tidy(dir / "files");
    tidy(dir / "containers");
    Ini ini;
    app.name = dir.filename().string();
    if (!readIni(dir / kAppIni, ini) || !uid(ini, app.uid) || !number(ini, "order", app.order) ||
        !number(ini, "createrights", app.createFileRights) || !readPin(ini, "admin", app.admin) ||
        !readPin(ini, "user", app.user))
        return report(dir / kAppIni, "missing or damaged");
    for (const auto &path : entries(dir / "files", false, ".ini")) {
        Ini f;
        File file;
        if (!readIni(path, f) || !number(f, "read", file.readRights) || !number(f, "write", file.writeRights) ||
            !bytes(f, "data", file.data) || file.data.size() > kTotalSpace)
            return report(path, "damaged");
        app.files[path.stem().string()] = std::move(file);
    }
    for (const auto &path : entries(dir / "containers", false, ".ini")) {
        Ini c;
        Container container;
        if (!readIni(path, c) || !uid(c, container.uid) || !bytes(c, "signcert", container.signCert) ||
            !bytes(c, "exchcert", container.exchCert) || !readKey(c, "sign", container.signKey) ||
            !readKey(c, "exch", container.exchKey))
            return report(path, "damaged");
        app.containers[path.stem().string()] = std::move(container);
    }
    return SAR_OK;
}

uint32_t loadDevice(const fs::path &dir, Device &device)
{
    tidy(dir);
    Ini ini, key;
    Bytes sealedAuth;
    device.name = dir.filename().string();
    if (!readIni(dir / kDeviceKey, key) || !bytes(key, "key", device.sealKey) || device.sealKey.size() != 32)
        return report(dir / kDeviceKey, "missing or damaged");
    if (!readIni(dir / kDeviceIni, ini) || !field(ini, "serial", device.serial, 32) ||
        !field(ini, "label", device.label, 32) || !field(ini, "manufacturer", device.manufacturer, 64) ||
        !field(ini, "issuer", device.issuer, 64) || !number(ini, "devauthalg", device.devAuthAlg) ||
        !bytes(ini, "authkey", sealedAuth) || !unseal(device.sealKey, sealedAuth, device.authKey))
        return report(dir / kDeviceIni, "missing or damaged");
    for (const auto &path : entries(dir, true, nullptr)) {
        Application app;
        if (const uint32_t r = loadApp(path, app))
            return r;
        device.apps.push_back(std::move(app));
    }
    std::sort(device.apps.begin(), device.apps.end(),
              [](const Application &a, const Application &b) { return a.order < b.order; });
    return SAR_OK;
}

// A device is made whole in a hidden folder and renamed in.
bool writeDevice(const fs::path &root, const Device &device)
{
    std::error_code ec;
    const fs::path staging = root / ("." + device.name + ".creating");
    fs::remove_all(staging, ec);
    Ini ini;
    bool ok = makeDir(staging) && deviceIni(device, ini) &&
              writeDurable(staging, kDeviceKey, {{"key", hex(device.sealKey)}}) &&
              writeDurable(staging, kDeviceIni, ini);
    for (const auto &app : device.apps) {
        const fs::path dir = staging / app.name;
        ok = ok && makeDir(dir) && makeDir(dir / "files") && makeDir(dir / "containers") &&
             writeDurable(dir, kAppIni, appIni(app)) && syncDir(dir);
    }
    ok = ok && syncDir(staging) && ::rename(staging.c_str(), (root / device.name).c_str()) == 0 && syncDir(root);
    if (!ok)
        fs::remove_all(staging, ec);
    return ok;
}

bool makeDevice(const char *name, const char *serial, const char *label, const char *adminPin, const char *userPin,
                Device &d)
{
    d.name = name;
    d.serial = serial;
    d.label = label;
    d.manufacturer = "UKeyAdaptor SoftToken";
    d.issuer = "UKeyAdaptor";
    d.devAuthAlg = SGD_SM4_ECB;
    const char key[] = "1234567812345678";
    d.authKey.assign(key, key + 16);
    d.sealKey.resize(32);
    if (!randomBytes(d.sealKey.data(), d.sealKey.size()))
        return false;
    d.apps.push_back(newApplication(d, "SOFTAPP", adminPin, 10, userPin, 10, kUser | kAdmin));
    return d.apps.back().uid != 0;
}

uint64_t readGeneration(int fd)
{
    uint64_t generation = 0;
    return ::pread(fd, &generation, sizeof generation, 0) == sizeof generation ? generation : 0;
}

void writeGeneration(int fd, uint64_t generation)
{
    // Only a hint to the other processes on the folder; the files themselves are flushed.
    if (::pwrite(fd, &generation, sizeof generation, 0) != sizeof generation)
        g_loaded = false;
}

int openLock(const fs::path &root)
{
    std::error_code ec;
    if (root.has_parent_path())
        fs::create_directories(root.parent_path(), ec);
    if (!makeDir(root))
        return -1;
    return ::open((root / kLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

// Keeps what was decoded for containers whose sealed keys did not change.
void keepDecoded(std::vector<Device> &fresh)
{
    for (auto &device : fresh) {
        const Device *old = nullptr;
        for (const auto &d : g_devices)
            if (d.name == device.name)
                old = &d;
        for (auto &app : device.apps) {
            const Application *oldApp = nullptr;
            for (size_t i = 0; old && i < old->apps.size(); ++i)
                if (old->apps[i].uid == app.uid)
                    oldApp = &old->apps[i];
            if (!oldApp)
                continue;
            for (auto &[name, c] : app.containers) {
                const auto it = oldApp->containers.find(name);
                if (it == oldApp->containers.end() || it->second.uid != c.uid)
                    continue;
                if (it->second.signKey.sealed == c.signKey.sealed)
                    c.signKey.decoded = it->second.signKey.decoded;
                if (it->second.exchKey.sealed == c.exchKey.sealed)
                    c.exchKey.decoded = it->second.exchKey.decoded;
            }
        }
    }
}

uint32_t load(const std::string &root)
{
    g_loaded = false;
    std::vector<Device> fresh;
    if (root.empty()) {
        Device d;
        if (!makeDevice("SoftToken-0", "SOFT0000000000000001", "SoftToken", "12345678", "123456", d))
            return SAR_FAIL;
        fresh.push_back(std::move(d));
    } else {
        tidy(root);
        for (const auto &dir : entries(root, true, nullptr)) {
            Device device;
            if (const uint32_t r = loadDevice(dir, device))
                return r;
            fresh.push_back(std::move(device));
        }
        // Only a folder with no device at all gets the default one.
        if (fresh.empty()) {
            Device d;
            if (!makeDevice("SoftToken-0", "SOFT0000000000000001", "SoftToken", "12345678", "123456", d) ||
                !writeDevice(root, d))
                return report(fs::path(root) / "SoftToken-0", "cannot create the default device");
            writeGeneration(g_lockFd, ++g_generation);
            fresh.push_back(std::move(d));
        }
    }
    keepDecoded(fresh);
    g_devices = std::move(fresh);
    g_root = root;
    g_loaded = true;
    g_reported.clear();
    return SAR_OK;
}

fs::path deviceDir(const Device &device)
{
    return fs::path(g_root) / device.name;
}

// Every write ends here: the other processes learn of it, and a failed one makes us re-read.
uint32_t committed(bool ok)
{
    if (g_root.empty())
        return SAR_OK;
    writeGeneration(g_lockFd, ++g_generation);
    if (!ok) {
        g_loaded = false;
        std::fprintf(stderr, "libskfsoft: cannot write the store in %s: %s\n", g_root.c_str(), std::strerror(errno));
    }
    return ok ? SAR_OK : SAR_WRITEFILEERR;
}

} // namespace

std::mutex &lock()
{
    static std::mutex m;
    return m;
}

StoreSession::StoreSession()
{
    const char *dir = storeDir();
    const std::string root = dir ? dir : "";
    if (root.empty()) {
        if (!g_loaded || !g_root.empty())
            result_ = load(root);
        return;
    }
    // A forked child must not share its parent's lock description.
    if (g_lockRoot != root || g_lockPid != ::getpid()) {
        if (g_lockFd >= 0)
            ::close(g_lockFd);
        g_lockFd = openLock(root);
        g_lockRoot = root;
        g_lockPid = ::getpid();
        g_loaded = false;
    }
    if (g_lockFd < 0) {
        result_ = report(fs::path(root) / kLockFile, "cannot open");
        return;
    }
    while (::flock(g_lockFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    fd_ = g_lockFd;
    const uint64_t generation = readGeneration(fd_);
    if (!g_loaded || g_root != root || generation != g_generation) {
        g_generation = generation;
        result_ = load(root);
    }
}

StoreSession::~StoreSession()
{
    if (fd_ >= 0)
        ::flock(fd_, LOCK_UN);
}

uint32_t saveDevice(const Device &device)
{
    Ini ini;
    return committed(g_root.empty() || (deviceIni(device, ini) && writeDurable(deviceDir(device), kDeviceIni, ini)));
}

uint32_t saveApp(const Device &device, const Application &app)
{
    return committed(g_root.empty() || writeDurable(deviceDir(device) / app.name, kAppIni, appIni(app)));
}

uint32_t saveFile(const Device &device, const Application &app, const std::string &name)
{
    if (g_root.empty())
        return SAR_OK;
    const fs::path dir = deviceDir(device) / app.name / "files";
    const auto it = app.files.find(name);
    return committed(it == app.files.end() ? removeDurable(dir, name + ".ini")
                                           : writeDurable(dir, name + ".ini", fileIni(it->second)));
}

uint32_t saveContainer(const Device &device, const Application &app, const std::string &name)
{
    if (g_root.empty())
        return SAR_OK;
    const fs::path dir = deviceDir(device) / app.name / "containers";
    const auto it = app.containers.find(name);
    return committed(it == app.containers.end() ? removeDurable(dir, name + ".ini")
                                                : writeDurable(dir, name + ".ini", containerIni(it->second)));
}

// Made whole in a hidden folder and renamed in, so a half-made application never loads.
uint32_t createApp(const Device &device, const Application &app)
{
    if (g_root.empty())
        return SAR_OK;
    std::error_code ec;
    const fs::path dev = deviceDir(device), staging = dev / ("." + app.name + ".creating");
    fs::remove_all(staging, ec);
    const bool ok = makeDir(staging) && makeDir(staging / "files") && makeDir(staging / "containers") &&
                    writeDurable(staging, kAppIni, appIni(app)) && syncDir(staging) &&
                    ::rename(staging.c_str(), (dev / app.name).c_str()) == 0 && syncDir(dev);
    if (!ok)
        fs::remove_all(staging, ec);
    return committed(ok);
}

// Renamed out of sight first, so a half-removed application never loads.
uint32_t deleteApp(const Device &device, const std::string &name)
{
    if (g_root.empty())
        return SAR_OK;
    std::error_code ec;
    const fs::path dev = deviceDir(device), gone = dev / ("." + name + ".deleted");
    fs::remove_all(gone, ec);
    const bool ok = ::rename((dev / name).c_str(), gone.c_str()) == 0 && syncDir(dev);
    fs::remove_all(gone, ec);
    return committed(ok);
}

uintptr_t addObject(std::unique_ptr<Object> object)
{
    const uintptr_t id = g_nextHandle += 0x10;
    g_objects[id] = std::move(object);
    return id;
}

Object *findObject(const void *handle)
{
    const auto it = g_objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == g_objects.end() ? nullptr : it->second.get();
}

void removeObject(const void *handle)
{
    g_objects.erase(reinterpret_cast<uintptr_t>(handle));
}

uint64_t randomUid()
{
    uint64_t id = 0;
    while (id == 0)
        if (!randomBytes(reinterpret_cast<uint8_t *>(&id), sizeof id))
            return 0;
    return id;
}

std::vector<Device> &devices()
{
    return g_devices;
}

Device *findDevice(const std::string &name)
{
    for (auto &d : g_devices)
        if (d.name == name)
            return &d;
    return nullptr;
}

Application *findApp(const std::string &device, uint64_t uid)
{
    if (Device *d = findDevice(device))
        for (auto &a : d->apps)
            if (a.uid == uid)
                return &a;
    return nullptr;
}

Application *findApp(Device &device, const std::string &name)
{
    for (auto &a : device.apps)
        if (a.name == name)
            return &a;
    return nullptr;
}

Application *appOf(const void *hApp, AppObject **session)
{
    AppObject *s = find<AppObject>(hApp);
    if (session)
        *session = s;
    return s ? findApp(s->device, s->app) : nullptr;
}

Container *containerOf(const void *hContainer, AppObject **session)
{
    const ContainerObject *c = find<ContainerObject>(hContainer);
    Application *app = c ? appOf(c->session, session) : nullptr;
    if (!app)
        return nullptr;
    const auto it = app->containers.find(c->name);
    return it != app->containers.end() && it->second.uid == c->container ? &it->second : nullptr;
}

Application newApplication(const Device &device, std::string name, const char *adminPin, uint32_t adminRetry,
                           const char *userPin, uint32_t userRetry, uint32_t createRights)
{
    Application app;
    app.name = std::move(name);
    for (const auto &a : device.apps)
        app.order = std::max(app.order, a.order + 1);
    app.createFileRights = createRights;
    SecretBytes tokenKey(32);
    if (randomBytes(tokenKey.data(), tokenKey.size()) && makePin(adminPin, adminRetry, tokenKey, app.admin) &&
        makePin(userPin, userRetry, tokenKey, app.user))
        app.uid = randomUid();
    return app;
}

uint32_t usedSpace(const Device &device)
{
    size_t used = 0;
    for (const auto &app : device.apps) {
        for (const auto &f : app.files)
            used += f.second.data.size();
        for (const auto &[name, c] : app.containers)
            used += kContainerRecord + c.signKey.derLen + c.exchKey.derLen + c.signCert.size() + c.exchCert.size();
    }
    return static_cast<uint32_t>(std::min<size_t>(used, kTotalSpace));
}

uint32_t putNameList(const std::vector<std::string> &names, char *out, uint32_t *outLen)
{
    Bytes list;
    for (const auto &n : names) {
        list.insert(list.end(), n.begin(), n.end());
        list.push_back(0);
    }
    list.push_back(0);
    return putBytes(list, reinterpret_cast<uint8_t *>(out), outLen);
}

// Names become directory and file names in the store: no separators, no dot files.
bool validName(const char *name)
{
    if (!name || !*name || *name == '.')
        return false;
    size_t n = 0;
    for (; name[n]; ++n)
        if (n >= kMaxName || name[n] == '/' || name[n] == '\\' || static_cast<unsigned char>(name[n]) < 0x20)
            return false;
    return true;
}

bool pinInRange(const char *pin)
{
    const size_t n = pin ? strnlen(pin, 17) : 0; // a longer one need not be read to its end
    return n >= 6 && n <= 16;
}

bool allowed(uint32_t rights, const AppObject &session)
{
    return rights == kAnyone || ((rights & kAdmin) && session.admin) || ((rights & kUser) && session.user);
}

} // namespace softtoken

// Creates a token store in folder without any existing one being touched.
SKFSOFT_API uint32_t SKFSOFT_CreateToken(const char *folder, const char *deviceName, const char *serialNumber,
                                         const char *label, const char *adminPin, const char *userPin)
{
    using namespace softtoken;
    return runLocal([&] {
        const auto orDefault = [](const char *v, const char *fallback) { return v && *v ? v : fallback; };
        const char *name = orDefault(deviceName, "SoftToken-0");
        const char *serial = orDefault(serialNumber, "SOFT0000000000000001");
        const char *lbl = orDefault(label, "SoftToken");
        if (!folder || !*folder || !validName(name) || std::strlen(serial) > 32 || std::strlen(lbl) > 32)
            return SAR_INVALIDPARAMERR;
        if (!pinInRange(adminPin) || !pinInRange(userPin))
            return SAR_PIN_LEN_RANGE;
        const fs::path root(folder);
        const int fd = openLock(root);
        if (fd < 0) {
            std::fprintf(stderr, "libskfsoft: cannot create %s: %s\n", folder, std::strerror(errno));
            return SAR_WRITEFILEERR;
        }
        while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        uint32_t result = SAR_OK;
        Device d;
        if (!entries(root, true, nullptr).empty()) {
            std::fprintf(stderr, "libskfsoft: %s already holds a token store; nothing was changed\n", folder);
            result = SAR_FAIL;
        } else if (!makeDevice(name, serial, lbl, adminPin, userPin, d) || !writeDevice(root, d)) {
            std::fprintf(stderr, "libskfsoft: cannot write a token store in %s\n", folder);
            result = SAR_WRITEFILEERR;
        } else {
            writeGeneration(fd, readGeneration(fd) + 1);
        }
        ::close(fd); // also releases the lock
        return result;
    });
}

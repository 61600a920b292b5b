// Token state, handles and the on-disk store under SKFSOFT_DIR (layout in README.md).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "Token.h"

namespace fs = std::filesystem;

namespace softtoken {
namespace {

std::map<uintptr_t, std::unique_ptr<Object>> g_objects;
uintptr_t g_nextHandle = 0x1000;
uint64_t g_nextUid = 1;
std::vector<Device> g_devices;
bool g_loaded = false;

using Ini = std::map<std::string, std::string>;

const char *storeDir()
{
    const char *dir = std::getenv("SKFSOFT_DIR");
    return dir && *dir ? dir : nullptr;
}

std::string hex(const Bytes &b)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t c : b) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

int nibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// Damaged hex reads as empty: the object loses the value, the store stays usable.
Bytes unhex(const std::string &s)
{
    Bytes b;
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
        const int hi = nibble(s[i]), lo = nibble(s[i + 1]);
        if (hi < 0 || lo < 0)
            return {};
        b.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return s.size() % 2 ? Bytes{} : b;
}

uint32_t number(const Ini &ini, const char *key, uint32_t fallback)
{
    const auto it = ini.find(key);
    if (it == ini.end() || it->second.empty())
        return fallback;
    char *end = nullptr;
    const unsigned long v = std::strtoul(it->second.c_str(), &end, 0);
    return *end == '\0' && v <= 0xFFFFFFFFul ? static_cast<uint32_t>(v) : fallback;
}

std::string text(const Ini &ini, const char *key, const std::string &fallback = {})
{
    const auto it = ini.find(key);
    return it == ini.end() ? fallback : it->second;
}

bool readIni(const fs::path &path, Ini &ini)
{
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec || size > (16u << 20))
        return false;
    std::ifstream in(path);
    std::string line;
    while (in && std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            ini[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return true;
}

bool writeIni(const fs::path &path, const Ini &ini)
{
    std::ofstream out(path, std::ios::trunc);
    for (const auto &[key, value] : ini)
        out << key << '=' << value << '\n';
    return static_cast<bool>(out.flush());
}

// Values are written on one line; a newline in a label or PIN would split it.
std::string oneLine(std::string s)
{
    for (char &c : s)
        if (c == '\n' || c == '\r')
            c = ' ';
    return s;
}

Ini pinIni(const char *prefix, const Pin &pin)
{
    const std::string p = prefix;
    return {{p + "pin", hex(Bytes(pin.value.begin(), pin.value.end()))},
            {p + "max", std::to_string(pin.maxRetry)},
            {p + "remain", std::to_string(pin.remain)},
            {p + "default", pin.isDefault ? "1" : "0"}};
}

Pin readPin(const Ini &ini, const std::string &p)
{
    Pin pin;
    const Bytes value = unhex(text(ini, (p + "pin").c_str()));
    pin.value.assign(value.begin(), value.end());
    pin.maxRetry = number(ini, (p + "max").c_str(), 10);
    pin.remain = std::min(number(ini, (p + "remain").c_str(), pin.maxRetry), pin.maxRetry);
    pin.isDefault = number(ini, (p + "default").c_str(), 0) != 0;
    return pin;
}

void loadApp(const fs::path &dir, Device &device)
{
    Ini ini;
    const std::string name = dir.filename().string();
    if (!validName(name.c_str()) || !readIni(dir / "app.ini", ini))
        return;
    Application app;
    app.uid = nextUid();
    app.name = name;
    app.admin = readPin(ini, "admin");
    app.user = readPin(ini, "user");
    app.createFileRights = number(ini, "createrights", kUser | kAdmin);
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir / "files", ec)) {
        Ini f;
        const std::string fileName = entry.path().stem().string();
        if (entry.path().extension() != ".ini" || !validName(fileName.c_str()) || !readIni(entry.path(), f))
            continue;
        File file;
        file.readRights = number(f, "read", kAnyone);
        file.writeRights = number(f, "write", kAnyone);
        file.data = unhex(text(f, "data"));
        app.files[fileName] = std::move(file);
    }
    for (const auto &entry : fs::directory_iterator(dir / "containers", ec)) {
        Ini c;
        const std::string containerName = entry.path().stem().string();
        if (entry.path().extension() != ".ini" || !validName(containerName.c_str()) || !readIni(entry.path(), c))
            continue;
        Container container;
        container.uid = nextUid();
        container.signKey = unhex(text(c, "signkey"));
        container.exchKey = unhex(text(c, "exchkey"));
        container.signCert = unhex(text(c, "signcert"));
        container.exchCert = unhex(text(c, "exchcert"));
        app.containers[containerName] = std::move(container);
    }
    device.apps.push_back(std::move(app));
}

bool loadDevice(const fs::path &dir, Device &device)
{
    Ini ini;
    device.name = dir.filename().string();
    if (!validName(device.name.c_str()) || !readIni(dir / "device.ini", ini))
        return false;
    device.serial = text(ini, "serial", "SOFT0000000000000001").substr(0, 32);
    device.label = text(ini, "label", "SoftToken").substr(0, 32);
    device.manufacturer = text(ini, "manufacturer", "UKeyAdaptor SoftToken").substr(0, 64);
    device.issuer = text(ini, "issuer", "UKeyAdaptor").substr(0, 64);
    device.devAuthAlg = number(ini, "devauthalg", SGD_SM4_ECB);
    device.authKey = unhex(text(ini, "authkey"));
    std::vector<std::pair<uint32_t, fs::path>> apps;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec)) {
        Ini app;
        if (entry.is_directory(ec) && readIni(entry.path() / "app.ini", app))
            apps.emplace_back(number(app, "order", 0xFFFFFFFF), entry.path());
    }
    std::sort(apps.begin(), apps.end());
    for (const auto &app : apps)
        loadApp(app.second, device);
    return true;
}

Device defaultDevice()
{
    Device d;
    d.name = "SoftToken-0";
    d.serial = "SOFT0000000000000001";
    d.label = "SoftToken";
    d.manufacturer = "UKeyAdaptor SoftToken";
    d.issuer = "UKeyAdaptor";
    d.devAuthAlg = SGD_SM4_ECB;
    const char key[] = "1234567812345678";
    d.authKey.assign(key, key + 16);
    d.apps.push_back(defaultApplication("SOFTAPP", "12345678", 10, "123456", 10, kUser | kAdmin));
    return d;
}

void load()
{
    g_devices.clear();
    if (const char *dir = storeDir()) {
        std::error_code ec;
        std::vector<fs::path> dirs;
        for (const auto &entry : fs::directory_iterator(dir, ec))
            if (entry.is_directory(ec) && entry.path().filename().string()[0] != '.')
                dirs.push_back(entry.path());
        std::sort(dirs.begin(), dirs.end());
        for (const auto &path : dirs) {
            Device device;
            if (loadDevice(path, device))
                g_devices.push_back(std::move(device));
        }
    }
    if (g_devices.empty()) {
        g_devices.push_back(defaultDevice());
        save(g_devices.back());
    }
    g_loaded = true;
}

} // namespace

std::mutex &lock()
{
    static std::mutex m;
    return m;
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

bool anyStateObject()
{
    for (const auto &entry : g_objects)
        if (dynamic_cast<const DevObject *>(entry.second.get()) ||
            dynamic_cast<const AppObject *>(entry.second.get()) ||
            dynamic_cast<const ContainerObject *>(entry.second.get()))
            return true;
    return false;
}

uint64_t nextUid()
{
    return g_nextUid++;
}

std::vector<Device> &devices()
{
    if (!g_loaded)
        load();
    return g_devices;
}

// Another process may have changed the store; pick that up while no handle refers to our copy.
void reloadIfIdle()
{
    if (!g_loaded || (storeDir() && !anyStateObject()))
        load();
}

Device *findDevice(const std::string &name)
{
    for (auto &d : devices())
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

uint32_t Container::type() const
{
    if (signKey.empty() && exchKey.empty())
        return 0;
    const Pkey key = loadPrivateKey(signKey.empty() ? exchKey : signKey);
    return key && EVP_PKEY_is_a(key.get(), "RSA") ? 1 : 2;
}

Application defaultApplication(std::string name, std::string adminPin, uint32_t adminRetry, std::string userPin,
                               uint32_t userRetry, uint32_t createRights)
{
    Application app;
    app.uid = nextUid();
    app.name = std::move(name);
    app.admin = {std::move(adminPin), adminRetry, adminRetry, true};
    app.user = {std::move(userPin), userRetry, userRetry, true};
    app.createFileRights = createRights;
    return app;
}

// Written beside the old copy and swapped in, so a failed save leaves the old state readable.
void save(const Device &device)
{
    const char *dir = storeDir();
    if (!dir)
        return;
    std::error_code ec;
    const fs::path root(dir), target = root / device.name, fresh = root / ("." + device.name + ".new");
    fs::remove_all(fresh, ec);
    fs::create_directories(fresh, ec);
    bool ok = writeIni(fresh / "device.ini", {{"serial", oneLine(device.serial)},
                                              {"label", oneLine(device.label)},
                                              {"manufacturer", oneLine(device.manufacturer)},
                                              {"issuer", oneLine(device.issuer)},
                                              {"devauthalg", std::to_string(device.devAuthAlg)},
                                              {"authkey", hex(device.authKey)}});
    for (size_t i = 0; ok && i < device.apps.size(); ++i) {
        const Application &app = device.apps[i];
        const fs::path appDir = fresh / app.name;
        fs::create_directories(appDir / "files", ec);
        fs::create_directories(appDir / "containers", ec);
        Ini ini = pinIni("admin", app.admin);
        ini.merge(pinIni("user", app.user));
        ini["createrights"] = std::to_string(app.createFileRights);
        ini["order"] = std::to_string(i);
        ok = writeIni(appDir / "app.ini", ini);
        for (const auto &[name, file] : app.files)
            ok = ok && writeIni(appDir / "files" / (name + ".ini"), {{"read", std::to_string(file.readRights)},
                                                                     {"write", std::to_string(file.writeRights)},
                                                                     {"data", hex(file.data)}});
        for (const auto &[name, c] : app.containers)
            ok = ok && writeIni(appDir / "containers" / (name + ".ini"), {{"signkey", hex(c.signKey)},
                                                                          {"exchkey", hex(c.exchKey)},
                                                                          {"signcert", hex(c.signCert)},
                                                                          {"exchcert", hex(c.exchCert)}});
    }
    if (ok) {
        fs::remove_all(target, ec);
        fs::rename(fresh, target, ec);
    } else {
        fs::remove_all(fresh, ec);
    }
}

uint32_t usedSpace(const Device &device)
{
    size_t used = 0;
    for (const auto &app : device.apps) {
        for (const auto &f : app.files)
            used += f.second.data.size();
        for (const auto &c : app.containers)
            used +=
                c.second.signKey.size() + c.second.exchKey.size() + c.second.signCert.size() + c.second.exchCert.size();
    }
    return static_cast<uint32_t>(std::min<size_t>(used, kTotalSpace));
}

uint32_t putBytes(const Bytes &data, uint8_t *out, uint32_t *outLen)
{
    if (!outLen)
        return SAR_INVALIDPARAMERR;
    const uint32_t needed = static_cast<uint32_t>(data.size());
    if (out && *outLen < needed) {
        *outLen = needed;
        return SAR_BUFFER_TOO_SMALL;
    }
    if (out && needed)
        std::memcpy(out, data.data(), needed);
    *outLen = needed;
    return SAR_OK;
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
    const size_t n = pin ? std::strlen(pin) : 0;
    return n >= 6 && n <= 16;
}

bool allowed(uint32_t rights, const AppObject &session)
{
    return rights == kAnyone || ((rights & kAdmin) && session.admin) || ((rights & kUser) && session.user);
}

} // namespace softtoken

#include "Session.h"

#include "StdoutAside.h"
#include "skf/NameList.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

namespace kxfhost {

namespace {

// The two-call convention: ask for the size, then fetch into a zero-filled buffer of that size.
uint32_t fetchList(const std::function<uint32_t(char *, uint32_t *)> &call, std::vector<std::string> &names)
{
    uint32_t size = 0;
    uint32_t rc = call(nullptr, &size);
    if (rc != SAR_OK || size == 0)
        return rc;
    std::vector<char> buffer;
    if (!ukey::allocateList(buffer, size))
        return SAR_FAIL; // a vendor that claims a list this long is not believed
    uint32_t length = size;
    rc = call(buffer.data(), &length);
    if (rc != SAR_OK)
        return rc;
    ukey::NameList listed;
    ukey::splitNameList(buffer.data(), std::min(length, size), listed);
    // An empty list comes back as one empty name.
    for (auto &name : listed)
        if (!name.empty())
            names.push_back(std::move(name));
    return rc;
}

// Strings whose length is written, never read: the buffer must hold a 32-byte field and its NUL.
uint32_t fetchString(const std::function<uint32_t(char *, uint32_t *)> &call, std::string &text)
{
    uint32_t length = 0;
    uint32_t rc = call(nullptr, &length);
    if (rc != SAR_OK)
        return rc;
    std::vector<char> buffer(std::max<size_t>(length, 64) + 1, '\0');
    rc = call(buffer.data(), &length);
    if (rc == SAR_OK)
        text = field(buffer.data(), buffer.size() - 1);
    return rc;
}

} // namespace

std::string field(const char *text, size_t size)
{
    return std::string(text, ukey::fieldLength(text, size));
}

Session::~Session()
{
    uinit();
    unload();
}

bool Session::load(const std::string &adaptorPath, std::string &error)
{
    if (!fileExists(adaptorPath)) {
        error = "no such file";
        return false;
    }
    if (!library_.open(adaptorPath, error))
        return false;
    auto load = reinterpret_cast<PFN_KXF_Load>(library_.symbol("KXF_Load"));
    unload_ = reinterpret_cast<PFN_KXF_Unload>(library_.symbol("KXF_Unload"));
    if (!load || !unload_) {
        error = "KXF_Load or KXF_Unload is not exported";
        return false;
    }
    const uint32_t rc = load(&table_);
    if (rc != SAR_OK || !table_) {
        error = "KXF_Load failed";
        table_ = nullptr;
        return false;
    }
    return true;
}

uint32_t Session::init(const std::string &typeName, const std::string &vendorPath, KXF_LogCallback callback)
{
    uint32_t rc = SAR_OK;
    {
        const StdoutAside aside;
        rc = kxf().Init_SDK(typeName.c_str(), vendorPath.c_str(), callback, 0);
    }
    initialised_ = true; // the type name is stored even when loading the vendor library failed
    return rc;
}

uint32_t Session::uinit()
{
    if (!initialised_ || !table_)
        return SAR_OK;
    initialised_ = false;
    return kxf().Uinit_SDK();
}

uint32_t Session::unload()
{
    if (!table_)
        return SAR_OK;
    table_ = nullptr;
    const uint32_t rc = unload_();
    library_.close();
    return rc;
}

uint32_t Session::enumDevices(std::vector<std::string> &names) const
{
    return fetchList([this](char *b, uint32_t *n) { return kxf().EnumDev(b, n); }, names);
}

uint32_t Session::serialByDevName(const std::string &devName, std::string &serial) const
{
    return fetchString([&](char *b, uint32_t *n) { return kxf().GetSerialNumberByDevName(devName.c_str(), b, n); },
                       serial);
}

uint32_t Session::connect(const std::string &devName, uint32_t &dev) const
{
    return kxf().ConnectDev(devName.c_str(), &dev);
}

uint32_t Session::label(uint32_t dev, std::string &text) const
{
    return fetchString([&](char *b, uint32_t *n) { return kxf().GetLabelName(dev, b, n); }, text);
}

uint32_t Session::serial(uint32_t dev, std::string &text) const
{
    return fetchString([&](char *b, uint32_t *n) { return kxf().GetSerialNumber(dev, b, n); }, text);
}

uint32_t Session::enumFiles(uint32_t dev, std::vector<std::string> &names) const
{
    return fetchList([&](char *b, uint32_t *n) { return kxf().EnumFiles(dev, b, n); }, names);
}

uint32_t Session::enumContainers(uint32_t dev, std::vector<std::string> &names) const
{
    return fetchList([&](char *b, uint32_t *n) { return kxf().EnumContainer(dev, b, n); }, names);
}

} // namespace kxfhost

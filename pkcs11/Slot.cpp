#include "Slot.h"

#include <algorithm>
#include <cstring>

namespace ukeyp11 {

// Never destroyed: at exit the adaptor copies may already be torn down, and only C_Finalize may
// call into them.
Module &module()
{
    static Module *m = new Module;
    return *m;
}

void pad(CK_UTF8CHAR *field, size_t size, const std::string &text)
{
    std::memset(field, ' ', size);
    std::memcpy(field, text.data(), std::min(size, text.size()));
}

CK_RV hold(CK_SESSION_HANDLE handle, Held &out)
{
    Module &m = module();
    {
        std::lock_guard<std::mutex> lock(m.lock);
        if (!m.initialized)
            return CKR_CRYPTOKI_NOT_INITIALIZED;
        const auto it = m.sessions.find(handle);
        if (it == m.sessions.end())
            return CKR_SESSION_HANDLE_INVALID;
        out.session = it->second;
        out.slot = m.slots[it->second->slot];
    }
    out.guard = std::unique_lock<std::mutex>(out.slot->lock);
    return out.session->closed ? CKR_SESSION_HANDLE_INVALID : CKR_OK;
}

CK_RV Slot::connect()
{
    if (dev != 0)
        return CKR_OK;
    std::lock_guard<std::mutex> guard(adaptor->connectLock);
    uint32_t handle = 0;
    const uint32_t rc = adaptor->kxf()->ConnectDev(device.c_str(), &handle);
    if (rc != SAR_OK || handle == 0)
        return rc == SAR_OK ? CKR_DEVICE_ERROR : CKR_TOKEN_NOT_PRESENT;
    dev = handle;
    return CKR_OK;
}

// The table has no call that clears the key's security state; closing the connection does.
void Slot::disconnect()
{
    if (dev != 0) {
        std::lock_guard<std::mutex> guard(adaptor->connectLock);
        adaptor->kxf()->DisConnectDev(dev);
    }
    dev = 0;
    user = kNobody;
    objects.clear();
    loaded = false;
}

DEVINFO Slot::devInfo()
{
    DEVINFO info{};
    uint32_t len = sizeof info;
    if (dev == 0 || adaptor->kxf()->GetDevInfo(dev, &info, &len) != SAR_OK)
        std::memset(&info, 0, sizeof info);
    return info;
}

CK_RV Slot::slotInfo(CK_SLOT_INFO *info)
{
    std::memset(info, 0, sizeof *info);
    pad(info->slotDescription, sizeof info->slotDescription, adaptor->config().typeName + " " + device);
    pad(info->manufacturerID, sizeof info->manufacturerID, "UKeyAdaptor");
    info->flags = CKF_TOKEN_PRESENT | CKF_REMOVABLE_DEVICE;
    info->hardwareVersion = {1, 0};
    info->firmwareVersion = {1, 0};
    return CKR_OK;
}

namespace {

std::string field(const char *text, size_t size)
{
    return std::string(text, strnlen(text, size));
}

// The adaptor's string answers: a generous buffer, terminated whatever the key wrote.
template <typename F>
std::string askString(F fn, uint32_t dev)
{
    char text[256] = {};
    uint32_t len = sizeof text - 1;
    if (fn(dev, text, &len) != SAR_OK)
        return {};
    return field(text, sizeof text - 1);
}

} // namespace

CK_RV Slot::tokenInfo(CK_TOKEN_INFO *info)
{
    const bool temporary = dev == 0;
    if (const CK_RV rv = connect())
        return rv;
    const DEVINFO di = devInfo();
    std::memset(info, 0, sizeof *info);
    pad(info->label, sizeof info->label, askString(adaptor->kxf()->GetLabelName, dev));
    pad(info->manufacturerID, sizeof info->manufacturerID, field(di.Manufacturer, sizeof di.Manufacturer));
    pad(info->model, sizeof info->model, adaptor->config().typeName);
    // The field holds 16 characters; the tail of a longer serial number is the part that differs.
    std::string serial = askString(adaptor->kxf()->GetSerialNumber, dev);
    if (serial.size() > sizeof info->serialNumber)
        serial = serial.substr(serial.size() - sizeof info->serialNumber);
    pad(info->serialNumber, sizeof info->serialNumber, serial);
    info->flags = CKF_RNG | CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED | CKF_TOKEN_INITIALIZED;
    struct PinFlags {
        uint32_t type;
        CK_FLAGS low, last, locked, change;
    };
    for (const PinFlags &p : {PinFlags{SKF_USER_TYPE, CKF_USER_PIN_COUNT_LOW, CKF_USER_PIN_FINAL_TRY,
                                       CKF_USER_PIN_LOCKED, CKF_USER_PIN_TO_BE_CHANGED},
                              PinFlags{SKF_ADMIN_TYPE, CKF_SO_PIN_COUNT_LOW, CKF_SO_PIN_FINAL_TRY, CKF_SO_PIN_LOCKED,
                                       CKF_SO_PIN_TO_BE_CHANGED}}) {
        uint32_t max = 0, remain = 0;
        int32_t isDefault = 0;
        if (adaptor->kxf()->GetPINInfo(dev, p.type, &max, &remain, &isDefault) != SAR_OK)
            continue;
        info->flags |= (remain < max ? p.low : 0) | (remain == 1 ? p.last : 0) | (remain == 0 ? p.locked : 0) |
                       (isDefault ? p.change : 0);
    }
    info->ulMaxSessionCount = CK_EFFECTIVELY_INFINITE;
    info->ulMaxRwSessionCount = CK_EFFECTIVELY_INFINITE;
    info->ulSessionCount = sessions;
    info->ulRwSessionCount = sessions;
    info->ulMinPinLen = 6;
    info->ulMaxPinLen = 16;
    info->ulTotalPublicMemory = info->ulTotalPrivateMemory = di.TotalSpace;
    info->ulFreePublicMemory = info->ulFreePrivateMemory = di.FreeSpace;
    info->hardwareVersion = {di.HWVersion.major, di.HWVersion.minor};
    info->firmwareVersion = {di.FirmwareVersion.major, di.FirmwareVersion.minor};
    if (temporary && sessions == 0)
        disconnect();
    return CKR_OK;
}

CK_RV Slot::login(CK_USER_TYPE type, const std::string &pin)
{
    if (type != CKU_USER && type != CKU_SO)
        return CKR_USER_TYPE_INVALID;
    if (user != kNobody)
        return user == type ? CKR_USER_ALREADY_LOGGED_IN : CKR_USER_ANOTHER_ALREADY_LOGGED_IN;
    if (const CK_RV rv = connect())
        return rv;
    uint32_t retry = 0;
    const uint32_t rc =
        adaptor->kxf()->VerifyPIN(dev, type == CKU_SO ? SKF_ADMIN_TYPE : SKF_USER_TYPE, pin.c_str(), &retry);
    if (rc != SAR_OK)
        return toCkr(rc);
    user = type;
    objects.clear();
    loaded = false;
    return CKR_OK;
}

CK_RV Slot::logout()
{
    if (user == kNobody)
        return CKR_USER_NOT_LOGGED_IN;
    disconnect();
    return sessions > 0 ? connect() : CKR_OK;
}

CK_RV Slot::setPin(const std::string &oldPin, const std::string &newPin)
{
    if (const CK_RV rv = connect())
        return rv;
    uint32_t retry = 0;
    return toCkr(adaptor->kxf()->ChangePIN(dev, user == CKU_SO ? SKF_ADMIN_TYPE : SKF_USER_TYPE, oldPin.c_str(),
                                           newPin.c_str(), &retry));
}

} // namespace ukeyp11

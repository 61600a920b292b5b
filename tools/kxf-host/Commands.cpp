#include "Commands.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "ResultCodes.h"

namespace kxfhost {

namespace {

int reportFailure(const char *what, uint32_t rc)
{
    std::fprintf(stderr, "kxf-host: %s failed: %s\n", what, describeResult(rc).c_str());
    return 1;
}

std::string field(const char *text, size_t size)
{
    return std::string(text, strnlen(text, size));
}

// Connects the named device, or the first one listed when no name is given.
class Connection {
public:
    Connection(Session &session, const std::string &devName) : session_(session)
    {
        name_ = devName;
        if (name_.empty()) {
            std::vector<std::string> devices;
            rc_ = session_.enumDevices(devices);
            if (rc_ != SAR_OK) {
                reportFailure("KXF_EnumDev", rc_);
                return;
            }
            if (devices.empty()) {
                std::fprintf(stderr, "kxf-host: no device present\n");
                rc_ = SAR_FAIL;
                return;
            }
            name_ = devices.front();
        }
        rc_ = session_.connect(name_, dev_);
        if (rc_ != SAR_OK)
            reportFailure(("KXF_ConnectDev of \"" + name_ + "\"").c_str(), rc_);
    }
    ~Connection()
    {
        if (rc_ == SAR_OK)
            KXF(session_, DisConnectDev)(dev_);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool ok() const { return rc_ == SAR_OK; }
    uint32_t handle() const { return dev_; }
    const std::string &name() const { return name_; }

private:
    Session &session_;
    std::string name_;
    uint32_t dev_ = 0;
    uint32_t rc_ = SAR_FAIL;
};

void printDevInfo(const DEVINFO &info)
{
    std::printf("  version           %u.%u\n", info.Version.major, info.Version.minor);
    std::printf("  manufacturer      %s\n", field(info.Manufacturer, sizeof info.Manufacturer).c_str());
    std::printf("  issuer            %s\n", field(info.Issuer, sizeof info.Issuer).c_str());
    std::printf("  label             %s\n", field(info.Label, sizeof info.Label).c_str());
    std::printf("  serial number     %s\n", field(info.SerialNumber, sizeof info.SerialNumber).c_str());
    std::printf("  hardware version  %u.%u\n", info.HWVersion.major, info.HWVersion.minor);
    std::printf("  firmware version  %u.%u\n", info.FirmwareVersion.major, info.FirmwareVersion.minor);
    std::printf("  symmetric algs    0x%08X\n", static_cast<unsigned>(info.AlgSymCap));
    std::printf("  asymmetric algs   0x%08X\n", static_cast<unsigned>(info.AlgAsymCap));
    std::printf("  hash algs         0x%08X\n", static_cast<unsigned>(info.AlgHashCap));
    std::printf("  device auth alg   0x%08X\n", static_cast<unsigned>(info.DevAuthAlgId));
    std::printf("  total space       %u\n", static_cast<unsigned>(info.TotalSpace));
    std::printf("  free space        %u\n", static_cast<unsigned>(info.FreeSpace));
    std::printf("  max ECC buffer    %u\n", static_cast<unsigned>(info.MaxECCBufferSize));
    std::printf("  max buffer        %u\n", static_cast<unsigned>(info.MaxBufferSize));
}

int printNames(const char *what, uint32_t rc, const std::vector<std::string> &names)
{
    if (rc != SAR_OK)
        return reportFailure(what, rc);
    for (const auto &name : names)
        std::printf("%s\n", name.c_str());
    if (names.empty())
        std::printf("(none)\n");
    return 0;
}

} // namespace

int listDevices(Session &session)
{
    std::vector<std::string> devices;
    const uint32_t rc = session.enumDevices(devices);
    if (rc != SAR_OK)
        return reportFailure("KXF_EnumDev", rc);
    if (devices.empty())
        std::printf("no device present\n");
    for (const auto &name : devices) {
        std::string serial;
        const uint32_t src = session.serialByDevName(name, serial);
        std::printf("%s\t%s\n", name.c_str(), src == SAR_OK ? serial.c_str() : describeResult(src).c_str());
    }
    return 0;
}

int showInfo(Session &session, const std::string &devName)
{
    Connection c(session, devName);
    if (!c.ok())
        return 1;
    std::string label, serial;
    uint32_t total = 0, freeSpace = 0, infoLength = 0;
    DEVINFO info{};
    const uint32_t codes[] = {session.label(c.handle(), label), session.serial(c.handle(), serial),
                              KXF(session, GetTotalSpace)(c.handle(), &total),
                              KXF(session, GetFreeSpace)(c.handle(), &freeSpace),
                              KXF(session, GetDevInfo)(c.handle(), &info, &infoLength)};
    std::printf("device %s (handle %u)\n", c.name().c_str(), static_cast<unsigned>(c.handle()));
    std::printf("  label: %s\n  serial: %s\n  total space: %u\n  free space: %u\n", label.c_str(), serial.c_str(),
                static_cast<unsigned>(total), static_cast<unsigned>(freeSpace));
    if (codes[4] == SAR_OK) {
        std::printf("DEVINFO (%u bytes)\n", static_cast<unsigned>(infoLength));
        printDevInfo(info);
    }
    int exitCode = 0;
    const char *names[] = {"KXF_GetLabelName", "KXF_GetSerialNumber", "KXF_GetTotalSpace", "KXF_GetFreeSpace",
                           "KXF_GetDevInfo"};
    for (size_t i = 0; i < std::size(codes); ++i)
        if (codes[i] != SAR_OK)
            exitCode = reportFailure(names[i], codes[i]);
    return exitCode;
}

int listFiles(Session &session, const std::string &devName)
{
    Connection c(session, devName);
    if (!c.ok())
        return 1;
    std::vector<std::string> names;
    return printNames("KXF_EnumFiles", session.enumFiles(c.handle(), names), names);
}

int listContainers(Session &session, const std::string &devName)
{
    Connection c(session, devName);
    if (!c.ok())
        return 1;
    std::vector<std::string> names;
    return printNames("KXF_EnumContainer", session.enumContainers(c.handle(), names), names);
}

int verifyPin(Session &session, const std::string &devName, const std::string &pin)
{
    Connection c(session, devName);
    if (!c.ok())
        return 1;
    uint32_t retry = 0;
    const uint32_t rc = KXF(session, VerifyPIN)(c.handle(), SKF_USER_TYPE, pin.c_str(), &retry);
    if (rc == SAR_OK) {
        std::printf("user PIN verified\n");
        return 0;
    }
    reportFailure("KXF_VerifyPIN", rc);
    if (rc == SAR_PIN_INCORRECT)
        std::fprintf(stderr, "kxf-host: %u tries left\n", static_cast<unsigned>(retry));
    return 1;
}

} // namespace kxfhost

// Device, PIN, file, container and provisioning commands, and the one command table.
#include "Commands.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "Platform.h"
#include "ResultCodes.h"

namespace kxfhost {

namespace {

using json = nlohmann::ordered_json;

constexpr uint32_t kReadChunk = 4096;

// The type names KXF_Init_SDK knows, with what each one is for.
constexpr const char *kTypes[][2] = {
    {"ukeyskf", "any key whose maker's library follows GM/T 0016 as published"},
    {"skf_Epoint", "HaiNanEpoint keys: device identity stamped, own serial lookup"},
    {"skf_lm", "keys whose file reading needs the maker's own handling"},
    {"skf_bjca", "BJCA keys: connection check and container listing retried"},
    {"skf_zayk", "keys whose one-shot digest needs the maker's own handling"},
    {"skf_netca", "netca keys: device identity stamped"},
    {"skf_gdca", "gdca keys: seal records in the user-data area"},
    {"skf_szca_ft3003", "szca_ft3003 keys, driven through their PKCS #11 library"},
    {"skf_gdca_lmgm3000", "gdca_lmgm3000 keys: device identity stamped"},
    {"skf_gdca_wise", "gdca_wise keys: seal records in the user-data area"},
    {"skf_axca_gm3000", "axca_lmgm3000 keys: device identity stamped"},
    {"skf_cfca_gm", "cfca_gm keys: PIN unblock and private-key decryption of their own"},
    {"skf_ftcx_gm3000", "ftcx_gm3000 keys: own key initialisation"},
    {"skf_szca_ft3000gm", "szca_ft3000gm keys: one adaptor per device name"},
    {"skf_gdca_ft3000gm", "gdca_ft3000gm keys: seal records in the user-data area"},
    {"skf_bj_haitai", "bj_haitai_ge20052 keys: device identity stamped"},
};

const std::string &arg(const Context &ctx, size_t i)
{
    static const std::string none;
    return i < ctx.opt.args.size() ? ctx.opt.args[i] : none;
}

bool parseNumber(const std::string &text, uint32_t &value)
{
    char *end = nullptr;
    const unsigned long n = std::strtoul(text.c_str(), &end, 0);
    value = static_cast<uint32_t>(n);
    return !text.empty() && *end == '\0' && n <= UINT32_MAX;
}

bool parseRights(const Context &ctx, const std::string &text, uint32_t &rights)
{
    static const std::pair<const char *, uint32_t> names[] = {
        {"never", 0x00}, {"admin", 0x01}, {"user", 0x10}, {"anyone", 0xFF}};
    for (const auto &[name, value] : names)
        if (text == name) {
            rights = value;
            return true;
        }
    if (parseNumber(text, rights))
        return true;
    ctx.error("access rights \"" + text + "\": use never, admin, user, anyone or a number");
    return false;
}

const char *containerTypeName(uint32_t type)
{
    return type == kContainerRsa ? "RSA" : type == kContainerSm2 ? "SM2" : "empty";
}

int types(Context &ctx)
{
    ctx.out = json::array();
    for (const auto &row : kTypes) {
        ctx.out.push_back({{"name", row[0]}, {"use", row[1]}});
        std::string name = row[0];
        name.resize(std::max<size_t>(name.size() + 1, 20), ' ');
        ctx.text += name + row[1] + "\n";
    }
    return kExitOk;
}

int devices(Context &ctx)
{
    std::vector<std::string> names;
    const uint32_t rc = ctx.session.enumDevices(names);
    if (rc != SAR_OK)
        return ctx.failed("KXF_EnumDev", rc);
    ctx.out = json::array();
    for (const auto &name : names) {
        std::string serial;
        const uint32_t src = ctx.session.serialByDevName(name, serial);
        ctx.out.push_back({{"name", name}, {"serial", src == SAR_OK ? serial : describeResult(src)}});
    }
    return kExitOk;
}

int info(Context &ctx)
{
    std::string label, serial;
    uint32_t total = 0, freeSpace = 0, length = 0;
    DEVINFO d{};
    const uint32_t codes[] = {ctx.session.label(ctx.dev, label), ctx.session.serial(ctx.dev, serial),
                              ctx.session.kxf().GetTotalSpace(ctx.dev, &total),
                              ctx.session.kxf().GetFreeSpace(ctx.dev, &freeSpace),
                              ctx.session.kxf().GetDevInfo(ctx.dev, &d, &length)};
    const char *entries[] = {"KXF_GetLabelName", "KXF_GetSerialNumber", "KXF_GetTotalSpace", "KXF_GetFreeSpace",
                             "KXF_GetDevInfo"};
    int status = kExitOk;
    for (size_t i = 0; i < std::size(codes); ++i)
        if (codes[i] != SAR_OK)
            status = ctx.failed(entries[i], codes[i]);
    auto version = [](VERSION v) { return std::to_string(v.major) + "." + std::to_string(v.minor); };
    ctx.out = {{"device", ctx.devName},
               {"label", label},
               {"serial", serial},
               {"total_space", total},
               {"free_space", freeSpace}};
    if (codes[4] == SAR_OK)
        ctx.out["devinfo"] = {{"version", version(d.Version)},
                              {"manufacturer", field(d.Manufacturer, sizeof d.Manufacturer)},
                              {"issuer", field(d.Issuer, sizeof d.Issuer)},
                              {"label", field(d.Label, sizeof d.Label)},
                              {"serial", field(d.SerialNumber, sizeof d.SerialNumber)},
                              {"hardware_version", version(d.HWVersion)},
                              {"firmware_version", version(d.FirmwareVersion)},
                              {"sym_algs", d.AlgSymCap},
                              {"asym_algs", d.AlgAsymCap},
                              {"hash_algs", d.AlgHashCap},
                              {"dev_auth_alg", d.DevAuthAlgId},
                              {"total_space", d.TotalSpace},
                              {"free_space", d.FreeSpace},
                              {"max_ecc_buffer", d.MaxECCBufferSize},
                              {"max_buffer", d.MaxBufferSize}};
    return status;
}

int labelSet(Context &ctx)
{
    const uint32_t rc = ctx.session.kxf().SetLabel(ctx.dev, arg(ctx, 0).c_str());
    return rc == SAR_OK ? kExitOk : ctx.failed("KXF_SetLabel", rc);
}

uint32_t pinType(const Context &ctx)
{
    return ctx.opt.admin ? SKF_ADMIN_TYPE : SKF_USER_TYPE;
}

int pinVerify(Context &ctx)
{
    if (!ctx.login(ctx.opt.admin))
        return kExitFailed;
    ctx.out = {{"pin", ctx.opt.admin ? "administrator" : "user"}, {"verified", true}};
    ctx.text = ctx.opt.admin ? "administrator PIN verified\n" : "user PIN verified\n";
    return kExitOk;
}

int pinChange(Context &ctx)
{
    const std::string who = ctx.opt.admin ? "administrator PIN" : "user PIN";
    std::string oldPin, newPin;
    if (!ctx.secret("current " + who, oldPin) || !ctx.secret("new " + who, newPin))
        return kExitFailed;
    uint32_t retry = 0;
    const uint32_t rc = ctx.session.kxf().ChangePIN(ctx.dev, pinType(ctx), oldPin.c_str(), newPin.c_str(), &retry);
    if (rc != SAR_OK)
        return ctx.failed("KXF_ChangePIN", rc, rc == SAR_PIN_INCORRECT ? std::to_string(retry) + " tries left" : "");
    return kExitOk;
}

int pinUnblock(Context &ctx)
{
    std::string adminPin, userPin;
    if (!ctx.secret("administrator PIN", adminPin) || !ctx.secret("new user PIN", userPin))
        return kExitFailed;
    uint32_t retry = 0;
    const uint32_t rc = ctx.session.kxf().UnblockPIN(ctx.dev, adminPin.c_str(), userPin.c_str(), &retry);
    if (rc != SAR_OK)
        return ctx.failed("KXF_UnblockPIN", rc, rc == SAR_PIN_INCORRECT ? std::to_string(retry) + " tries left" : "");
    return kExitOk;
}

int pinInfo(Context &ctx)
{
    uint32_t maxRetry = 0, remain = 0;
    int32_t isDefault = 0;
    const uint32_t rc = ctx.session.kxf().GetPINInfo(ctx.dev, pinType(ctx), &maxRetry, &remain, &isDefault);
    if (rc != SAR_OK)
        return ctx.failed("KXF_GetPINInfo", rc);
    ctx.out = {{"pin", ctx.opt.admin ? "administrator" : "user"},
               {"max_retries", maxRetry},
               {"retries_left", remain},
               {"default", isDefault != 0}};
    return kExitOk;
}

int printNames(Context &ctx, const char *entry, uint32_t rc, const std::vector<std::string> &names)
{
    if (rc != SAR_OK)
        return ctx.failed(entry, rc);
    ctx.out = names;
    return kExitOk;
}

int filesList(Context &ctx)
{
    std::vector<std::string> names;
    return printNames(ctx, "KXF_EnumFiles", ctx.session.enumFiles(ctx.dev, names), names);
}

int filesRead(Context &ctx)
{
    Bytes data;
    for (uint32_t offset = ctx.opt.offset;;) {
        uint8_t chunk[kReadChunk];
        uint32_t length = sizeof chunk;
        const uint32_t rc =
            ctx.session.kxf().ReadFile(ctx.dev, arg(ctx, 0).c_str(), offset, kReadChunk, chunk, &length);
        if (rc != SAR_OK)
            return ctx.failed("KXF_ReadFile", rc, "file \"" + arg(ctx, 0) + "\"");
        length = std::min<uint32_t>(length, kReadChunk); // never trust a length beyond our buffer
        data.insert(data.end(), chunk, chunk + length);
        offset += length;
        if (length < kReadChunk)
            break;
    }
    if (!ctx.opt.out.empty())
        return ctx.writeOutput(ctx.opt.out, data) ? kExitOk : kExitFailed;
    ctx.out = {{"file", arg(ctx, 0)}, {"size", data.size()}, {"hex", toHex(data)}};
    if (!ctx.opt.json) {
        std::fwrite(data.data(), 1, data.size(), stdout);
        ctx.printed = true;
    }
    return kExitOk;
}

int filesWrite(Context &ctx)
{
    Bytes data;
    if (!ctx.readInput(ctx.opt.in, data) || !ctx.login())
        return kExitFailed;
    const uint32_t rc = ctx.session.kxf().WriteFile(ctx.dev, arg(ctx, 0).c_str(), ctx.opt.offset, data.data(),
                                                    static_cast<uint32_t>(data.size()));
    return rc == SAR_OK ? kExitOk : ctx.failed("KXF_WriteFile", rc, "file \"" + arg(ctx, 0) + "\"");
}

int filesCreate(Context &ctx)
{
    uint32_t size = 0, readRights = 0, writeRights = 0;
    if (!parseNumber(arg(ctx, 1), size))
        return ctx.error("file size \"" + arg(ctx, 1) + "\" is not a number");
    if (!parseRights(ctx, ctx.opt.readRights, readRights) || !parseRights(ctx, ctx.opt.writeRights, writeRights) ||
        !ctx.login())
        return kExitFailed;
    const uint32_t rc = ctx.session.kxf().CreateFile(ctx.dev, arg(ctx, 0).c_str(), size, readRights, writeRights);
    return rc == SAR_OK ? kExitOk : ctx.failed("KXF_CreateFile", rc, "file \"" + arg(ctx, 0) + "\"");
}

int filesDelete(Context &ctx)
{
    if (!ctx.login())
        return kExitFailed;
    const uint32_t rc = ctx.session.kxf().DeleteFile(ctx.dev, arg(ctx, 0).c_str());
    return rc == SAR_OK ? kExitOk : ctx.failed("KXF_DeleteFile", rc, "file \"" + arg(ctx, 0) + "\"");
}

int containersList(Context &ctx)
{
    std::vector<std::string> names;
    return printNames(ctx, "KXF_EnumContainer", ctx.session.enumContainers(ctx.dev, names), names);
}

int containersCreate(Context &ctx)
{
    if (!ctx.login())
        return kExitFailed;
    HCONTAINER handle = nullptr;
    const uint32_t rc = ctx.session.kxf().CreateContainer(ctx.dev, arg(ctx, 0).c_str(), &handle);
    if (rc != SAR_OK)
        return ctx.failed("KXF_CreateContainer", rc, "container \"" + arg(ctx, 0) + "\"");
    ctx.session.kxf().CloseContainer(ctx.dev, handle);
    return kExitOk;
}

int containersDelete(Context &ctx)
{
    if (!ctx.login())
        return kExitFailed;
    const uint32_t rc = ctx.session.kxf().DeleteContainer(ctx.dev, arg(ctx, 0).c_str());
    return rc == SAR_OK ? kExitOk : ctx.failed("KXF_DeleteContainer", rc, "container \"" + arg(ctx, 0) + "\"");
}

int containersType(Context &ctx)
{
    Container c(ctx, arg(ctx, 0));
    if (!c.ok())
        return kExitFailed;
    ctx.out = {{"container", arg(ctx, 0)}, {"type", containerTypeName(c.type())}};
    ctx.text = std::string(containerTypeName(c.type())) + "\n";
    return kExitOk;
}

int format(Context &ctx)
{
    if (!ctx.confirm("format deletes every file of the application on \"" + ctx.devName + "\"."))
        return kExitFailed;
    // Logged in first, so that files only the user may delete go too.
    std::string oldPin, newPin;
    if (!ctx.secret("current user PIN", oldPin) || !ctx.secret("new user PIN", newPin))
        return kExitFailed;
    uint32_t retry = 0;
    const uint32_t login = ctx.session.kxf().VerifyPIN(ctx.dev, SKF_USER_TYPE, oldPin.c_str(), &retry);
    if (login != SAR_OK)
        return ctx.failed("KXF_VerifyPIN", login);
    const uint32_t rc = ctx.session.kxf().FormatKey(ctx.dev, newPin.c_str(), oldPin.c_str());
    return rc == SAR_OK ? kExitOk : ctx.failed("KXF_FormatKey", rc);
}

int initialise(Context &ctx)
{
    if (!ctx.confirm("initialise deletes every application on \"" + ctx.devName + "\" with all it holds."))
        return kExitFailed;
    std::string authKey, adminPin, userPin;
    if (!ctx.secret("device authentication key (Base64)", authKey) || !ctx.secret("new administrator PIN", adminPin) ||
        !ctx.secret("new user PIN", userPin))
        return kExitFailed;
    const uint32_t rc =
        ctx.session.kxf().InitialKey(ctx.dev, authKey.c_str(), adminPin.c_str(), userPin.c_str(), ctx.opt.app.c_str());
    return rc == SAR_OK ? kExitOk : ctx.failed("KXF_InitialKey", rc);
}

// The e-seal words are the maker's: the data, its length (in: room, out: size) and a zero flag word.
int sealWrite(Context &ctx)
{
    Bytes data;
    if (!ctx.readInput(ctx.opt.in, data) || !ctx.login())
        return kExitFailed;
    const uint32_t rc =
        ctx.session.kxf().EPS_WriteESealData(ctx.dev, reinterpret_cast<uintptr_t>(data.data()), data.size(), 0);
    return rc == SAR_OK ? kExitOk : ctx.failed("KXEPS_WriteESealData", rc);
}

int sealRead(Context &ctx)
{
    Bytes data(64 * 1024);
    uint32_t length = static_cast<uint32_t>(data.size());
    const uint32_t rc = ctx.session.kxf().EPS_ReadESealData(ctx.dev, reinterpret_cast<uintptr_t>(data.data()),
                                                            reinterpret_cast<uintptr_t>(&length), 0, 0, 0);
    if (rc != SAR_OK)
        return ctx.failed("KXEPS_ReadESealData", rc);
    data.resize(std::min<size_t>(length, data.size()));
    if (!ctx.opt.out.empty())
        return ctx.writeOutput(ctx.opt.out, data) ? kExitOk : kExitFailed;
    ctx.out = {{"size", data.size()}, {"hex", toHex(data)}};
    return kExitOk;
}

using CreateToken = uint32_t(KXF_CALL *)(const char *folder, const char *deviceName, const char *serialNumber,
                                         const char *label, const char *adminPin, const char *userPin);

int tokenCreate(Context &ctx)
{
    const Options &o = ctx.opt;
    if (o.folder.empty() || o.name.empty() || o.serial.empty() || o.label.empty())
        return ctx.error("token create needs --folder, --name, --serial and --label");
    SharedLibrary vendor;
    std::string why;
    if (!vendor.open(o.vendorPath, why))
        return ctx.error("cannot load the vendor library " + o.vendorPath + ": " + why + " (use --vendor PATH)");
    auto create = reinterpret_cast<CreateToken>(vendor.symbol("SKFSOFT_CreateToken"));
    if (!create)
        return ctx.error(o.vendorPath + " does not export SKFSOFT_CreateToken; token create needs the software token");
    std::string adminPin, userPin;
    if (!ctx.secret("administrator PIN", adminPin) || !ctx.secret("user PIN", userPin))
        return kExitFailed;
    const uint32_t rc =
        create(o.folder.c_str(), o.name.c_str(), o.serial.c_str(), o.label.c_str(), adminPin.c_str(), userPin.c_str());
    if (rc != SAR_OK)
        return ctx.failed("SKFSOFT_CreateToken", rc, "folder " + o.folder);
    std::fprintf(stderr, "kxf-host: token \"%s\" created; use it with SKFSOFT_DIR=%s\n", o.name.c_str(),
                 o.folder.c_str());
    return kExitOk;
}

} // namespace

const std::vector<Command> &commands()
{
    // clang-format off
    static const std::vector<Command> table = {
        {"types", "", "", "list the type names --type takes, and what each is for", Needs::Nothing, types},
        {"devices", "", "", "list the devices present with their serial numbers", Needs::Sdk, devices},
        {"info", "", "", "label, serial number, space and the device information record", Needs::Device, info},
        {"label set", "LABEL", "", "set the device label", Needs::Device, labelSet},
        {"pin verify", "", "admin", "verify the user PIN (administrator PIN with --admin)", Needs::Device, pinVerify},
        {"pin change", "", "admin", "change the user PIN (administrator PIN with --admin): current, then new", Needs::Device, pinChange},
        {"pin unblock", "", "", "unblock the user PIN: administrator PIN, then the new user PIN", Needs::Device, pinUnblock},
        {"pin info", "", "admin", "retry counters and default flag of the user (or administrator) PIN", Needs::Device, pinInfo},
        {"files list", "", "", "list the files of the application", Needs::Device, filesList},
        {"files read", "NAME", "out,offset", "print a file's content (or write it to --out)", Needs::Device, filesRead},
        {"files write", "NAME", "in,offset", "write --in (standard input by default) into a file", Needs::Device, filesWrite},
        {"files create", "NAME SIZE", "read-rights,write-rights", "create a file of SIZE bytes", Needs::Device, filesCreate},
        {"files delete", "NAME", "", "delete a file", Needs::Device, filesDelete},
        {"containers list", "", "", "list the containers", Needs::Device, containersList},
        {"containers create", "NAME", "", "create an empty container", Needs::Device, containersCreate},
        {"containers delete", "NAME", "", "delete a container with its keys and certificates", Needs::Device, containersDelete},
        {"containers type", "NAME", "", "say whether a container holds RSA or SM2 keys, or none", Needs::Device, containersType},
        {"keygen sm2", "CONTAINER", "out,der", "generate an SM2 signing key pair (the container is made if absent)", Needs::Device, cmdKeygen},
        {"keygen rsa", "CONTAINER", "bits,out,der", "generate an RSA signing key pair (--bits, default 2048)", Needs::Device, cmdKeygen},
        {"pubkey export", "CONTAINER", "exchange,out,der", "export the signing (or --exchange) public key as PEM or DER", Needs::Device, cmdPubkeyExport},
        {"sign", "CONTAINER", "in,out,hash,id", "sign --in: SM2 with SM3 and --id, or RSA with a DigestInfo of --hash", Needs::Device, cmdSign},
        {"verify", "[CONTAINER]", "in,sig,pubkey,hash,id", "verify --sig over --in with --pubkey or the container's key", Needs::Device, cmdVerify},
        {"cert import", "CONTAINER FILE", "exchange", "import a PEM or DER certificate as the signing (or --exchange) certificate", Needs::Device, cmdCertImport},
        {"cert export", "CONTAINER", "exchange,out,der", "export the signing (or --exchange) certificate as PEM or DER", Needs::Device, cmdCertExport},
        {"digest", "", "in,hash", "hash --in on the key (--hash sm3, sha1 or sha256)", Needs::Device, cmdDigest},
        {"encrypt", "CONTAINER", "in,out", "encrypt --in with a new SM4 key wrapped for the container", Needs::Device, cmdEncrypt},
        {"decrypt", "CONTAINER", "in,out", "decrypt what encrypt wrote, unwrapping its key in the container", Needs::Device, cmdDecrypt},
        {"mac", "CONTAINER", "in,key", "SM4 MAC of --in under the session key in --key (made and wrapped when absent)", Needs::Device, cmdMac},
        {"seal read", "", "out", "read the e-seal data (where the maker's library offers it)", Needs::Device, sealRead},
        {"seal write", "", "in", "write the e-seal data (where the maker's library offers it)", Needs::Device, sealWrite},
        {"format", "", "", "delete every file and set the user PIN: current PIN, then new PIN", Needs::Device, format},
        {"initialise", "", "app", "authenticate with the device key, delete every application, create --app", Needs::Device, initialise},
        {"token create", "", "folder,name,serial,label", "create a software token in --folder: administrator, then user PIN", Needs::Nothing, tokenCreate},
        {"demo", "", "", "guided end-to-end run through the table (the software token's user PIN by default)", Needs::Loaded, cmdDemo},
    };
    // clang-format on
    return table;
}

bool isKnownType(const std::string &name)
{
    return std::any_of(std::begin(kTypes), std::end(kTypes), [&](const auto &row) { return name == row[0]; });
}

} // namespace kxfhost

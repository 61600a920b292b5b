#include "library/Pkcs11EntryPoints.h"

#include <QPointer>

#include "library/NDMLibrary.h"

namespace ukey {
namespace {

Pkcs11EntryPoints g_p11;
// Tracks destruction, so a freed library at a reused address is never taken for ours.
QPointer<NDMLibrary> g_library;
const Pkcs11EntryPoints kNone;

} // namespace

const Pkcs11EntryPoints &p11()
{
    if (g_library.isNull() || g_library.data() != currentVendorLibrary())
        return kNone;
    return g_p11;
}

void resolvePkcs11(NDMLibrary *library)
{
    g_p11 = Pkcs11EntryPoints{};
    g_library = library;
    if (!library)
        return;
#define UKEY_P11_RESOLVE(name) g_p11.name = reinterpret_cast<CK_##name>(library->resolve(#name));
    UKEY_P11_ENTRY_POINTS(UKEY_P11_RESOLVE)
#undef UKEY_P11_RESOLVE
}

void clearPkcs11()
{
    g_p11 = Pkcs11EntryPoints{};
    g_library = nullptr;
}

} // namespace ukey

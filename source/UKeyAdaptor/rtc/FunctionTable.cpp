#include <new>

#include "rtc/Entries.h"

namespace {

void **g_table = nullptr;

} // namespace

extern "C" KXF_EXPORT uint32_t KXF_CALL KXF_Load(void ***table)
{
    if (!g_table) {
        g_table = new (std::nothrow) void *[KXF_TABLE_SIZE];
        if (g_table) {
// The cast to the entry's own type fails to compile where a definition strays from the list.
#define UKEY_FILL_ENTRY(prefix, name, index, params)                                                                   \
    g_table[index] = reinterpret_cast<void *>(static_cast<PFN_##prefix##_##name>(&ukey::rtc::prefix##_##name));
            KXF_ENTRIES(UKEY_FILL_ENTRY)
#undef UKEY_FILL_ENTRY
        }
    }
    if (table)
        *table = g_table;
    return 0;
}

extern "C" KXF_EXPORT uint32_t KXF_CALL KXF_Unload(void)
{
    delete[] g_table;
    g_table = nullptr;
    return 0;
}

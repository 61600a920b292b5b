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
            int i = 0;
#define UKEY_FILL_ENTRY(name) g_table[i++] = reinterpret_cast<void *>(ukey::rtc::name);
            UKEY_ENTRY_LIST(UKEY_FILL_ENTRY)
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

// The mock variants export what their names promise, so that the load tests exercise what they claim.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <iterator>
#include <set>
#include <string>

#include "library/SkfEntryPoints.h"

namespace ukey {
namespace {

TEST(MockLibrary, EachVariantLacksExactlyItsNames)
{
    const std::set<std::string> seal = {"EPS_Decrypt",       "EPS_Encrypt",        "EPS_ImportSymmKey", "EPS_Mac",
                                        "EPS_ReadESealData", "EPS_WriteESealData", "SKF_Transmit"};
    const std::pair<const char *, std::set<std::string>> variants[] = {
        {MOCK_SKF_PATH, {}},
        {MOCK_SKF_NOEPS_PATH, seal},
        {MOCK_SKF_NOSETSYMMKEY_PATH, {"SKF_SetSymmKey"}},
        {MOCK_SKF_NOPRVKEYDECRYPT_PATH, {"SKF_PrvKeyDecrypt"}},
    };
#define UKEY_NAME(name, required) #name,
    const char *const names[] = {UKEY_SKF_ENTRY_POINTS(UKEY_NAME) "SKF_PrvKeyDecrypt", "mock_state"};
#undef UKEY_NAME
    static_assert(std::size(names) == kSkfEntryPointCount + 2, "the table's names");
    for (const auto &[path, missing] : variants) {
        void *library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        for (const auto &name : names)
            EXPECT_EQ(dlsym(library, name) != nullptr, missing.count(name) == 0) << path << ": " << name;
        dlclose(library);
    }
}

} // namespace
} // namespace ukey

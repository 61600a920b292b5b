#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

namespace {

std::set<std::string> definedDynamicSymbols(const std::string &library)
{
    const std::string command = std::string(UKEY_NM_PATH) + " -D --defined-only -j '" + library + "'";
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return {};
    std::set<std::string> names;
    char name[512];
    while (std::fscanf(pipe, "%511s", name) == 1)
        names.emplace(name, std::strcspn(name, "@"));
    EXPECT_EQ(pclose(pipe), 0) << command;
    return names;
}

TEST(Exports, OnlyLoadAndUnloadAreExported)
{
    auto names = definedDynamicSymbols(UKEY_ADAPTOR_PATH);
    for (const char *linkerDefined : {"_init", "_fini", "_edata", "_end", "__bss_start"})
        names.erase(linkerDefined);
    EXPECT_EQ(names, (std::set<std::string>{"KXF_Load", "KXF_Unload"}));
}

} // namespace

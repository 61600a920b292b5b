#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

namespace {

TEST(Exports, OnlyLoadAndUnloadAreExported)
{
    const std::string command = std::string(UKEY_NM_PATH) + " -D --defined-only -j '" UKEY_ADAPTOR_PATH "'";
    FILE *pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr) << command;
    std::set<std::string> names;
    char name[512];
    while (std::fscanf(pipe, "%511s", name) == 1)
        names.emplace(name, std::strcspn(name, "@"));
    EXPECT_EQ(pclose(pipe), 0) << command;
    for (const char *linkerDefined : {"_init", "_fini", "_edata", "_end", "__bss_start"})
        names.erase(linkerDefined);
    EXPECT_EQ(names, (std::set<std::string>{"KXF_Load", "KXF_Unload"}));
}

} // namespace

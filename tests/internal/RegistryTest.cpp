#include <gtest/gtest.h>

#include <memory>

#include "registry/AdaptorRegistry.h"
#include "registry/UKeyAdaptorBase.h"

namespace ukey {
namespace {

void expectUnknownToEveryDispatcher(const char *name)
{
    uint32_t size = 0;
    uint32_t length = 0;
    char serial[40] = {};
    EXPECT_EQ(registry::loadLibrary(name, "lib"), 0u);
    EXPECT_EQ(registry::unloadLibrary(name), 0u);
    EXPECT_EQ(registry::enumDevices(name, nullptr, &size), SAR_FAIL);
    EXPECT_EQ(registry::createInstance(name, "dev"), nullptr);
    EXPECT_EQ(registry::serialByDevName(name, "dev", serial, &length), SAR_FAIL);
}

TEST(Registry, FindMatchesExactNamesOnly)
{
    for (const char *name : {"ukeyskf", "skf_lm", "ukeyskf", "skf_bj_haitai"}) {
        const AdaptorTypeDescriptor *d = registry::Find(name);
        ASSERT_NE(d, nullptr) << name;
        EXPECT_STREQ(d->name, name);
        for (const char *miss : {"UKEYSKF", "ukeysk", "ukeyskfx", "skf_lmx", "", static_cast<const char *>(nullptr)})
            EXPECT_EQ(registry::Find(miss), nullptr) << (miss ? miss : "(null)");
    }
}

TEST(Registry, DispatchersAnswerUnknownNames)
{
    for (const char *name : {"skf_unknown", "UKEYSKF", static_cast<const char *>(nullptr)})
        expectUnknownToEveryDispatcher(name);
}

TEST(AdaptorObjects, HandlesCountUpAndAreNeverReused)
{
    const uint32_t next = nextDeviceHandle();
    auto *first = registry::createInstance("ukeyskf", "dev");
    auto *second = registry::createInstance("skf_gdca", "dev");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->GetHandle(), next);
    EXPECT_EQ(second->GetHandle(), next + 1);
    EXPECT_EQ(findAdaptor(next + 1), second);
    delete second;
    EXPECT_EQ(findAdaptor(next + 1), nullptr);
    EXPECT_EQ(findAdaptor(next), first);
    std::unique_ptr<UKeyAdaptorBase> third(registry::createInstance("ukeyskf", "dev"));
    EXPECT_EQ(third->GetHandle(), next + 2);
    delete first;
}

TEST(AdaptorObjects, GenericCreateKeepsTheDeviceNameEvenWhenRefusing)
{
    const char *device = "DeviceSeenByCreate";
    EXPECT_EQ(registry::Find("ukeyskf")->create("UKEYSKF", device), nullptr);
    EXPECT_EQ(g_currentDeviceName.load(), device);
}

} // namespace
} // namespace ukey

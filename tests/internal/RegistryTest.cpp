#include <gtest/gtest.h>

#include <cxxabi.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <typeinfo>

#include "registry/AdaptorRegistry.h"
#include "registry/UKeyAdaptorBase.h"

namespace ukey {
namespace {

struct Type {
    const char *name;
    const char *className;
};

// Slot order of the registry and the class each type makes.
const Type kTypes[] = {{"skf_Epoint", "UKeyAdaptorSKF_HAINANEPOINT"},
                       {"ukeyskf", "UKeyAdaptorSKF"},
                       {"skf_lm", "UKeyAdaptorSKF_LM"},
                       {"skf_bjca", "UKeyAdaptorSKF_BJCA"},
                       {"skf_zayk", "UKeyAdaptorSKF_ZAYK"},
                       {"skf_netca", "UKeyAdaptorSKF_NETCA"},
                       {"skf_gdca", "UKeyAdaptorSKF_GDCA"},
                       {"skf_szca_ft3003", "UKeyAdaptorSKF_SZCA_RSA"},
                       {"skf_gdca_lmgm3000", "UKeyAdaptorSKF_GDCALMGM3000"},
                       {"skf_gdca_wise", "UKeyAdaptorSKF_GDCAWISE"},
                       {"skf_axca_gm3000", "UKeyAdaptorSKF_AXCA_LMGM3000"},
                       {"skf_cfca_gm", "UKetAdaptor_CFCAGM"},
                       {"skf_ftcx_gm3000", "UKeyAdaptorSKF_FTCXGM3000"},
                       {"skf_szca_ft3000gm", "UKEYADAPTORSKF_SZCA_FT3000GM"},
                       {"skf_gdca_ft3000gm", "UKeyAdaptorSKF_GDCAFT3000GM"},
                       {"skf_bj_haitai", "UKeyAdaptorSKF_BJHAITAI"}};

// Tests that empty or overfill the registry run in a child, so the process keeps its registry.
void inChildProcess(const std::function<void()> &body)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_NE(pid, -1);
    if (pid == 0) {
        body();
        std::fflush(nullptr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child's checks failed (see its output)";
}

std::string dynamicTypeName(const UKeyAdaptorBase &object)
{
    int status = 0;
    std::unique_ptr<char, void (*)(void *)> name(abi::__cxa_demangle(typeid(object).name(), nullptr, nullptr, &status),
                                                 std::free);
    return status == 0 ? name.get() : typeid(object).name();
}

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

TEST(Registry, FindMatchesExactNamesAndCachesTheLastHit)
{
    EXPECT_EQ(registry::Find("ukeyskf"), registry::slot(1));
    EXPECT_EQ(registry::cached(), registry::slot(1));
    EXPECT_EQ(registry::Find("ukeyskf"), registry::slot(1));
    EXPECT_EQ(registry::Find("skf_lm"), registry::slot(2));
    EXPECT_EQ(registry::cached(), registry::slot(2));
    for (const char *miss : {"UKEYSKF", "ukeysk", "ukeyskfx", "", static_cast<const char *>(nullptr)}) {
        EXPECT_EQ(registry::Find(miss), nullptr) << (miss ? miss : "(null)");
        EXPECT_EQ(registry::cached(), nullptr);
    }
    EXPECT_EQ(registry::Find("skf_bj_haitai"), registry::slot(15));
}

TEST(Registry, DispatchersAnswerUnknownNames)
{
    for (const char *name : {"skf_unknown", "UKEYSKF", static_cast<const char *>(nullptr)})
        expectUnknownToEveryDispatcher(name);
}

TEST(Registry, ClearForgetsEveryType)
{
    inChildProcess([] {
        ASSERT_NE(registry::Find("ukeyskf"), nullptr);
        registry::Clear();
        EXPECT_EQ(registry::cached(), nullptr);
        for (int i = 0; i < registry::kSlotCount; ++i)
            EXPECT_EQ(registry::slot(i), nullptr);
        for (const auto &t : kTypes)
            EXPECT_EQ(registry::Find(t.name), nullptr) << t.name;
        expectUnknownToEveryDispatcher("ukeyskf");
    });
}

TEST(Registry, RegistrationsBeyondTheSlotsAreDropped)
{
    inChildProcess([] {
        std::vector<std::string> names;
        for (int i = 16; i < registry::kSlotCount; ++i)
            names.push_back("type" + std::to_string(i));
        names.back() = std::string(31, 'z'); // the longest name that fits
        for (const auto &n : names)
            registry::Register({n.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr});
        ASSERT_EQ(registry::registrationCount(), 256);
        std::array<const AdaptorTypeDescriptor *, registry::kSlotCount> before{};
        for (int i = 0; i < registry::kSlotCount; ++i)
            before[i] = registry::slot(i);

        registry::Register({"late", nullptr, nullptr, nullptr, nullptr, nullptr});
        EXPECT_EQ(registry::registrationCount(), 257);
        for (int i = 0; i < registry::kSlotCount; ++i)
            EXPECT_EQ(registry::slot(i), before[i]) << i;
        EXPECT_EQ(registry::Find("late"), nullptr);
        EXPECT_EQ(registry::Find(names.back().c_str()), registry::slot(255));
        // A type without operations is answered like an unknown one.
        expectUnknownToEveryDispatcher("type16");
    });
}

TEST(Registry, SlotsHoldTheSixteenTypesInOrderEachMakingItsOwnClassAndNoOther)
{
    EXPECT_EQ(registry::registrationCount(), 16);
    EXPECT_EQ(registry::slot(16), nullptr);
    for (size_t i = 0; i < std::size(kTypes); ++i) {
        const AdaptorTypeDescriptor *d = registry::slot(static_cast<int>(i));
        ASSERT_NE(d, nullptr) << i;
        EXPECT_STREQ(d->name, kTypes[i].name);
        EXPECT_TRUE(d->load && d->unload && d->enumDev && d->create && d->serial) << d->name;
        std::unique_ptr<UKeyAdaptorBase> object(registry::createInstance(kTypes[i].name, "dev"));
        ASSERT_NE(object, nullptr) << kTypes[i].name;
        const std::string type = dynamicTypeName(*object);
        const std::string suffix = std::string("::") + kTypes[i].className;
        EXPECT_TRUE(type.size() > suffix.size() &&
                    type.compare(type.size() - suffix.size(), suffix.size(), suffix) == 0)
            << kTypes[i].name << " made " << type;

        const std::string own = kTypes[i].name;
        std::string upper = own;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
        std::vector<std::string> others = {upper, own + "x", own.substr(0, own.size() - 1)};
        for (size_t j = 0; j < std::size(kTypes); ++j)
            if (j != i)
                others.push_back(kTypes[j].name);
        for (const auto &other : others)
            EXPECT_EQ(d->create(other.c_str(), "dev"), nullptr) << kTypes[i].name << " made an object for " << other;
    }
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
    EXPECT_EQ(std::count(liveAdaptors().begin(), liveAdaptors().end(), first), 1);
    std::unique_ptr<UKeyAdaptorBase> third(registry::createInstance("ukeyskf", "dev"));
    EXPECT_EQ(third->GetHandle(), next + 2);
    delete first;
}

TEST(AdaptorObjects, GenericCreateKeepsTheDeviceNameEvenWhenRefusing)
{
    const char *device = "DeviceSeenByCreate";
    EXPECT_EQ(registry::slot(1)->create("UKEYSKF", device), nullptr);
    EXPECT_EQ(g_currentDeviceName, device);
}

} // namespace
} // namespace ukey

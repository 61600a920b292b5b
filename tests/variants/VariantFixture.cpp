#include "variants/VariantFixture.h"

#include "registry/AdaptorRegistry.h"
#include "trace/Trace.h"
#include "variants/VariantSupport.h"

namespace ukeytest {

std::vector<std::pair<uint32_t, size_t>> VariantTest::pauses_;

void VariantTest::SetUp()
{
    resetMocks();
    pauses_.clear();
    ukey::trace::g_callback = callback();
    // Bound anew per test: the mock may be mapped elsewhere once the previous test closed it.
    static mock::State *log;
    log = &mock();
    ukey::g_wait = [](uint32_t milliseconds) { pauses_.emplace_back(milliseconds, log->log.size()); };
}

void VariantTest::TearDown()
{
    for (auto *object : objects_)
        delete object;
    if (type_)
        ukey::registry::unloadLibrary(type_);
    ukey::trace::g_callback = nullptr;
    HostFixture::TearDown();
}

ukey::UKeyAdaptorSKF *VariantTest::open(const char *type, const char *library, bool connected)
{
    if (type_)
        ukey::registry::unloadLibrary(type_);
    type_ = type;
    EXPECT_EQ(ukey::registry::loadLibrary(type, library), 1u) << type;
    static std::string name; // the host's text, which it reuses once the connect returns
    name = "MockDev1";
    auto *object = dynamic_cast<ukey::UKeyAdaptorSKF *>(ukey::registry::createInstance(type, name.c_str()));
    objects_.push_back(object);
    EXPECT_EQ(object && connected ? object->ConnectDev(name.c_str()) : SAR_OK, SAR_OK) << type;
    name = "reused";
    return object;
}

} // namespace ukeytest

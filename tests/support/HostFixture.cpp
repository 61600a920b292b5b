#include "support/HostFixture.h"

#include <dlfcn.h>

#include <stdexcept>

namespace ukeytest {

HostFixture *HostFixture::current_ = nullptr;

void KXF_CALL HostFixture::onLog(int32_t level, const char *text)
{
    if (current_)
        current_->log_.push_back({level, text ? text : ""});
}

void HostFixture::resetMocks()
{
    current_ = this;
    for (const char *path :
         {MOCK_SKF_PATH, MOCK_SKF_NOEPS_PATH, MOCK_SKF_NOSETSYMMKEY_PATH, MOCK_SKF_NOPRVKEYDECRYPT_PATH})
        mock(path).reset();
}

void HostFixture::SetUp()
{
    resetMocks();

    // Handle numbering and the registry are process-wide: only a fresh mapping starts them anew.
#ifndef UKEY_ADAPTOR_STAYS_MAPPED // the leak-checking build keeps it mapped on purpose
    ASSERT_EQ(dlopen(UKEY_ADAPTOR_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the adaptor is still mapped";
#endif
    library_ = dlopen(UKEY_ADAPTOR_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
    load_ = reinterpret_cast<PFN_KXF_Load>(dlsym(library_, "KXF_Load"));
    unload_ = reinterpret_cast<PFN_KXF_Unload>(dlsym(library_, "KXF_Unload"));
    ASSERT_TRUE(load_ && unload_) << dlerror();
    ASSERT_EQ(load_(&table_), 0u);
    ASSERT_NE(table_, nullptr);
}

void HostFixture::TearDown()
{
    EXPECT_EQ(unload_ ? unload_() : 0u, 0u);
    if (library_) {
        dlclose(library_);
        void *still = dlopen(UKEY_ADAPTOR_PATH, RTLD_NOW | RTLD_NOLOAD);
#ifndef UKEY_ADAPTOR_STAYS_MAPPED
        EXPECT_EQ(still, nullptr) << "the adaptor stayed mapped after its last dlclose";
#endif
        if (still)
            dlclose(still);
    }
    for (const auto &m : mocks_)
        dlclose(m.second);
    mocks_.clear();
    current_ = nullptr;
}

mock::State &HostFixture::mock(const char *path)
{
    void *&handle = mocks_[path];
    if (!handle)
        handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    auto state = handle ? reinterpret_cast<PFN_mock_state>(dlsym(handle, "mock_state")) : nullptr;
    if (!state) {
        const char *why = dlerror();
        throw std::runtime_error(std::string("no mock library at ") + path + ": " + (why ? why : "?"));
    }
    return *state();
}

Lines HostFixture::traces() const
{
    Lines lines;
    for (const auto &l : log_)
        lines.push_back(brief(l.text));
    return lines;
}

Lines HostFixture::messagesAt(const std::string &where) const
{
    Lines messages;
    for (const auto &l : log_)
        if (const auto t = parseTrace(l.text); t && t->where == where)
            messages.push_back(t->message);
    return messages;
}

Lines HostFixture::calls()
{
    Lines out;
    for (const auto &c : mock().log) {
        out.push_back(c.fn);
        for (size_t i = 0; i < c.strings.size(); ++i)
            out.back() += (i ? ">" : ":") + c.strings[i];
    }
    return out;
}

} // namespace ukeytest

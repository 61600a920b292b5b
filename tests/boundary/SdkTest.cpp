#include <fstream>

#include "support/HostFixture.h"

namespace ukeytest {
namespace {

using Sdk = HostFixture;

// The load runs between Init's own lines; only an exact type name loads; a null callback
// replaces the earlier one.
TEST_F(Sdk, InitLoadsOnlyExactNamesAndTakesANullCallback)
{
    EXPECT_EQ(init(), SAR_OK);
    EXPECT_EQ(traces(), (Lines{"KXF_Init_SDK|start", "KXF_Init_SDK|LoadSKFDll", "UKeyAdaptorSKF::LoadSKFDll|start",
                               "KXF_Init_SDK|LoadSKFDll end", "KXF_Init_SDK|end"}));
    for (const auto &l : log_)
        EXPECT_EQ(l.level, 0) << l.text;
    for (const char *name : {"no_such_type", "UKEYSKF", "ukeysk", "ukeyskfx", ""})
        EXPECT_EQ(init(name), SAR_FAIL) << name;
    log_.clear();
    uint32_t size = 0;
    EXPECT_EQ(init("no_such_type", MOCK_SKF_PATH, false), SAR_FAIL);
    EXPECT_EQ(init("ukeyskf", MOCK_SKF_PATH, false), SAR_OK);
    EXPECT_EQ(KXF(EnumDev)(nullptr, &size), SAR_OK);
    EXPECT_TRUE(log_.empty());
}

// A name that does not fit the type-name buffer changes nothing: type, library and callback stay.
TEST_F(Sdk, TypeNameThatDoesNotFitIsRefused)
{
    ASSERT_EQ(init(), SAR_OK);
    const std::string tooLong(512, 'u');
    for (const char *name : {static_cast<const char *>(nullptr), tooLong.c_str()}) {
        EXPECT_EQ(KXF(Init_SDK)(name, MOCK_SKF_NOSETSYMMKEY_PATH, nullptr, 0), SAR_INVALIDPARAMERR);
        log_.clear();
        uint32_t size = 0;
        EXPECT_EQ(KXF(EnumDev)(nullptr, &size), SAR_OK);
        EXPECT_EQ(size, 10u);
        EXPECT_EQ(messagesAt("KXF_EnumDev"), (Lines{"start", "end"}));
    }
    const std::string longest(511, 'u');
    log_.clear();
    EXPECT_EQ(init(longest.c_str()), SAR_FAIL);
    EXPECT_EQ(traces(), (Lines{"KXF_Init_SDK|start", "KXF_Init_SDK|LoadSKFDll", "KXF_Init_SDK|LoadSKFDll end",
                               "KXF_Init_SDK|end"}));
}

TEST_F(Sdk, FailedLoadsFailAndTheNextInitWorks)
{
    const std::string notALibrary = testing::TempDir() + "ukey_not_a_library.so";
    std::ofstream(notALibrary) << "not a shared object\n";
    for (const std::string &path :
         {std::string("/nonexistent/folder/libnothing.so"), notALibrary, std::string(MOCK_SKF_NOSETSYMMKEY_PATH)}) {
        uint32_t size = 0;
        EXPECT_EQ(init("ukeyskf", path.c_str()), SAR_FAIL) << path;
        EXPECT_EQ(KXF(EnumDev)(nullptr, &size), SAR_FAIL) << path;
        EXPECT_EQ(init(), SAR_OK) << path;
        EXPECT_EQ(KXF(EnumDev)(nullptr, &size), SAR_OK) << path;
    }
    // The rejected library was loaded but never asked for its devices.
    EXPECT_EQ(mock(MOCK_SKF_NOSETSYMMKEY_PATH).count("SKF_EnumDev"), 0u);
    EXPECT_EQ(mock().count("SKF_EnumDev"), 3u);
    // Without the seal extension a library still loads.
    EXPECT_EQ(init("ukeyskf", MOCK_SKF_NOEPS_PATH), SAR_OK);
    connected();
    EXPECT_EQ(mock(MOCK_SKF_NOEPS_PATH).count("SKF_ConnectDev"), 1u);
}

TEST_F(Sdk, UinitReleasesTheLibraryAndTheTypes)
{
    ASSERT_EQ(init(), SAR_OK);
    uint32_t handle = connected();
    log_.clear();
    EXPECT_EQ(KXF(Uinit_SDK)(), SAR_OK);
    EXPECT_EQ(traces(), (Lines{"KXF_Uinit_SDK|start", "UKeyAdaptorSKF::UnloadSKFDll|start",
                               "UKeyAdaptorSKF::UnloadSKFDll|end", "KXF_Uinit_SDK|end"}));
    // The instance survives, without vendor entry points.
    EXPECT_EQ(KXF(IsConnectDev)(handle), KX_NOTEXPORTERR);
    uint32_t size = 0;
    EXPECT_EQ(KXF(EnumDev)(nullptr, &size), SAR_FAIL);
    EXPECT_EQ(init(), SAR_FAIL);
    EXPECT_EQ(connect("MockDev1", &handle), SAR_FAIL);
}

} // namespace
} // namespace ukeytest

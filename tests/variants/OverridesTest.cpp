// The single-operation overrides: reconnecting, chunked digests, the connected-adaptor map,
// session keys handed out in plain, the proven unblock and provisioning with a fresh algorithm.
#include <cstring>

#include "registry/AdaptorRegistry.h"
#include "variants/VariantFixture.h"
#include "variants/VariantSupport.h"

namespace ukeytest {
namespace {

TEST_F(VariantTest, BjcaReconnectsOnceWhenANamedListingFails)
{
    ukey::UKeyAdaptorSKF *bjca = open("skf_bjca");
    mock().app().containers.push_back({"c1", 0});
    mock().force("SKF_EnumContainer", mock::kSAR_FAIL);
    mock().clearLog();
    char list[16] = "old";
    uint32_t size = sizeof list;
    EXPECT_EQ(bjca->EnumContainer(list, &size), SAR_OK);
    EXPECT_EQ(std::string(list, size), std::string("c1\0", 4));
    const Lines reconnected{"SKF_EnumContainer",   "SKF_CloseApplication", "SKF_DisConnectDev",
                            "SKF_ConnectDev",      "SKF_EnumApplication",  "SKF_EnumApplication",
                            "SKF_OpenApplication", "SKF_GetDevInfo",       "SKF_EnumContainer"};
    EXPECT_EQ(mock().calledNames(), reconnected);
    EXPECT_EQ(pauses_, (std::vector<std::pair<uint32_t, size_t>>{{1000, 3}}));

    // A listing that succeeds with nothing in it is asked again too.
    mock().enumContainer = mock::RawList::of("", 0);
    mock().clearLog();
    EXPECT_EQ(bjca->EnumContainer(list, &size), SAR_OK);
    EXPECT_EQ(mock().calledNames(), reconnected);

    // An empty first name, or a buffer of no bytes: one listing, however it turns out.
    for (const uint32_t stated : {0u, 16u}) {
        mock().force("SKF_EnumContainer", mock::kSAR_FAIL);
        mock().clearLog();
        list[0] = stated ? '\0' : 'x';
        size = stated;
        EXPECT_EQ(bjca->EnumContainer(list, &size), mock::kSAR_FAIL);
        EXPECT_EQ(mock().calledNames(), Lines{"SKF_EnumContainer"});
    }

    // The probe forgets the device; the space then comes from the cache, with SAR_FAIL.
    uint32_t total = 0;
    EXPECT_EQ(bjca->IsConnectDev(), 1u);
    EXPECT_EQ(bjca->GetKeyTotalSpace(&total), SAR_FAIL);
    EXPECT_EQ(total, 65536u);
}

TEST_F(VariantTest, ZaykFeedsDigestsInPiecesOf1024)
{
    ukey::UKeyAdaptorSKF *zayk = open("skf_zayk");
    SKF_HANDLE hash = nullptr;
    ASSERT_EQ(zayk->DigestInit(1, nullptr, 0, nullptr, 0, &hash), SAR_OK);
    const std::pair<uint32_t, std::vector<uint64_t>> cases[] = {{2500, {1024, 1024, 452}}, {2048, {1024, 1024}}};
    for (const auto &[length, pieces] : cases) {
        mock().clearLog();
        const std::vector<uint8_t> data(length);
        uint8_t digest[32] = {};
        uint32_t digestLen = sizeof digest;
        EXPECT_EQ(zayk->Digest(hash, data.data(), length, digest, &digestLen), SAR_OK);
        std::vector<uint64_t> fed;
        for (const auto *call : mock().calls("SKF_DigestUpdate"))
            fed.push_back(call->args[2]);
        EXPECT_EQ(fed, pieces) << length;
        EXPECT_EQ(mock().calledNames().back(), "SKF_DigestFinal");
        EXPECT_EQ(mock().count("SKF_Digest"), 0u);
    }
}

TEST_F(VariantTest, Ft3000gmSerialUsesTheConnectedAdaptorButNeverADestroyedOne)
{
    const char *type = "skf_szca_ft3000gm";
    ukey::UKeyAdaptorSKF *first = open(type);
    mock().clearLog();
    // No shortcut when connected: the key is connected again, the open application answers 1
    // and the object is rolled back to disconnected.
    EXPECT_EQ(first->ConnectDev("MockDev1"), 1u);
    EXPECT_EQ(mock().count("SKF_ConnectDev"), 1u);
    ASSERT_EQ(first->applicationHandle(), nullptr);

    char serial[40] = {};
    uint32_t len = 0;
    EXPECT_EQ(ukey::registry::serialByDevName(type, "MockDev1", serial, &len), SAR_OK);
    EXPECT_STREQ(serial, "MOCKSERIAL0001");
    EXPECT_NE(first->applicationHandle(), nullptr) << "reconnected, and left connected";

    // Entered in the map by a connect that then fails, and destroyed as the host's connect does.
    mock::Device &second = mock().addDevice("MockDev2", "SERIAL2");
    second.apps.push_back(mock::State::makeApp("APP2", "1", "2"));
    second.getDevInfoResult = mock::kSAR_FAIL;
    ukey::UKeyAdaptorBase *failed = ukey::registry::createInstance(type, "MockDev2");
    ASSERT_EQ(failed->ConnectDev("MockDev2"), mock::kSAR_FAIL);
    delete failed;
    second.getDevInfoResult = mock::kSAR_OK;
    mock().clearLog();
    EXPECT_EQ(ukey::registry::serialByDevName(type, "MockDev2", serial, &len), SAR_OK);
    EXPECT_STREQ(serial, "SERIAL2");
    EXPECT_EQ(mock().calledNames(), (Lines{"SKF_ConnectDev", "SKF_GetDevInfo", "SKF_DisConnectDev"}));
    // How an unmapped key answered is not passed on.
    EXPECT_EQ(ukey::registry::serialByDevName(type, "NoSuchDev", serial, &len), SAR_OK);
}

// Without its extra entry cfca answers "not supported": a library lacking it, or one loaded later
// by another type (whose Init does no cfca unload), must not leave the old entry callable.
TEST_F(VariantTest, EccFamilyHandsTheSessionKeyOutInPlain)
{
    // The type, its extra entry, the library and whether another type's load replaced it.
    // clang-format off
    const struct {
        const char *type, *entry, *library = MOCK_SKF_PATH;
        bool replaced = false;
    } family[] = {
        {"skf_gdca", "SKF_ECCDecrypt"},          {"skf_gdca_lmgm3000", "SKF_ECCDecrypt"},
        {"skf_gdca_wise", "SKF_ECCDecrypt"},     {"skf_gdca_ft3000gm", "SKF_ECCDecrypt"},
        {"skf_axca_gm3000", "SKFEX_ECCDecrypt"}, {"skf_cfca_gm", "SKF_PrvKeyDecrypt"},
        {"skf_cfca_gm", nullptr, MOCK_SKF_NOPRVKEYDECRYPT_PATH}, {"skf_cfca_gm", nullptr, MOCK_SKF_PATH, true},
    };
    // clang-format on
    ECCCIPHERBLOB blob{};
    blob.CipherLen = sizeof blob.Cipher;
    std::memset(blob.Cipher, 0x11, sizeof blob.Cipher);
    for (const auto &[type, entry, library, replaced] : family) {
        mock(library).app().containers.push_back({"c", 2});
        ukey::UKeyAdaptorSKF *adaptor = open(type, library);
        ASSERT_EQ(replaced ? ukey::UKeyAdaptorSKF::LoadSKFDll("ukeyskf", library) : 1u, 1u);
        HCONTAINER container = nullptr;
        ASSERT_EQ(adaptor->OpenContainer("c", &container), SAR_OK);
        mock(library).clearLog();
        uint8_t plain[16] = {};
        uint32_t plainLen = sizeof plain;
        // The result, and the key handle the host set to 7.
        const auto import = [&] {
            uint32_t hKey = 7;
            const uint32_t result = adaptor->ImportSessionKeyWithKeyEx(
                container, 0, reinterpret_cast<const uint8_t *>(&blob), sizeof blob, &hKey, plain, &plainLen);
            return std::pair(result, hKey);
        };
        if (!entry) {
            EXPECT_EQ(import(), std::pair(SAR_NOTSUPPORTYETERR, 7u)) << "the handle untouched";
            EXPECT_TRUE(mock(library).log.empty());
            continue;
        }
        EXPECT_EQ(import(), std::pair(SAR_OK, 0xFFFFFFFFu)) << type;
        EXPECT_EQ(plain[0], 0x11 ^ mock::kXor);
        EXPECT_EQ(adaptor->DecryptInit(ukey::pseudoKeyHandle(), nullptr, 0), SAR_OK);
        EXPECT_EQ(mock(library).calledNames(), Lines{entry}) << type;
        // The handle is written however the key answers.
        mock(library).force(entry, mock::kSAR_FAIL);
        EXPECT_EQ(import(), std::pair(mock::kSAR_FAIL, 0xFFFFFFFFu)) << type;
    }
}

TEST_F(VariantTest, CfcaUnblocksOnlyAfterTheAdministratorPinIsProven)
{
    ukey::UKeyAdaptorSKF *cfca = open("skf_cfca_gm");
    mock().clearLog();
    uint32_t retry = 0;
    EXPECT_EQ(cfca->UnblockPIN("wrong", "222222", &retry), mock::kSAR_PIN_INCORRECT);
    ASSERT_EQ(mock().calledNames(), Lines{"SKF_VerifyPIN"});
    EXPECT_EQ(mock().log.front().args[1], SKF_ADMIN_TYPE);
    EXPECT_EQ(cfca->UnblockPIN("111111", "222222", &retry), SAR_OK);
    EXPECT_EQ(mock().app().user.text, "222222");
}

TEST_F(VariantTest, FtcxProvisionsWithTheAlgorithmTheKeyReportsNow)
{
    ukey::UKeyAdaptorSKF *ftcx = open("skf_ftcx_gm3000");
    mock().dev().info.DevAuthAlgId = 0x00000102;
    ftcx->InitialKey("", "", "", "");
    ASSERT_NE(mock().lastCall("SKF_SetSymmKey"), nullptr);
    EXPECT_EQ(mock().lastCall("SKF_SetSymmKey")->args[2], 0x00000102u);
    mock().dev().getDevInfoResult = mock::kSAR_FAIL;
    EXPECT_EQ(ftcx->InitialKey("", "", "", ""), mock::kSAR_FAIL);
    EXPECT_EQ(traces().back(), "UKeyAdaptorSKF_FTCXGM3000::InitialKey| SKF_GetDevInfo failed,ret = 167772161");
}

} // namespace
} // namespace ukeytest

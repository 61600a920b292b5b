// The sixteen types as the catalogue lists them: the class their traces name, manufacturer tag,
// serial operation, ReadFile shape and free-space stamping, each seen in what the type does.
#include <algorithm>
#include <cstring>
#include <tuple>

#include "registry/AdaptorRegistry.h"
#include "variants/VariantFixture.h"

namespace ukeytest {
namespace {

enum class Serial { Generic, Own, DeviceName };
enum class Reads { Generic, Delegation, Trace, Inline, Seal };

struct Row {
    const char *type, *className, *tag; // tag null: the key's own manufacturer shows
    size_t tagBytes;
    Serial serial;
    Reads reads;
    bool stampsFreeSpace;
};

const Row kCatalogue[] = {
    {"skf_Epoint", "UKeyAdaptorSKF_HAINANEPOINT", "HaiNanEpoint", 13, Serial::Own, Reads::Trace, true},
    {"ukeyskf", "UKeyAdaptorSKF", nullptr, 0, Serial::Generic, Reads::Generic, false},
    {"skf_lm", "UKeyAdaptorSKF_LM", nullptr, 0, Serial::DeviceName, Reads::Delegation, false},
    {"skf_bjca", "UKeyAdaptorSKF_BJCA", nullptr, 0, Serial::Generic, Reads::Delegation, false},
    {"skf_zayk", "UKeyAdaptorSKF_ZAYK", nullptr, 0, Serial::DeviceName, Reads::Generic, false},
    {"skf_netca", "UKeyAdaptorSKF_NETCA", "netca", 6, Serial::Own, Reads::Trace, true},
    {"skf_gdca", "UKeyAdaptorSKF_GDCA", "gdca", 5, Serial::Generic, Reads::Seal, false},
    {"skf_szca_ft3003", "UKeyAdaptorSKF_SZCA_RSA", "szca_ft3003", 12, Serial::Generic, Reads::Seal, true},
    {"skf_gdca_lmgm3000", "UKeyAdaptorSKF_GDCALMGM3000", "gdca_lmgm3000", 14, Serial::Generic, Reads::Generic, false},
    {"skf_gdca_wise", "UKeyAdaptorSKF_GDCAWISE", "gdca_wise", 10, Serial::Generic, Reads::Inline, false},
    {"skf_axca_gm3000", "UKeyAdaptorSKF_AXCA_LMGM3000", "axca_lmgm3000", 14, Serial::Generic, Reads::Inline, false},
    {"skf_cfca_gm", "UKetAdaptor_CFCAGM", "cfca_gm", 8, Serial::Generic, Reads::Inline, false},
    {"skf_ftcx_gm3000", "UKeyAdaptorSKF_FTCXGM3000", "ftcx_gm3000", 12, Serial::Own, Reads::Trace, true},
    {"skf_szca_ft3000gm", "UKEYADAPTORSKF_SZCA_FT3000GM", "szca_ft3000gm", 14, Serial::Own, Reads::Trace, true},
    {"skf_gdca_ft3000gm", "UKeyAdaptorSKF_GDCAFT3000GM", "gdca_ft3000gm", 14, Serial::Own, Reads::Seal, true},
    {"skf_bj_haitai", "UKeyAdaptorSKF_BJHAITAI", "bj_haitai_ge20052", 18, Serial::Own, Reads::Trace, true},
};

// How each ReadFile shape, in the order of Reads, answers a size query for a missing file: the
// result, the length (kUntouched: the host's value stays), whether the reading class ends with "end".
constexpr uint32_t kUntouched = 77;
const std::tuple<uint32_t, uint32_t, bool> kMissingFile[] = {{mock::kSAR_FILE_NOT_EXIST, kUntouched, true},
                                                             {mock::kSAR_FILE_NOT_EXIST, 0, true},
                                                             {mock::kSAR_FILE_NOT_EXIST, 0, false},
                                                             {mock::kSAR_FILE_NOT_EXIST, kUntouched, false},
                                                             {SAR_OK, 0, true}};

class Catalogue : public VariantTest, public ::testing::WithParamInterface<Row> {};

TEST_P(Catalogue, TypeBehavesAsItsRowSays)
{
    const Row &row = GetParam();
    const auto site = [&row](bool own, const char *op) {
        return std::string(own ? row.className : "UKeyAdaptorSKF") + "::" + op;
    };
    const std::string maker(63, 'k');
    std::memcpy(mock().dev().info.Manufacturer, maker.c_str(), maker.size() + 1);
    mock().app().files.push_back({"f", bytesOf("abc")});

    ukey::UKeyAdaptorSKF *object = open(row.type, MOCK_SKF_PATH, false);
    ASSERT_NE(object, nullptr);

    char serial[40] = {};
    uint32_t len = 0;
    log_.clear();
    ASSERT_EQ(ukey::registry::serialByDevName(row.type, "MockDev1", serial, &len), SAR_OK);
    EXPECT_STREQ(serial, row.serial == Serial::DeviceName ? "MockDev1" : "MOCKSERIAL0001");
    EXPECT_EQ(len, std::strlen(serial) + 1);
    EXPECT_EQ(mock().count("SKF_ConnectDev"), row.serial == Serial::DeviceName ? 0u : 1u);
    const std::string serialSite = site(row.serial != Serial::Generic, "GetSerialNumberByDevName");
    EXPECT_EQ(traces(), (Lines{serialSite + "|start", serialSite + "|end"}));

    // Connecting the PKCS#11-backed type needs a token; its row is served by its own tests.
    if (std::string(row.type) == "skf_szca_ft3003")
        return;
    ASSERT_EQ(object->ConnectDev("MockDev1"), SAR_OK);
    std::string manufacturer = maker + '\0';
    if (row.tag)
        manufacturer.replace(0, row.tagBytes, row.tag, row.tagBytes);
    EXPECT_EQ(std::string(object->cachedDevInfo().Manufacturer, 64), manufacturer);
    // The host gets the record as cached, whatever the key reports meanwhile.
    mock().dev().info.TotalSpace = 1;
    DEVINFO info{};
    EXPECT_EQ(object->GetDevInfo(&info, &len), SAR_OK);
    EXPECT_EQ(std::string(info.Manufacturer, 64), manufacturer);
    EXPECT_EQ(uint32_t{info.TotalSpace}, 65536u); // a packed field, copied
    // A free-space refresh stamps again only where the row says so.
    uint32_t freeSpace = 0;
    EXPECT_EQ(object->GetKeyFreeSpace(&freeSpace), SAR_OK);
    EXPECT_EQ(std::string(object->cachedDevInfo().Manufacturer, 64), row.stampsFreeSpace ? manufacturer : maker + '\0');

    log_.clear();
    len = kUntouched;
    const std::string readSite = site(row.reads != Reads::Generic, "ReadFile");
    const uint32_t result = object->ReadFile("nofile", 0, 0, nullptr, &len);
    EXPECT_EQ(std::tuple(result, len, traces().back() == readSite + "|end"), kMissingFile[int(row.reads)])
        << traces().back();

    uint8_t data[3] = {};
    len = sizeof data;
    EXPECT_EQ(object->ReadFile("f", 0, sizeof data, data, &len), SAR_OK);
    EXPECT_EQ(std::string(data, data + len), "abc");
    const Lines lines = traces();
    const std::string request = readSite + "|fileName:f,ulOffset:0,ulSize:3,size:3";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), request), row.reads == Reads::Trace ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Variants, Catalogue, ::testing::ValuesIn(kCatalogue),
                         [](const ::testing::TestParamInfo<Row> &param) { return std::string(param.param.type); });

} // namespace
} // namespace ukeytest

// Seal records read from the key's user-data area and handed out as numbered files.
#include <algorithm>
#include <initializer_list>
#include <tuple>
#include <utility>

#include "variants/VariantFixture.h"

namespace ukeytest {
namespace {

// Names each ended by NUL, then the closing NUL.
std::string names(std::initializer_list<std::string> items)
{
    std::string list;
    for (const auto &item : items)
        list += item + '\0';
    return list + '\0';
}

// The list EnumFiles writes, as long as it says.
std::string listFiles(ukey::UKeyAdaptorSKF &adaptor)
{
    uint32_t size = 0;
    EXPECT_EQ(adaptor.EnumFiles(nullptr, &size), SAR_OK);
    std::string list(size + 1, '?');
    EXPECT_EQ(adaptor.EnumFiles(list.data(), &size), SAR_OK);
    return list.substr(0, size);
}

std::string readAll(ukey::UKeyAdaptorSKF &adaptor, const char *name)
{
    uint32_t len = 0;
    EXPECT_EQ(adaptor.ReadFile(name, 0, 0, nullptr, &len), SAR_OK) << name;
    std::string data(len, '\0');
    EXPECT_EQ(adaptor.ReadFile(name, 0, len, reinterpret_cast<uint8_t *>(data.data()), &len), SAR_OK) << name;
    return data.substr(0, len);
}

TEST_F(VariantTest, UserDataRecordsBecomeNumberedFiles)
{
    mock().app().userData[0x50] = bytesOf("a@@@@bc@@@@d");
    mock().app().userData[0x50].resize(64, 0xFF);
    // 2^64 + 2 would read as 2 if the number wrapped.
    const char *const ownFiles[] = {"0", "3", "gdca", "-1", "99999999999999999999", "18446744073709551618"};
    for (const char *name : ownFiles)
        mock().app().files.push_back({name, bytesOf("own")});
    ukey::UKeyAdaptorSKF *gdca = open("skf_gdca");

    EXPECT_EQ(listFiles(*gdca), names({"gdca", "1", "2"}));
    // Blanks skipped, a sign, the digits up to the first other character, no overflow.
    const std::pair<const char *, const char *> reads[] = {{"1", "a"}, {"2", "bc"}, {" 2", "bc"}, {"2abc", "bc"}};
    for (const auto &[name, expected] : reads)
        EXPECT_EQ(readAll(*gdca, name), expected) << name;
    for (const char *name : ownFiles)
        EXPECT_EQ(readAll(*gdca, name), "own") << name;
}

TEST_F(VariantTest, RecordAreaEdgesStayInsideTheImage)
{
    ukey::UKeyAdaptorSKF *gdca = open("skf_gdca_ft3000gm");
    uint32_t size = 55;
    EXPECT_EQ(gdca->EnumFiles(nullptr, &size), SAR_OK);
    EXPECT_EQ(size, 55u) << "no area at all leaves the length alone";
    mock().app().userData[0x22] = {};
    EXPECT_EQ(listFiles(*gdca), "");
    const auto reads = mock().calls("SKF_ReadUsrDataFile");
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(reads.back()->args[1], 0x22u);
    for (const auto *read : reads)
        EXPECT_EQ(read->args[2], 1u);

    // A full area without erased space, NUL or a closing marker; then one record filling it.
    mock().app().userData[0x50] = bytesOf(std::string(51200, 'r'));
    EXPECT_EQ(listFiles(*gdca), "");
    const std::string text(51200 - 4, 'r');
    mock().app().userData[0x50] = bytesOf(text + "@@@@");
    EXPECT_EQ(listFiles(*gdca), names({"gdca", "1"}));
    EXPECT_EQ(readAll(*gdca, "1"), text);
}

TEST_F(VariantTest, SealIndexFileShowsTheKeysOwnFiles)
{
    mock().app().userData[0x50] = bytesOf("x@@@@");
    mock().app().files = {{"1", bytesOf("one")}, {"ndm-seseal-info", bytesOf("idx")}};
    ukey::UKeyAdaptorSKF *gdca = open("skf_gdca");
    EXPECT_EQ(listFiles(*gdca), names({"1", "ndm-seseal-info"}));
    EXPECT_EQ(readAll(*gdca, "1"), "one");
    EXPECT_EQ(mock().count("SKF_ReadUsrDataFile"), 0u);
    // Every step of the walk names the list's first entry.
    const Lines lines = traces();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "UKeyAdaptorSKF_GDCA::EnumFiles|pData:1 nDataLen 19"), 2);
}

TEST_F(VariantTest, FileListsBeyondTheWorkingBufferAreCutToIt)
{
    const std::string listed("ndm-seseal-info\0\0", 17);
    for (const auto &[type, buffer] : {std::pair{"skf_gdca", 4096u}, std::pair{"skf_gdca_wise", 1024u}}) {
        mock().enumFiles = mock::RawList::of(listed, 5000, true);
        ukey::UKeyAdaptorSKF *adaptor = open(type);
        std::string list(5000, '?');
        uint32_t size = 5000;
        const uint32_t result = adaptor->EnumFiles(list.data(), &size);
        EXPECT_EQ(std::tuple(result, size, list.substr(0, listed.size())), std::tuple(SAR_OK, buffer, listed)) << type;
    }
}

// A listing or record that outgrew the host's buffer since its size query is refused whole, as is
// a listing without a length to keep within.
TEST_F(VariantTest, ListingsNeverWritePastTheHostsLength)
{
    const mock::Bytes records = bytesOf("a@@@@bc@@@@");
    const std::vector<mock::File> ownFiles = {{"1", bytesOf("one")}, {"ndm-seseal-info", bytesOf("idx")}};
    const std::tuple<const char *, std::vector<mock::File>, mock::Bytes, std::string> cases[] = {
        {"skf_gdca_wise", {{"alpha", {}}, {"beta", {}}}, {}, names({"alpha", "beta"})},
        {"skf_gdca", ownFiles, records, names({"1", "ndm-seseal-info"})},
        {"skf_gdca", {}, records, names({"gdca", "1", "2"})},
    };
    for (const auto &[type, files, userData, expected] : cases) {
        mock().reset();
        mock().app().files = files;
        mock().app().userData[0x50] = userData;
        ukey::UKeyAdaptorSKF *adaptor = open(type);
        std::string list(64, '?');
        uint32_t size = 3;
        EXPECT_EQ(adaptor->EnumFiles(list.data(), nullptr), SAR_INVALIDPARAMERR) << type;
        const uint32_t tooSmall = adaptor->EnumFiles(list.data(), &size);
        EXPECT_EQ(std::tuple(tooSmall, size, list),
                  std::tuple(SAR_BUFFER_TOO_SMALL, expected.size(), std::string(64, '?')))
            << type;
        EXPECT_EQ(adaptor->EnumFiles(list.data(), &size), SAR_OK) << type;
        EXPECT_EQ(list.substr(0, size), expected) << type;
    }
    // A record read the same way.
    ukey::UKeyAdaptorSKF *gdca = open("skf_gdca");
    EXPECT_EQ(listFiles(*gdca), names({"gdca", "1", "2"}));
    std::string data(8, '?');
    uint32_t len = 1;
    const uint32_t result = gdca->ReadFile("2", 0, 1, reinterpret_cast<uint8_t *>(data.data()), &len);
    EXPECT_EQ(std::tuple(result, len, data), std::tuple(SAR_BUFFER_TOO_SMALL, 2u, std::string(8, '?')));
}

} // namespace
} // namespace ukeytest

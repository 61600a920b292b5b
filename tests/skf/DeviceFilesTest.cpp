// Device information and its cache, provisioning, and the file listing the adaptor parses itself.
#include <cstring>
#include <tuple>

#include "skf/GenericFixture.h"

namespace ukeytest {
namespace {

using DeviceInfo = GenericAdaptor;
using Files = GenericAdaptor;
using Provisioning = GenericAdaptor;

using PFN_Text = uint32_t(KXF_CALL *)(uint32_t, char *, uint32_t *);

// A label or serial number as the host receives it; the length must count the terminator.
std::string textOf(PFN_Text entry, uint32_t dev)
{
    std::string buffer(40, 'x');
    uint32_t len = 0;
    EXPECT_EQ(entry(dev, buffer.data(), &len), SAR_OK);
    EXPECT_LE(len, buffer.size());
    EXPECT_EQ(len ? buffer[len - 1] : 'x', '\0');
    return buffer.substr(0, len ? len - 1 : 0);
}

TEST_F(DeviceInfo, WhatIsCachedAndWhatIsRefreshed)
{
    const auto serial = [&](uint32_t dev) { return textOf(KXF(GetSerialNumber), dev); };

    // A long label goes whole to the key and cut to the cache; a refused one leaves the cache alone.
    const std::string longLabel = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd";
    ASSERT_EQ(KXF(SetLabel)(full_, longLabel.c_str()), SAR_OK);
    EXPECT_EQ(messages("SetLabel"), (Lines{"start", " SetLabel is successfully", " Changed DevInfo", "end"}));
    EXPECT_EQ(calls(), Lines{"SKF_SetLabel:" + longLabel});
    mock().force("SKF_SetLabel", kVendorCode);
    EXPECT_EQ(KXF(SetLabel)(full_, "Other"), kVendorCode);
    // The key changes behind the adaptor's back.
    mock::Device &key = mock().dev();
    mock::setField(key.info.Label, "KeyNow");
    mock::setField(key.info.SerialNumber, "SERIAL2");
    reset();
    DEVINFO info;
    std::memset(&info, 0xEE, sizeof info);
    EXPECT_EQ(KXF(GetDevInfo)(full_, &info, nullptr), SAR_OK);
    EXPECT_EQ(std::string(info.Label, strnlen(info.Label, sizeof info.Label)), longLabel.substr(0, 32));
    EXPECT_EQ(serial(full_), "MOCKSERIAL0001");
    EXPECT_EQ(mock().count("SKF_GetDevInfo"), 0u);
    EXPECT_EQ(textOf(KXF(GetLabelName), full_), "KeyNow");
    EXPECT_EQ(mock().count("SKF_GetDevInfo"), 1u);
    EXPECT_EQ(serial(full_), "SERIAL2") << "the refresh replaced the whole record";

    // A key without application never had its record read.
    reset();
    EXPECT_EQ(serial(bare_), "");
    uint32_t len = 0;
    EXPECT_EQ(KXF(GetDevInfo)(bare_, nullptr, &len), SAR_INVALIDHANDLEERR);
    EXPECT_EQ(messages("GetDevInfo"), (Lines{"start", "end SAR_INVALIDHANDLEERR"}));

    EXPECT_EQ(KXF(GetDevInfo)(full_, nullptr, &len), SAR_OK);
    EXPECT_EQ(len, 294u);
    char buffer[40];
    EXPECT_EQ(KXF(GetLabelName)(full_, buffer, nullptr), SAR_INVALIDPARAMERR);
    EXPECT_EQ(KXF(GetSerialNumber)(full_, buffer, nullptr), SAR_INVALIDPARAMERR);
}

// The names FormatKey deletes are the names the adaptor parsed; the buffer it owns is exactly
// the reported size, so a read past it shows under ASan or valgrind.
TEST_F(Files, ListsOfLyingVendorsAreReadWithinTheBuffer)
{
    using mock::RawList;
    const std::string ab("a\0b\0\0", 5);
    const std::tuple<RawList, Lines, size_t> cases[] = {
        {RawList::of("", 0), {}, 1},
        {RawList::of(std::string(1, '\0'), 1), {}, 1},
        {RawList::of(std::string(2, '\0'), 2), {""}, 2},
        {RawList::of(ab, 5), {"a", "b"}, 2},
        {RawList::of(std::string("a\0b\0", 4), 4), {"a", "b"}, 2},
        {RawList{true, ab, 5, 4096, true}, {"a", "b"}, 2},
        // An unterminated last name may or may not be taken.
        {RawList{true, std::string("a\0bc", 4), 4, 4096, true}, {"a"}, 2},
    };
    for (const auto &[list, expected, listings] : cases) {
        mock().enumFiles = list;
        reset();
        EXPECT_EQ(KXF(FormatKey)(full_, "123456", ""), SAR_OK);
        EXPECT_EQ(mock().count("SKF_EnumFiles"), listings) << list.bytes.size();
        Lines deleted;
        for (const auto *call : mock().calls("SKF_DeleteFile"))
            deleted.push_back(call->strings.at(0));
        if (deleted.size() == expected.size() + 1 && deleted.back() == "bc")
            deleted.pop_back();
        EXPECT_EQ(deleted, expected) << list.bytes.size();
    }
}

TEST_F(Files, IsFileExistComparesWholeNames)
{
    mock().enumFiles = mock::RawList::of(std::string("a\0b\0\0", 5), 5);
    const std::tuple<uint32_t, const char *, uint32_t> cases[] = {
        {full_, "b", SAR_OK},
        {full_, "a", SAR_OK},
        {full_, "B", SAR_FILE_NOT_EXIST},
        {full_, "a ", SAR_FILE_NOT_EXIST},
        {full_, "", SAR_FILE_NOT_EXIST},
        {full_, nullptr, SAR_INVALIDPARAMERR},
        {bare_, "a", SAR_FILE_NOT_EXIST},
        {gone_, "a", SAR_FILE_NOT_EXIST},
    };
    for (const auto &[dev, name, result] : cases)
        EXPECT_EQ(KXF(IsFileExist)(dev, name), result) << (name ? name : "(null)") << " on " << dev;
    // A failed listing reads as a missing file.
    mock().force("SKF_EnumFiles", kVendorCode);
    EXPECT_EQ(KXF(IsFileExist)(full_, "a"), SAR_FILE_NOT_EXIST);
}

TEST_F(Provisioning, FormatKeyEmptiesTheApplicationThenSettlesThePin)
{
    // New PIN, old PIN, result, the PIN calls after the files are gone, the user PIN afterwards.
    // clang-format off
    const std::tuple<const char *, const char *, uint32_t, Lines, const char *> cases[] = {
        {"123456", "", SAR_OK, {"SKF_VerifyPIN:123456"}, "123456"},
        {"999999", "", SAR_OK, {"SKF_VerifyPIN:999999"}, "123456"},
        {"999999", "888888", mock::kSAR_PIN_INCORRECT, {"SKF_VerifyPIN:999999", "SKF_VerifyPIN:888888"}, "123456"},
        {"999999", "123456", SAR_OK, {"SKF_VerifyPIN:999999", "SKF_VerifyPIN:123456", "SKF_ChangePIN:123456>999999"}, "999999"},
    };
    // clang-format on
    for (const auto &[newPin, oldPin, result, pinCalls, pinAfter] : cases) {
        mock::Application &app = mock().app();
        app.files = {{"f1", {}}, {"f2", {}}};
        app.user = mock::Pin{"123456"};
        reset();
        EXPECT_EQ(KXF(FormatKey)(full_, newPin, oldPin), result) << newPin << "/" << oldPin;
        Lines expected{"SKF_EnumFiles", "SKF_EnumFiles", "SKF_DeleteFile:f1", "SKF_DeleteFile:f2"};
        expected.insert(expected.end(), pinCalls.begin(), pinCalls.end());
        EXPECT_EQ(calls(), expected);
        // Every call goes to the application; the PIN calls name the user PIN.
        for (const auto &call : mock().log) {
            EXPECT_EQ(call.args[0], kFullApp) << call.fn;
            if (call.fn != "SKF_EnumFiles" && call.fn != "SKF_DeleteFile") {
                EXPECT_EQ(call.args[1], SKF_USER_TYPE) << call.fn;
            }
        }
        // The files gone, the user PIN, and an "end" line only on success.
        EXPECT_EQ(std::tuple(app.files.size(), app.user.text, messages("FormatKey").back() == "end"),
                  std::tuple(size_t{0}, std::string(pinAfter), result == SAR_OK));
    }
    EXPECT_EQ(KXF(FormatKey)(gone_, "123456", ""), SAR_INVALIDHANDLEERR);
    EXPECT_EQ(messages("FormatKey").back(), "end SAR_INVALIDHANDLEERR");
}

constexpr const char kAuthKey[] = "AAECAwQFBgcICQoLDA0ODw=="; // the bytes 0 to 15

TEST_F(Provisioning, InitialKeyAuthenticatesAndRecreatesTheApplication)
{
    mock().dev().apps.push_back(mock::State::makeApp("APP2", "1", "2"));
    mock().dev().info.DevAuthAlgId = 0x1234; // not what the adaptor cached at connect
    ASSERT_EQ(KXF(InitialKey)(full_, kAuthKey, "", "", ""), SAR_OK);
    EXPECT_EQ(calls(), (Lines{"SKF_SetSymmKey", "SKF_EncryptInit", "SKF_GenRandom", "SKF_Encrypt", "SKF_DevAuth",
                              "SKF_EnumApplication", "SKF_EnumApplication", "SKF_DeleteApplication:APP1",
                              "SKF_DeleteApplication:APP2", "SKF_CreateApplication:tkapp>731902>731902"}));
    const auto &log = mock().log;
    const uint64_t sessionKey = handleWord(mock::Kind::Key, 1);
    // The handle each step goes to, the cached DevAuthAlgId, the challenge length.
    EXPECT_EQ((Words{log[0].args[0], log[0].args[2], log[1].args[0], log[2].args[2], log[3].args[0], log[4].args[0]}),
              (Words{kFullDev, 0x401, sessionKey, 8, sessionKey, kFullDev}));
    EXPECT_EQ(log[0].data.at(0), (mock::Bytes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(log[1].data.at(0), mock::Bytes(44, 0));
    mock::Bytes block(16, 0);
    for (size_t i = 0; i < 8; ++i)
        block[i] = mock::patternByte(mock::kSeedRandom, i);
    EXPECT_EQ(log[3].data.at(0), block);
    for (auto &b : block)
        b ^= mock::kXor;
    EXPECT_EQ(log[4].data.at(0), block) << "the encrypted challenge";
    EXPECT_EQ((Words{log[9].args[3], log[9].args[5], log[9].args[6]}), (Words{10, 10, 0x11}));
    EXPECT_EQ(messages("InitialKey"), Lines{"start"});

    // Later operations work in the new application.
    uint32_t retry = 0;
    EXPECT_EQ(KXF(VerifyPIN)(full_, SKF_USER_TYPE, "731902", &retry), SAR_OK);
    EXPECT_EQ(mock().lastCall("SKF_VerifyPIN")->args[0], handleWord(mock::Kind::Application, 3));

    reset();
    ASSERT_EQ(KXF(InitialKey)(full_, kAuthKey, "admin1", "user1", "myapp"), SAR_OK);
    EXPECT_EQ(calls().back(), "SKF_CreateApplication:myapp>admin1>user1");
}

TEST_F(Provisioning, InitialKeyStopsAtTheFirstFailingStep)
{
    const uint32_t code = 0x8A0000ABu; // negative as a signed number
    for (const std::string step : {"SKF_SetSymmKey", "SKF_EncryptInit", "SKF_GenRandom", "SKF_Encrypt", "SKF_DevAuth",
                                   "SKF_EnumApplication", "SKF_DeleteApplication", "SKF_CreateApplication"}) {
        // Two failures are named after the adaptor's own operation.
        const std::string named = step == "SKF_Encrypt"           ? "Encrypt"
                                  : step == "SKF_EnumApplication" ? "enumApplication"
                                                                  : step;
        reset();
        mock().force(step, code);
        EXPECT_EQ(KXF(InitialKey)(full_, kAuthKey, "", "", ""), code) << step;
        EXPECT_EQ(messages("InitialKey"), (Lines{"start", " " + named + " failed,ret = -1979711317"}));
        EXPECT_EQ(mock().calledNames().back(), step);
    }

    // A key without application: no record was read, and its one empty name is deleted.
    reset();
    EXPECT_EQ(KXF(InitialKey)(bare_, kAuthKey, "", "", ""), mock::kSAR_APPLICATION_NOT_EXISTS);
    EXPECT_EQ(mock().log.front().args[2], 0u);
    EXPECT_EQ(calls().back(), "SKF_DeleteApplication:");

    EXPECT_EQ(KXF(InitialKey)(gone_, kAuthKey, "", "", ""), SAR_INVALIDHANDLEERR);
    EXPECT_EQ(messages("InitialKey").back(), "end.SAR_INVALIDHANDLEERR");
    ASSERT_EQ(KXF(Uinit_SDK)(), SAR_OK);
    EXPECT_EQ(KXF(InitialKey)(full_, kAuthKey, "", "", ""), KX_NOTEXPORTERR);
}

} // namespace
} // namespace ukeytest

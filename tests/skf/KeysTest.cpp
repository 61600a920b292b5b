// Fixed-size structures between host and vendor: length checks, working copies, parameter blocks.
#include <cstring>
#include <functional>
#include <tuple>

#include "skf/GenericFixture.h"

namespace ukeytest {
namespace {

class Keys : public GenericAdaptor {
protected:
    void SetUp() override
    {
        GenericAdaptor::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_EQ(KXF(CreateContainer)(full_, "c1", &container_), SAR_OK);
        reset();
    }

    HCONTAINER container_ = nullptr;
    alignas(8) uint8_t block_[400] = {};
};

// Wrong structure lengths, missing handles and the unsupported entry are answered without the vendor.
TEST_F(Keys, RefusedBeforeTheVendor)
{
    const Lines param{"start", "end.SAR_INVALIDPARAMERR"};
    auto *ecc = as<ECCPUBLICKEYBLOB>(block_);
    auto *sig = as<ECCSIGNATUREBLOB>(block_);
    auto *cipher = as<BLOCKCIPHERPARAM>(block_);
    auto *env = as<ENVELOPEDKEYBLOB>(block_);
    void *hash = nullptr;
    const auto keyEx = [&](uint32_t dev) {
        uint32_t keyOut = 0xDEAD, plainLen = sizeof block_;
        const uint32_t r = KXF(ImportSessionKeyWithKeyEx)(dev, container_, 1, block_, 16, &keyOut, block_, &plainLen);
        EXPECT_EQ(keyOut, 0u);
        return r;
    };
    const Lines plain{"start", "end"};
    // clang-format off
    const std::tuple<const char *, std::function<uint32_t()>, uint32_t, Lines> cases[] = {
        {"RSAVerify", [&] { return KXF(RSAVerify)(full_, as<RSAPUBLICKEYBLOB>(block_), 267, block_, 1, block_, 1); }, 6, param},
        {"RSAVerify", [&] { return KXF(RSAVerify)(full_, nullptr, 268, block_, 1, block_, 1); }, 6, param},
        {"ECCVerify", [&] { return KXF(ECCVerify)(full_, ecc, 132, block_, 1, sig, 127); }, 6, param},
        {"ECCVerify", [&] { return KXF(ECCVerify)(full_, ecc, 132, block_, 1, nullptr, 128); }, 6, param},
        {"ECCVerify", [&] { return KXF(ECCVerify)(full_, ecc, 131, block_, 1, sig, 128); }, 6, param},
        {"ImportECCKeyPair", [&] { return KXF(ImportECCKeyPair)(bare_, nullptr, env, 388); }, 5,
         {"start", "end.m_hApp is NULL", "end.hContainer is NULL", "end.SAR_INVALIDHANDLEERR"}},
        {"ImportECCKeyPair", [&] { return KXF(ImportECCKeyPair)(full_, kObject, env, 387); }, 6, param},
        {"DigestInit", [&] { return KXF(DigestInit)(full_, 1, ecc, 131, block_, 1, &hash); }, 6, param},
        {"ECCExportSessionKey",
         [&] { return KXF(ECCExportSessionKey)(full_, kObject, 1, ecc, 131, block_, nullptr, &hash); }, 6, param},
        {"ECCExportSessionKey",
         [&] { return KXF(ECCExportSessionKey)(full_, kObject, 1, nullptr, 132, block_, nullptr, &hash); }, 6, param},
        {"EncryptInit", [&] { return KXF(EncryptInit)(full_, kObject, cipher, 43); }, 6, param},
        {"DecryptInit", [&] { return KXF(DecryptInit)(full_, kObject, cipher, 43); }, 6, param},
        {"ImportSessionKeyWithKeyEx", [&] { return keyEx(full_); }, 3, plain},
        {"ImportSessionKeyWithKeyEx", [&] { return keyEx(gone_); }, 3, plain},
        {"ImportSessionKeyWithKeyEx",
         [&] { return KXF(ImportSessionKeyWithKeyEx)(full_, nullptr, 0, nullptr, 0, nullptr, nullptr, nullptr); }, 3, plain},
    };
    // clang-format on
    for (const auto &[operation, call, result, trace] : cases) {
        reset();
        EXPECT_EQ(call(), 0x0A000000u + result) << operation;
        EXPECT_EQ(messages(operation), trace) << operation;
        EXPECT_TRUE(mock().log.empty()) << operation;
    }
}

// The vendor writes into the adaptor's zero-filled copy; the host sees the whole structure and
// its size only on success, and nothing past the structure.
TEST_F(Keys, GeneratedStructuresReachTheHostOnlyOnSuccess)
{
    // Vendor, size, pattern seed, first patterned byte (the mock sets header fields before it), call.
    const std::tuple<const char *, size_t, uint8_t, size_t, std::function<uint32_t(uint8_t *, uint32_t *)>> cases[] = {
        {"SKF_GenRSAKeyPair", 268, mock::kSeedRsaPublic, 8,
         [&](auto b, auto l) { return KXF(GenRSAKeyPair)(full_, container_, 2048, as<RSAPUBLICKEYBLOB>(b), l); }},
        {"SKF_GenECCKeyPair", 132, mock::kSeedEccPublic, 4,
         [&](auto b, auto l) { return KXF(GenECCKeyPair)(full_, container_, 1, as<ECCPUBLICKEYBLOB>(b), l); }},
        {"SKF_ECCSignData", 128, mock::kSeedEccSignature, 0,
         [&](auto b, auto l) { return KXF(ECCSignData)(full_, container_, block_, 32, as<ECCSIGNATUREBLOB>(b), l); }},
    };
    for (const auto &[vendor, size, seed, patternFrom, call] : cases) {
        std::vector<uint8_t> host(300, 0xCC);
        uint32_t len = 0xAAAA;
        mock().force(vendor, kVendorCode);
        EXPECT_EQ(call(host.data(), &len), kVendorCode);
        EXPECT_EQ(host, std::vector<uint8_t>(300, 0xCC)) << vendor;
        EXPECT_EQ(len, 0xAAAAu) << vendor;

        ASSERT_EQ(call(host.data(), &len), SAR_OK);
        EXPECT_EQ(len, size);
        for (size_t i = patternFrom; i < size; ++i)
            ASSERT_EQ(host[i], mock::patternByte(seed, i)) << vendor << " byte " << i;
        EXPECT_EQ(host[size], 0xCC) << vendor;

        len = 0;
        EXPECT_EQ(call(nullptr, &len), SAR_OK);
        EXPECT_EQ(len, size);
        reset();
        EXPECT_EQ(call(nullptr, nullptr), SAR_OK);
        EXPECT_EQ(mock().count(vendor), 1u);
    }
}

TEST_F(Keys, ExportPublicKeyNormalisesTheSigningFlag)
{
    uint32_t len = sizeof block_;
    for (const auto &[flag, passed] : {std::pair{-1, 1u}, std::pair{0, 0u}}) {
        reset();
        KXF(ExportPublicKey)(full_, container_, flag, block_, &len);
        ASSERT_EQ(mock().calledNames(), Lines{"SKF_ExportPublicKey"});
        EXPECT_EQ(mock().log[0].args[1], passed) << flag;
    }
}

// The vendor reads the host's structure from a copy: a missing public key stays missing (no
// signer), missing cipher parameters read as zeros.
TEST_F(Keys, StructuresReachTheVendorAsCopies)
{
    for (size_t i = 0; i < sizeof block_; ++i)
        block_[i] = static_cast<uint8_t>(i * 7 + 1);
    void *hash = nullptr;
    // Vendor, structure size, bytes the vendor sees without one, the call with or without one.
    const std::tuple<const char *, size_t, size_t, std::function<uint32_t(uint8_t *)>> cases[] = {
        {"SKF_DigestInit", sizeof(ECCPUBLICKEYBLOB), 0,
         [&](auto b) { return KXF(DigestInit)(full_, 1, as<ECCPUBLICKEYBLOB>(b), b ? 132 : 0, nullptr, 0, &hash); }},
        {"SKF_EncryptInit", 44, 44,
         [&](auto b) { return KXF(EncryptInit)(full_, kObject, as<BLOCKCIPHERPARAM>(b), b ? 44 : 0); }},
        {"SKF_DecryptInit", 44, 44,
         [&](auto b) { return KXF(DecryptInit)(full_, kObject, as<BLOCKCIPHERPARAM>(b), b ? 44 : 0); }},
    };
    for (const auto &[vendor, size, missing, call] : cases) {
        mock().forceAlways(vendor, kVendorCode);
        EXPECT_EQ(call(block_), kVendorCode);
        EXPECT_EQ(mock().lastCall(vendor)->data.at(0), mock::Bytes(block_, block_ + size)) << vendor;
        EXPECT_EQ(call(nullptr), kVendorCode);
        EXPECT_EQ(mock().lastCall(vendor)->data.at(0), mock::Bytes(missing, 0)) << vendor;
    }
}

TEST_F(Keys, ECCExportSessionKeyTracesTheEmptyBlobAndCopiesTheVendorsBlob)
{
    std::vector<uint8_t> host(220, 0xCC);
    uint32_t len = 0;
    void *key = nullptr;
    ASSERT_EQ(
        KXF(ECCExportSessionKey)(full_, container_, 0x401, as<ECCPUBLICKEYBLOB>(block_), 132, host.data(), &len, &key),
        SAR_OK);
    EXPECT_EQ(len, 197u);
    EXPECT_EQ(word(key), handleWord(mock::Kind::Key, 1));
    // What the mock wrote: a patterned ECCCIPHERBLOB with CipherLen 16; the rest of the 197 bytes zero.
    std::vector<uint8_t> expected(220, 0xCC);
    for (size_t i = 0; i < 197; ++i)
        expected[i] = i < sizeof(ECCCIPHERBLOB) ? mock::patternByte(mock::kSeedCipherBlob, i) : 0;
    std::memcpy(&expected[offsetof(ECCCIPHERBLOB, CipherLen)], &mock::kCipherLength, sizeof mock::kCipherLength);
    EXPECT_EQ(host, expected);

    // One line at level 3: the blob dumped while still empty.
    std::vector<std::pair<int32_t, std::string>> dumps;
    for (const auto &l : log_)
        if (l.level != 0)
            dumps.emplace_back(l.level, brief(l.text));
    EXPECT_EQ(dumps,
              (std::vector<std::pair<int32_t, std::string>>{
                  {3, "UKeyAdaptorSKF::ECCExportSessionKey| pstEccCipherBlob = " + std::string(263, 'A') + "="}}));
}

} // namespace
} // namespace ukeytest

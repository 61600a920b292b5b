#include <algorithm>

#include "library/SkfEntryPoints.h"
#include "variants/Catalogue.h"
#include "variants/VariantSupport.h"

namespace ukey {
namespace {

constexpr uint32_t kPieceLen = 1024;
constexpr uint32_t kDigestLen = 32;

} // namespace

// No tag: the key's own manufacturer shows.
inline constexpr VariantId kZaykId{"UKeyAdaptorSKF_ZAYK", "skf_zayk", nullptr, SerialOp::DeviceName};

class UKeyAdaptorSKF_ZAYK final : public Variant<kZaykId> {
public:
    // The key hashes long data only when it is fed in pieces; SKF_Digest itself is never called.
    uint32_t Digest(SKF_HANDLE hHash, const uint8_t *data, uint32_t dataLen, uint8_t *digest,
                    uint32_t *pulDigestLen) override
    {
        Operation op(UKEY_SITE("UKeyAdaptorSKF_ZAYK::Digest"));
        if (const Refusal refused = op.needs(skf().SKF_Digest, skf().SKF_DigestUpdate, skf().SKF_DigestFinal)
                                        .handles(m_hDev != nullptr)
                                        .refusal())
            return *refused;
        if (!digest) {
            if (pulDigestLen)
                *pulDigestLen = kDigestLen;
            return SAR_OK;
        }
        return op.call([&] {
            for (uint32_t done = 0; done < dataLen;) {
                const uint32_t piece = std::min(kPieceLen, dataLen - done);
                skf().SKF_DigestUpdate(hHash, data ? data + done : nullptr, piece);
                done += piece;
            }
            return skf().SKF_DigestFinal(hHash, digest, pulDigestLen);
        });
    }
};

const AdaptorTypeOps variants::kZayk = typeOps<UKeyAdaptorSKF_ZAYK>();

} // namespace ukey

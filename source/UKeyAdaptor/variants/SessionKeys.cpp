#include "variants/SessionKeys.h"

namespace ukey {

uint32_t importPlainSessionKey(const TraceSite &site, PFN_SKF_ECCDecrypt decrypt, HCONTAINER hContainer,
                               const uint8_t *wrapped, uint32_t *phKey, uint8_t *plain, uint32_t *plainLen)
{
    site("start");
    if (!decrypt)
        return SAR_NOTSUPPORTYETERR;
    const uint32_t result = decrypt(hContainer, 1, wrapped, plain, plainLen);
    if (phKey)
        *phKey = KXF_PSEUDO_KEY_HANDLE;
    site("end");
    return result;
}

} // namespace ukey

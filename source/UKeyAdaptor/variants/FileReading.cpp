#include "variants/FileReading.h"

#include <algorithm>
#include <cstring>

#include "library/SkfEntryPoints.h"

namespace ukey {
namespace {

constexpr uint32_t kScratchListLen = 1024;

} // namespace

Refusal readFileRefusal(Operation &op, HAPPLICATION hApp, const uint8_t *data)
{
    return op.needs(skf().SKF_ReadFile).needsWhen(!data, skf().SKF_GetFileInfo).handles(hApp != nullptr).refusal();
}

uint32_t queryFileSize(HAPPLICATION hApp, const char *fileName, uint32_t *pulLen)
{
    FILEATTRIBUTE attr{};
    const uint32_t result = skf().SKF_GetFileInfo(hApp, fileName, &attr);
    if (pulLen)
        *pulLen = attr.FileSize;
    return result;
}

uint32_t readFileSizeByDelegation(const TraceSite &site, UKeyAdaptorSKF &self, const char *fileName, uint32_t offset,
                                  uint32_t size, uint8_t *data, uint32_t *pulLen)
{
    Operation op(site);
    if (data)
        return op.call([&] { return self.UKeyAdaptorSKF::ReadFile(fileName, offset, size, data, pulLen); });
    if (const Refusal refused = readFileRefusal(op, self.applicationHandle(), data))
        return *refused;
    return op.call([&] { return queryFileSize(self.applicationHandle(), fileName, pulLen); });
}

uint32_t readFileWithTrace(const TraceSite &site, UKeyAdaptorSKF &self, const char *fileName, uint32_t offset,
                           uint32_t size, uint8_t *data, uint32_t *pulLen)
{
    const HAPPLICATION hApp = self.applicationHandle();
    Operation op(site);
    if (const Refusal refused = readFileRefusal(op, hApp, data))
        return *refused;
    if (!data)
        return queryFileSize(hApp, fileName, pulLen);
    return op.call([&] {
        const uint32_t result = skf().SKF_ReadFile(hApp, fileName, offset, size, data, pulLen);
        site.format("fileName:%s,ulOffset:%d,ulSize:%d,size:%d", fileName ? fileName : "", static_cast<int>(offset),
                    static_cast<int>(size), pulLen ? static_cast<int>(*pulLen) : 0);
        return result;
    });
}

uint32_t readFileSizeInline(const TraceSite &site, UKeyAdaptorSKF &self, const char *fileName, uint32_t offset,
                            uint32_t size, uint8_t *data, uint32_t *pulLen)
{
    const HAPPLICATION hApp = self.applicationHandle();
    Operation op(site);
    if (const Refusal refused = readFileRefusal(op, hApp, data))
        return *refused;
    if (data)
        return op.call([&] { return skf().SKF_ReadFile(hApp, fileName, offset, size, data, pulLen); });
    FILEATTRIBUTE attr{};
    const uint32_t result = skf().SKF_GetFileInfo(hApp, fileName, &attr);
    if (result != SAR_OK)
        return result;
    return op.call([&] {
        if (pulLen)
            *pulLen = attr.FileSize;
        return SAR_OK;
    });
}

uint32_t enumFilesInScratch(const TraceSite &site, HAPPLICATION hApp, char *fileList, uint32_t *pulSize)
{
    Operation op(site);
    if (const Refusal refused = op.needs(skf().SKF_EnumFiles).handles(hApp != nullptr).refusal())
        return *refused;
    return op.call([&] {
        char scratch[kScratchListLen] = {};
        uint32_t len = kScratchListLen;
        const uint32_t result = skf().SKF_EnumFiles(hApp, scratch, &len);
        if (result != SAR_OK)
            return result;
        // A length beyond the scratch buffer cannot have been written into it.
        return handOutBytes(scratch, std::min(len, kScratchListLen), fileList, pulSize);
    });
}

} // namespace ukey

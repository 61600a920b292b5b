#pragma once

// ReadFile (19) shapes: a call without a buffer asks for the file's size, answered from
// SKF_GetFileInfo instead of SKF_ReadFile.
//
//   ReadsSizeByDelegation  reads through the generic ReadFile
//   ReadsWithTrace         reads with a trace line of the request; a size query closes untraced
//   ReadsSizeInline        a failed size query returns untraced and leaves the length alone
//   ScratchFileList        EnumFiles (18) lists into a 1024-byte buffer of its own
//

#include "variants/VariantSupport.h"

namespace ukey {

// The entry and handle tests every ReadFile shape starts with.
Refusal readFileRefusal(Operation &op, HAPPLICATION hApp, const uint8_t *data);
// SKF_GetFileInfo's result; the size reaches pulLen whatever it was (0 when the query failed).
uint32_t queryFileSize(HAPPLICATION hApp, const char *fileName, uint32_t *pulLen);

using ReadFileShape = uint32_t (*)(const TraceSite &site, UKeyAdaptorSKF &self, const char *fileName, uint32_t offset,
                                   uint32_t size, uint8_t *data, uint32_t *pulLen);

uint32_t readFileSizeByDelegation(const TraceSite &site, UKeyAdaptorSKF &self, const char *fileName, uint32_t offset,
                                  uint32_t size, uint8_t *data, uint32_t *pulLen);
uint32_t readFileWithTrace(const TraceSite &site, UKeyAdaptorSKF &self, const char *fileName, uint32_t offset,
                           uint32_t size, uint8_t *data, uint32_t *pulLen);
uint32_t readFileSizeInline(const TraceSite &site, UKeyAdaptorSKF &self, const char *fileName, uint32_t offset,
                            uint32_t size, uint8_t *data, uint32_t *pulLen);
uint32_t enumFilesInScratch(const TraceSite &site, HAPPLICATION hApp, char *fileList, uint32_t *pulSize);

template <const VariantId &Id, class Base, ReadFileShape shape>
class ReadsFiles : public Base {
public:
    uint32_t ReadFile(const char *fileName, uint32_t offset, uint32_t size, uint8_t *data, uint32_t *pulLen) override
    {
        const auto site = shapeSite<Id, opname::ReadFile>(__LINE__);
        return shape(site, *this, fileName, offset, size, data, pulLen);
    }
};

template <const VariantId &Id, class Base>
using ReadsSizeByDelegation = ReadsFiles<Id, Base, &readFileSizeByDelegation>;
template <const VariantId &Id, class Base>
using ReadsWithTrace = ReadsFiles<Id, Base, &readFileWithTrace>;
template <const VariantId &Id, class Base>
using ReadsSizeInline = ReadsFiles<Id, Base, &readFileSizeInline>;

template <const VariantId &Id, class Base>
class ScratchFileList : public Base {
public:
    uint32_t EnumFiles(char *fileList, uint32_t *pulSize) override
    {
        const auto site = shapeSite<Id, opname::EnumFiles>(__LINE__);
        return enumFilesInScratch(site, this->m_hApp, fileList, pulSize);
    }
};

} // namespace ukey

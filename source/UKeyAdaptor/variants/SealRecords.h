#pragma once

// Electronic-seal records kept outside the key's files (its user-data area, or PKCS#11 data
// objects), cached in the adaptor and listed to the host as numbered files "1", "2", ... after a
// marker name. A key whose application holds "ndm-seseal-info" keeps its seals in files and is
// shown its own list.
//
//   SealFields       the cache only
//   SealRecordReads  the cache (`seal`) and ReadFile (19): a numbered name hands out its record
//   SealRecordFiles  SealRecordReads and EnumFiles (18): records from the user-data area, marker "gdca"
//
// Reuse with another record source: derive from SealRecordReads and write
//
//   uint32_t EnumFiles(char *fileList, uint32_t *pulSize) override
//   {
//       const auto site = shapeSite<Id, opname::EnumFiles>(__LINE__);
//       if (const Refusal refused = sealListingRefusal(Operation(site).needs(yourEntries...), m_hApp))
//           return *refused;
//       return sealRecordEnumFiles(site, m_hApp, seal, {"marker", SealReset::WhenListGiven},
//                                  [this](SealRecords &records) { return readMyRecords(records); },
//                                  fileList, pulSize);
//   }
//
// The source appends the records it finds and returns SAR_OK, or a failure that ends the listing
// at once; SAR_FILE_NOT_EXIST there means "no record area" and is answered SAR_OK.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "variants/VariantSupport.h"

namespace ukey {

using SealRecords = std::vector<std::string>;

struct SealCache {
    SealRecords sealEntries;
    // Set once the application lists "ndm-seseal-info"; never cleared.
    bool sealFilePresent = false;
};

// When the cached records are dropped: just before the source runs, or right after the entry
// tests but only for a call that brings a list buffer (so size queries accumulate records).
enum class SealReset { OnRecordPath, WhenListGiven };

struct SealListing {
    const char *marker;
    SealReset reset;
};

using SealRecordSource = std::function<uint32_t(SealRecords &records)>;

// The tests every seal listing makes after its own; the listing itself follows only if none failed.
Refusal sealListingRefusal(Operation &op, HAPPLICATION hApp);
uint32_t sealRecordEnumFiles(const TraceSite &site, HAPPLICATION hApp, SealCache &cache, const SealListing &listing,
                             const SealRecordSource &readRecords, char *fileList, uint32_t *pulSize);
uint32_t sealRecordReadFile(const TraceSite &site, UKeyAdaptorSKF &self, const SealCache &cache, const char *fileName,
                            uint32_t offset, uint32_t size, uint8_t *data, uint32_t *pulLen);

// The user-data source: area 0x50, else area 0x22, split into records.
uint32_t readUserDataRecords(HAPPLICATION hApp, SealRecords &records);

template <const VariantId &Id, class Base>
class SealFields : public Base {
protected:
    SealCache seal;
};

template <const VariantId &Id, class Base>
class SealRecordReads : public SealFields<Id, Base> {
public:
    uint32_t ReadFile(const char *fileName, uint32_t offset, uint32_t size, uint8_t *data, uint32_t *pulLen) override
    {
        const auto site = shapeSite<Id, opname::ReadFile>(__LINE__);
        return sealRecordReadFile(site, *this, this->seal, fileName, offset, size, data, pulLen);
    }
};

template <const VariantId &Id, class Base>
class SealRecordFiles : public SealRecordReads<Id, Base> {
public:
    uint32_t EnumFiles(char *fileList, uint32_t *pulSize) override
    {
        const auto site = shapeSite<Id, opname::EnumFiles>(__LINE__);
        const HAPPLICATION hApp = this->m_hApp;
        Operation op(site);
        if (const Refusal refused = sealListingRefusal(op, hApp))
            return *refused;
        return sealRecordEnumFiles(
            site, hApp, this->seal, {"gdca", SealReset::OnRecordPath},
            [hApp](SealRecords &records) { return readUserDataRecords(hApp, records); }, fileList, pulSize);
    }
};

} // namespace ukey

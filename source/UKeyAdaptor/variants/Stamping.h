#pragma once

// Manufacturer stamping: whatever the key reports, the Manufacturer field of the cached DEVINFO
// reads as the variant's tag. Every refresh of the cache is followed at once by a stamp.
//
//   StampedCore  replaces ConnectDev (1), GetKeyLabelName (4), GetKeyTotalSpace (6), GetDevInfo (10)
//   Stamped      StampedCore and GetKeyFreeSpace (7)
//
// A class with its own connect reuses connectStamped(); one that connects otherwise calls stamp().

#include <cstring>

#include "library/SkfEntryPoints.h"
#include "variants/VariantSupport.h"

namespace ukey {

// Copies the tag and its NUL over the start of Manufacturer; the rest keeps what the key wrote.
void stampTag(DEVINFO &info, const char *tag);

template <const VariantId &Id, class Base>
class StampedCore : public Base {
public:
    uint32_t ConnectDev(const char *devName) override
    {
        const auto site = shapeSite<Id, opname::ConnectDev>(__LINE__);
        return connectStamped(site, devName, true, [] {});
    }

    uint32_t GetKeyLabelName(char *label, uint32_t *pulLen) override
    {
        const auto site = shapeSite<Id, opname::GetKeyLabelName>(__LINE__);
        return Operation(site).needs(skf().SKF_GetDevInfo).params(pulLen != nullptr).call([&] {
            refreshAndStamp();
            copyText(this->devInfo.get().Label, sizeof(DEVINFO::Label), label, pulLen);
            return SAR_OK;
        });
    }

    uint32_t GetKeyTotalSpace(uint32_t *pulTotal) override
    {
        const auto site = shapeSite<Id, opname::GetKeyTotalSpace>(__LINE__);
        return stampedSpace(site, pulTotal, [this] { return this->devInfo.get().TotalSpace; });
    }

    // Hands out the record as of the last refresh, then asks the key again only to stamp anew.
    uint32_t GetDevInfo(DEVINFO *pInfo, uint32_t *pulLen) override
    {
        const auto site = shapeSite<Id, opname::GetDevInfo>(__LINE__);
        Operation op(site);
        if (const Refusal refused = op.handles(this->m_hApp != nullptr, kEndInvalidHandleBlank).refusal())
            return *refused;
        if (pInfo)
            std::memcpy(pInfo, &this->devInfo.get(), sizeof(DEVINFO));
        if (pulLen)
            *pulLen = sizeof(DEVINFO);
        return op.call([this] {
            DEVINFO scratch{};
            const auto getDevInfo = skf().SKF_GetDevInfo;
            const uint32_t result = getDevInfo ? getDevInfo(this->m_hDev, &scratch) : KX_NOTEXPORTERR;
            stamp();
            return result;
        });
    }

protected:
    void stamp() { stampTag(this->devInfo.own(), Id.tag); }

    // The generic refresh, stamped; nothing happens while no device is connected.
    uint32_t refreshAndStamp()
    {
        if (!this->m_hDev)
            return SAR_FAIL;
        const uint32_t result = this->refreshDevInfo();
        stamp();
        return result;
    }

    template <class Cached>
    uint32_t stampedSpace(const TraceSite &site, uint32_t *out, Cached cached)
    {
        return Operation(site).needs(skf().SKF_GetDevInfo).call([&] {
            const uint32_t result = refreshAndStamp();
            if (out)
                *out = cached();
            return result;
        });
    }

    // The generic connect with the stamp right after SKF_GetDevInfo, before its result counts;
    // onInfoRead runs after the stamp.
    template <class Hook>
    uint32_t connectStamped(const TraceSite &site, const char *devName, bool reuseOpenDevice, Hook onInfoRead)
    {
        return this->connectWith(site, devName, reuseOpenDevice, [&] {
            stamp();
            onInfoRead();
        });
    }
};

template <const VariantId &Id, class Base>
class Stamped : public StampedCore<Id, Base> {
public:
    uint32_t GetKeyFreeSpace(uint32_t *pulFree) override
    {
        const auto site = shapeSite<Id, opname::GetKeyFreeSpace>(__LINE__);
        return this->stampedSpace(site, pulFree, [this] { return this->devInfo.get().FreeSpace; });
    }
};

} // namespace ukey

#include "variants/SealRecords.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>

#include "library/SkfEntryPoints.h"
#include "variants/FileReading.h"

namespace ukey {
namespace {

constexpr char kSealIndexFile[] = "ndm-seseal-info";
constexpr std::string_view kRecordEnd = "@@@@";
constexpr uint32_t kKeyListLen = 4096;
constexpr uint32_t kWideArea = 0x50;
constexpr uint32_t kWideAreaLen = 51200;
constexpr uint32_t kNarrowArea = 0x22;
constexpr uint32_t kNarrowAreaLen = 16384;
constexpr size_t kTraceLineLen = 128;
// Far beyond any record count; keeps the parse from overflowing.
constexpr int64_t kNumberCeiling = int64_t{1} << 40;

// Walks the key's own list for the seal index file, tracing each step as the key's list shows.
bool listsSealIndex(const TraceSite &site, const char *list, uint32_t len)
{
    for (uint32_t offset = 0; offset < len;) {
        char line[kTraceLineLen];
        std::snprintf(line, sizeof line, "pData:%s nDataLen %d", list, static_cast<int>(len));
        site(line);
        const size_t nameLen = fieldLength(list + offset, len - offset);
        if (std::string_view(list + offset, nameLen) == kSealIndexFile)
            return true;
        offset += static_cast<uint32_t>(nameLen) + 1;
        if (offset >= len || list[offset] == '\0')
            return false;
    }
    return false;
}

uint32_t decimalDigits(size_t value)
{
    uint32_t digits = 1;
    for (; value >= 10; value /= 10)
        ++digits;
    return digits;
}

// The marker, "1" ... "count", each with its NUL, and the closing NUL; nothing for no records.
uint32_t writeNumberedList(const char *marker, size_t count, char *fileList)
{
    if (count == 0) {
        if (fileList)
            fileList[0] = '\0';
        return 0;
    }
    const size_t markerLen = std::strlen(marker) + 1;
    size_t length = markerLen + 1;
    for (size_t i = 1; i <= count; ++i)
        length += decimalDigits(i) + 1;
    if (fileList) {
        std::memcpy(fileList, marker, markerLen);
        char *out = fileList + markerLen;
        for (size_t i = 1; i <= count; ++i)
            out += std::snprintf(out, decimalDigits(i) + 1, "%zu", i) + 1;
        *out = '\0';
    }
    return static_cast<uint32_t>(std::min<size_t>(length, std::numeric_limits<uint32_t>::max()));
}

// Erases the trailing 0xFF bytes, then appends each "@@@@"-ended record of the text up to the first NUL.
void splitSealImage(uint8_t *image, size_t length, SealRecords &records)
{
    for (size_t i = length; i > 0 && image[i - 1] == 0xFF; --i)
        image[i - 1] = 0;
    const char *const text = reinterpret_cast<const char *>(image);
    const std::string_view seals(text, fieldLength(text, length));
    for (size_t pos = 0, end; (end = seals.find(kRecordEnd, pos)) != std::string_view::npos;
         pos = end + kRecordEnd.size())
        records.emplace_back(seals.substr(pos, end - pos));
}

// A file name read as a record number like atoi, saturating instead of overflowing.
int64_t recordNumber(const char *fileName)
{
    const char *p = fileName;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        value = std::min(kNumberCeiling, value * 10 + (*p - '0'));
    return negative ? -value : value;
}

} // namespace

Refusal sealListingRefusal(Operation &op, HAPPLICATION hApp)
{
    return op.needs(skf().SKF_EnumFiles).handles(hApp != nullptr).refusal();
}

uint32_t sealRecordEnumFiles(const TraceSite &site, HAPPLICATION hApp, SealCache &cache, const SealListing &listing,
                             const SealRecordSource &readRecords, char *fileList, uint32_t *pulSize)
{
    if (listing.reset == SealReset::WhenListGiven && fileList)
        cache.sealEntries.clear();
    try {
        // Two spare NULs end every name the walk may meet.
        std::vector<char> keyList(kKeyListLen + 2, '\0');
        uint32_t len = kKeyListLen;
        const uint32_t listed = skf().SKF_EnumFiles(hApp, keyList.data(), &len);
        len = std::min(len, kKeyListLen);
        if (listed == SAR_OK && len > 2 && !cache.sealFilePresent)
            cache.sealFilePresent = listsSealIndex(site, keyList.data(), len);
        if (cache.sealFilePresent) {
            if (listed == SAR_OK)
                return handOutBytes(keyList.data(), len, fileList, pulSize);
            // A failed listing left nothing worth copying into the host's buffer.
            if (pulSize)
                *pulSize = len;
            return listed;
        }
        if (listing.reset == SealReset::OnRecordPath)
            cache.sealEntries.clear();
        const uint32_t read = readRecords(cache.sealEntries);
        if (read == KX_NOTEXPORTERR)
            site(kEndNotExported);
        if (read != SAR_OK)
            return read == SAR_FILE_NOT_EXIST ? SAR_OK : read;
    } catch (const std::bad_alloc &) {
        return SAR_FAIL;
    }
    const uint32_t result = [&] {
        const size_t count = cache.sealEntries.size();
        const uint32_t length = writeNumberedList(listing.marker, count, nullptr);
        if (fileList && !pulSize)
            return SAR_INVALIDPARAMERR;
        if (fileList && *pulSize < std::max<uint32_t>(length, 1)) {
            // An empty listing still writes its one NUL; a buffer of no bytes stays untouched.
            if (length == 0)
                return SAR_OK;
            *pulSize = length;
            return SAR_BUFFER_TOO_SMALL;
        }
        writeNumberedList(listing.marker, count, fileList);
        if (pulSize)
            *pulSize = length;
        return SAR_OK;
    }();
    site("end");
    return result;
}

uint32_t sealRecordReadFile(const TraceSite &site, UKeyAdaptorSKF &self, const SealCache &cache, const char *fileName,
                            uint32_t offset, uint32_t size, uint8_t *data, uint32_t *pulLen)
{
    const HAPPLICATION hApp = self.applicationHandle();
    Operation op(site);
    if (const Refusal refused = readFileRefusal(op, hApp, data))
        return *refused;
    const char *const name = fileName ? fileName : "";
    site.format("szFileName:%s", name);
    if (!cache.sealFilePresent && std::string_view(name) != kSealIndexFile) {
        const int64_t k = recordNumber(name);
        if (k >= 1 && static_cast<uint64_t>(k) <= cache.sealEntries.size()) {
            const std::string &record = cache.sealEntries[static_cast<size_t>(k - 1)];
            return handOutBytes(record.data(), static_cast<uint32_t>(record.size()), data, pulLen);
        }
    }
    return op.call([&] {
        if (data)
            return self.UKeyAdaptorSKF::ReadFile(fileName, offset, size, data, pulLen);
        queryFileSize(hApp, fileName, pulLen);
        return SAR_OK;
    });
}

uint32_t readUserDataRecords(HAPPLICATION hApp, SealRecords &records)
{
    const auto readArea = skf().SKF_ReadUsrDataFile;
    if (!readArea)
        return KX_NOTEXPORTERR;
    std::vector<uint8_t> image(kWideAreaLen, 0);
    uint32_t length = kWideAreaLen;
    uint32_t result = readArea(hApp, kWideArea, 1, 0, kWideAreaLen, image.data());
    if (result != SAR_OK) {
        length = kNarrowAreaLen;
        result = readArea(hApp, kNarrowArea, 1, 0, kNarrowAreaLen, image.data());
        if (result != SAR_OK)
            return result;
    }
    splitSealImage(image.data(), length, records);
    return SAR_OK;
}

} // namespace ukey

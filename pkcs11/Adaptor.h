// One loaded copy of the adaptor, bound to one vendor library through KXF_Init_SDK.
#ifndef UKEYP11_ADAPTOR_H
#define UKEYP11_ADAPTOR_H

#include <mutex>
#include <string>
#include <vector>

#include "Config.h"
#include "UKeyAdaptor.h"
#include "p11.h"

namespace ukeyp11 {

class Adaptor {
public:
    // The adaptor keeps one vendor library per copy, so every entry after the first gets a private
    // copy of the adaptor's file.
    static Adaptor *open(const KeyEntry &entry, bool privateCopy);
    ~Adaptor();
    Adaptor(const Adaptor &) = delete;
    Adaptor &operator=(const Adaptor &) = delete;

    const KXF_Table *kxf() const { return KXF_TableOf(table_); }
    std::vector<std::string> devices();
    const KeyEntry &config() const { return entry_; }

    // EnumDev and ConnectDev touch the adaptor's process-wide data: one caller at a time.
    std::mutex connectLock;

private:
    Adaptor() = default;
    void *lib_ = nullptr;
    void **table_ = nullptr;
    KeyEntry entry_;
};

// A GM/T 0016 result code as the nearest PKCS#11 return value, by its name in the adaptor's table.
CK_RV toCkr(uint32_t sar);

// Splits a name list (names ended by NUL, the list by an empty name) without reading past size.
std::vector<std::string> splitNames(const char *list, size_t size);

} // namespace ukeyp11

#endif

// One use of the adaptor as an application makes it: load the library, take the table from
// KXF_Load, initialise the SDK for a type and vendor library, and undo all of that at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Platform.h"
#include "UKeyAdaptor.h"

namespace kxfhost {

// A fixed-size text field of a record, up to its first NUL.
std::string field(const char *text, size_t size);

class Session {
public:
    Session() = default;
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Loads the adaptor library and takes its table; false with the reason in error.
    bool load(const std::string &adaptorPath, std::string &error);
    // The adaptor's loader line goes to standard error: standard output is the tool's own.
    uint32_t init(const std::string &typeName, const std::string &vendorPath, KXF_LogCallback callback);
    uint32_t uinit();
    uint32_t unload();

    // The table's typed view; valid between load and unload.
    const KXF_Table &kxf() const { return *KXF_TableOf(table_); }

    uint32_t enumDevices(std::vector<std::string> &names) const;
    uint32_t serialByDevName(const std::string &devName, std::string &serial) const;
    uint32_t connect(const std::string &devName, uint32_t &dev) const;
    uint32_t label(uint32_t dev, std::string &text) const;
    uint32_t serial(uint32_t dev, std::string &text) const;
    uint32_t enumFiles(uint32_t dev, std::vector<std::string> &names) const;
    uint32_t enumContainers(uint32_t dev, std::vector<std::string> &names) const;

private:
    SharedLibrary library_;
    PFN_KXF_Unload unload_ = nullptr;
    void **table_ = nullptr;
    bool initialised_ = false;
};

} // namespace kxfhost

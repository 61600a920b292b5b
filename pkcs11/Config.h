// Which keys the module offers: one entry per configuration line, or the bundled software token.
#ifndef UKEYP11_CONFIG_H
#define UKEYP11_CONFIG_H

#include <string>
#include <vector>

namespace ukeyp11 {

struct KeyEntry {
    std::string typeName;    // adaptor type name, e.g. "ukeyskf"
    std::string libraryPath; // the maker's SKF library
    std::string application; // reported as CKA_APPLICATION of data objects (optional)
};

// The directory this module was loaded from, without a trailing slash.
std::string moduleDirectory();

// Parses configuration text; malformed lines are reported on stderr and skipped.
std::vector<KeyEntry> parseConfig(const std::string &text, const std::string &origin);

// Reads UKEYADAPTOR_PKCS11_CONF, then the installed default; the bundled token when neither names a key.
std::vector<KeyEntry> loadConfig();

} // namespace ukeyp11

#endif

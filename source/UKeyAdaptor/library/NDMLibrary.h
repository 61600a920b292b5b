#pragma once

#include <QLibrary>
#include <QString>

namespace ukey {

// A vendor library. On Windows the system loader is tried first, with the altered search
// path so that a library found by path loads its own dependencies from its folder.
class NDMLibrary : public QLibrary {
public:
    explicit NDMLibrary(const QString &fileName);
    ~NDMLibrary() override;

    void setFileName(const QString &fileName);
    bool load();
    QFunctionPointer resolve(const char *name);

private:
    void *module = nullptr; // HMODULE from the system loader
};

// The one vendor library in use, or null.
NDMLibrary *currentVendorLibrary();
void setCurrentVendorLibrary(NDMLibrary *library);

} // namespace ukey

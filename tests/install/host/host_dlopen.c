/* A host that loads the adaptor by path at run time and links only the headers. */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include <ukeyadaptor/UKeyAdaptor.h>

int main(int argc, char **argv)
{
    void *lib, *sym;
    PFN_KXF_Load load;
    PFN_KXF_Unload unload;
    void **table = NULL;
    const KXF_Table *kxf;
    char names[256] = {0}, label[65] = {0};
    uint32_t size = sizeof names - 1, len = 0, dev = 0, rc;

    if (argc != 4 || (lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL)) == NULL) {
        fprintf(stderr, "usage: %s ADAPTOR TYPE VENDOR_LIBRARY (%s)\n", argv[0], argc == 4 ? dlerror() : "");
        return 2;
    }
    /* ISO C has no object-to-function pointer conversion; copy the bits. */
    sym = dlsym(lib, "KXF_Load");
    memcpy(&load, &sym, sizeof load);
    sym = dlsym(lib, "KXF_Unload");
    memcpy(&unload, &sym, sizeof unload);
    if (!load || !unload || load(&table) != SAR_OK)
        return 1;
    kxf = KXF_TableOf(table);
    rc = kxf->Init_SDK(argv[2], argv[3], NULL, 0);
    if (rc == SAR_OK)
        rc = kxf->EnumDev(names, &size);
    if (rc == SAR_OK)
        rc = names[0] ? kxf->ConnectDev(names, &dev) : SAR_FAIL;
    if (rc == SAR_OK) {
        printf("device: %s\n", names);
        rc = kxf->GetLabelName(dev, label, &len);
        if (rc == SAR_OK)
            printf("label: %s\n", label);
        kxf->DisConnectDev(dev);
    }
    kxf->Uinit_SDK();
    unload();
    /* Left mapped until exit, so that leak checkers can still name the adaptor's frames. */
    if (rc != SAR_OK)
        fprintf(stderr, "failed: 0x%08X\n", (unsigned)rc);
    return rc != SAR_OK;
}

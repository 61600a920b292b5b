/* Lists the keys a vendor library sees, then reads the first key's label. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <ukeyadaptor/UKeyAdaptor.h>

static int failed(const char *what, uint32_t rc)
{
    const char *name = kxf_result_name(rc);
    fprintf(stderr, "%s: 0x%08X %s\n", what, (unsigned)rc, name ? name : "(vendor code)");
    return 1;
}

/* Prints every device name and reads the label of the first. */
static int firstLabel(const KXF_Table *kxf)
{
    char *names, label[65] = {0}; /* a label is at most 32 bytes; the length is only written */
    const char *name;
    uint32_t size = 0, len = 0, dev = 0, rc;
    int status = 1;

    /* Ask for the size, then fetch: NUL-terminated names, an empty name at the end. */
    if ((rc = kxf->EnumDev(NULL, &size)) != SAR_OK)
        return failed("EnumDev", rc);
    if (size == 0 || (names = calloc(size + 1, 1)) == NULL)
        return failed("EnumDev: no keys", SAR_FAIL);
    if ((rc = kxf->EnumDev(names, &size)) != SAR_OK || names[0] == '\0') {
        free(names);
        return failed("EnumDev: no keys", rc);
    }
    for (name = names; *name; name += strlen(name) + 1)
        printf("device: %s\n", name);

    if ((rc = kxf->ConnectDev(names, &dev)) != SAR_OK) {
        status = failed("ConnectDev", rc);
    } else {
        if ((rc = kxf->GetLabelName(dev, label, &len)) == SAR_OK)
            status = printf("label: %s\n", label) < 0;
        else
            failed("GetLabelName", rc);
        kxf->DisConnectDev(dev);
    }
    free(names);
    return status;
}

int main(int argc, char **argv)
{
    void **table = NULL;
    const KXF_Table *kxf;
    uint32_t rc;
    int status;

    if (argc != 3) {
        fprintf(stderr, "usage: %s TYPE VENDOR_LIBRARY\n", argv[0]);
        return 2;
    }
    if ((rc = KXF_Load(&table)) != SAR_OK)
        return failed("KXF_Load", rc);
    kxf = KXF_TableOf(table);
    /* The type name picks the make's adaptor; NULL: no trace lines. */
    if ((rc = kxf->Init_SDK(argv[1], argv[2], NULL, 0)) != SAR_OK) {
        KXF_Unload();
        return failed("Init_SDK", rc);
    }
    status = firstLabel(kxf);
    kxf->Uinit_SDK();
    KXF_Unload();
    return status;
}

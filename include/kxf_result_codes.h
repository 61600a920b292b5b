/* Every result code a table entry can answer, listed once: X(NAME, value, "short meaning").
 * Expand KXF_RESULT_CODES with a macro of your own, or call kxf_result_name/kxf_result_meaning.
 * KX_NOTEXPORTERR is the adaptor's name for 0x0A00001D (a vendor entry point is missing); it shares
 * its value with SAR_NOTEXPORTERR and comes first, so the lookups answer with the adaptor's name.
 * Usable from C99 and C++. */
#ifndef UKEYADAPTOR_KXF_RESULT_CODES_H
#define UKEYADAPTOR_KXF_RESULT_CODES_H

#include <stddef.h>
#include <stdint.h>

/* clang-format off */
#define KXF_RESULT_CODES(X)                                                                   \
    X(SAR_OK,                       0x00000000u, "success")                                  \
    X(SAR_FAIL,                     0x0A000001u, "failure")                                  \
    X(SAR_UNKNOWNERR,               0x0A000002u, "unknown error")                            \
    X(SAR_NOTSUPPORTYETERR,         0x0A000003u, "not supported")                            \
    X(SAR_FILEERR,                  0x0A000004u, "file operation error")                     \
    X(SAR_INVALIDHANDLEERR,         0x0A000005u, "invalid handle")                           \
    X(SAR_INVALIDPARAMERR,          0x0A000006u, "invalid argument")                         \
    X(SAR_READFILEERR,              0x0A000007u, "file read error")                          \
    X(SAR_WRITEFILEERR,             0x0A000008u, "file write error")                         \
    X(SAR_NAMELENERR,               0x0A000009u, "name length error")                        \
    X(SAR_KEYUSAGEERR,              0x0A00000Au, "key usage error")                          \
    X(SAR_MODULUSLENERR,            0x0A00000Bu, "modulus length error")                     \
    X(SAR_NOTINITIALIZEERR,         0x0A00000Cu, "not initialised")                          \
    X(SAR_OBJERR,                   0x0A00000Du, "object error")                             \
    X(SAR_MEMORYERR,                0x0A00000Eu, "out of memory")                            \
    X(SAR_TIMEOUTERR,               0x0A00000Fu, "timeout")                                  \
    X(SAR_INDATALENERR,             0x0A000010u, "input data length error")                  \
    X(SAR_INDATAERR,                0x0A000011u, "input data error")                         \
    X(SAR_GENRANDERR,               0x0A000012u, "random number generation error")           \
    X(SAR_HASHOBJERR,               0x0A000013u, "hash object error")                        \
    X(SAR_HASHERR,                  0x0A000014u, "hash error")                               \
    X(SAR_GENRSAKEYERR,             0x0A000015u, "RSA key generation error")                 \
    X(SAR_RSAMODULUSLENERR,         0x0A000016u, "RSA modulus length error")                 \
    X(SAR_CSPIMPRTPUBKEYERR,        0x0A000017u, "public key import error")                  \
    X(SAR_RSAENCERR,                0x0A000018u, "RSA encryption error")                     \
    X(SAR_RSADECERR,                0x0A000019u, "RSA decryption error")                     \
    X(SAR_HASHNOTEQUALERR,          0x0A00001Au, "hash values differ")                       \
    X(SAR_KEYNOTFOUNTERR,           0x0A00001Bu, "key not found")                            \
    X(SAR_CERTNOTFOUNTERR,          0x0A00001Cu, "certificate not found")                    \
    X(KX_NOTEXPORTERR,              0x0A00001Du, "vendor library lacks a needed function")   \
    X(SAR_NOTEXPORTERR,             0x0A00001Du, "object not exported")                      \
    X(SAR_DECRYPTPADERR,            0x0A00001Eu, "decryption padding error")                 \
    X(SAR_MACLENERR,                0x0A00001Fu, "MAC length error")                         \
    X(SAR_BUFFER_TOO_SMALL,         0x0A000020u, "buffer too small")                         \
    X(SAR_KEYINFOTYPEERR,           0x0A000021u, "key type error")                           \
    X(SAR_NOT_EVENTERR,             0x0A000022u, "no event")                                 \
    X(SAR_DEVICE_REMOVED,           0x0A000023u, "device removed")                           \
    X(SAR_PIN_INCORRECT,            0x0A000024u, "PIN incorrect")                            \
    X(SAR_PIN_LOCKED,               0x0A000025u, "PIN locked")                               \
    X(SAR_PIN_INVALID,              0x0A000026u, "PIN invalid")                              \
    X(SAR_PIN_LEN_RANGE,            0x0A000027u, "PIN length out of range")                  \
    X(SAR_USER_ALREADY_LOGGED_IN,   0x0A000028u, "user already logged in")                   \
    X(SAR_USER_PIN_NOT_INITIALIZED, 0x0A000029u, "user PIN not initialised")                 \
    X(SAR_USER_TYPE_INVALID,        0x0A00002Au, "PIN type invalid")                         \
    X(SAR_APPLICATION_NAME_INVALID, 0x0A00002Bu, "application name invalid")                 \
    X(SAR_APPLICATION_EXISTS,       0x0A00002Cu, "application exists")                       \
    X(SAR_USER_NOT_LOGGED_IN,       0x0A00002Du, "user not logged in")                       \
    X(SAR_APPLICATION_NOT_EXISTS,   0x0A00002Eu, "application does not exist")               \
    X(SAR_FILE_ALREADY_EXIST,       0x0A00002Fu, "file exists")                              \
    X(SAR_NO_ROOM,                  0x0A000030u, "no room left")                             \
    X(SAR_FILE_NOT_EXIST,           0x0A000031u, "file does not exist")                      \
    X(SAR_REACH_MAX_CONTAINER_COUNT,0x0A000032u, "container limit reached")
/* clang-format on */

#define KXF_RESULT_NAME_ROW_(name, value, meaning)                                                                     \
    if (code == (value))                                                                                               \
        return #name;
#define KXF_RESULT_MEANING_ROW_(name, value, meaning)                                                                  \
    if (code == (value))                                                                                               \
        return meaning;

/* The code's name ("SAR_FAIL"), or NULL for a code not in the table. */
static inline const char *kxf_result_name(uint32_t code)
{
    KXF_RESULT_CODES(KXF_RESULT_NAME_ROW_)
    return NULL;
}

/* The code's short meaning ("failure"), or NULL for a code not in the table. */
static inline const char *kxf_result_meaning(uint32_t code)
{
    KXF_RESULT_CODES(KXF_RESULT_MEANING_ROW_)
    return NULL;
}

#undef KXF_RESULT_NAME_ROW_
#undef KXF_RESULT_MEANING_ROW_

#endif

/* Calling convention of every table entry, vendor function and the host log callback. */
#ifndef UKEYADAPTOR_KXF_CALL_H
#define UKEYADAPTOR_KXF_CALL_H

#if defined(_WIN32) && !defined(_WIN64)
#define KXF_CALL __stdcall
#else
#define KXF_CALL
#endif

#endif

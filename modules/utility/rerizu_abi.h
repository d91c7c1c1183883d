/* The utility module's C interface (RERizu): INI profile access and small text helpers.
 *
 * "W" entry points take UTF-16 text (char16_t), "A" entry points UTF-8 text.
 * INI files behave like the Windows profile functions: section and key names are
 * case-insensitive, the first occurrence wins, blanks around values are trimmed and a
 * missing key yields the default. Files may be UTF-8 (with or without BOM) or UTF-16LE
 * with BOM. Writes keep every other line and replace the file atomically.
 * Thread safety: every entry point may be called from many threads at once; INI reads
 * and writes are serialised per process. */
#ifndef KORVANE_RERIZU_ABI_H
#define KORVANE_RERIZU_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#else
typedef uint16_t char16_t;
#endif

/* Text conversion: units/bytes written without the terminator; the output is always
 * terminated when capacity > 0; -1 when it does not fit. */
typedef int32_t (*RERizu_AnsiToUnicodeFn)(const char* src, char16_t* dst, uint32_t capacity);
typedef int32_t (*RERizu_UnicodeToAnsiFn)(const char16_t* src, char* dst, uint32_t capacity);

/* INI string read: copies the value (or the default, or "" when the default is NULL) into
 * buffer, cut to *capacity - 1 units and terminated. Result: units copied. */
typedef uint32_t (*RERizu_GetIniStringAFn)(const char* section, const char* key, const char* def, char* buffer,
                                           uint32_t* capacity, const char* file);
typedef uint32_t (*RERizu_GetIniStringWFn)(const char16_t* section, const char16_t* key, const char16_t* def,
                                           char16_t* buffer, uint32_t* capacity, const char16_t* file);
/* INI string write: non-zero on success. A NULL value removes the key. */
typedef int32_t (*RERizu_WriteIniStringAFn)(const char* section, const char* key, const char* value, const char* file);
typedef int32_t (*RERizu_WriteIniStringWFn)(const char16_t* section, const char16_t* key, const char16_t* value,
                                            const char16_t* file);
/* Unsigned integer values (decimal). */
typedef uint32_t (*RERizu_GetIniUIntAFn)(const char* section, const char* key, uint32_t def, const char* file);
typedef uint32_t (*RERizu_GetIniUIntWFn)(const char16_t* section, const char16_t* key, uint32_t def,
                                         const char16_t* file);
typedef int32_t (*RERizu_WriteIniUIntAFn)(const char* section, const char* key, uint32_t value, const char* file);
typedef int32_t (*RERizu_WriteIniUIntWFn)(const char16_t* section, const char16_t* key, uint32_t value,
                                          const char16_t* file);
/* Key names of a section as a double-terminated list; result: units written (without the last terminator). */
typedef uint32_t (*RERizu_GetIniKeyNamesAFn)(const char* section, char* buffer, uint32_t capacity, const char* file);
typedef uint32_t (*RERizu_GetIniKeyNamesWFn)(const char16_t* section, char16_t* buffer, uint32_t capacity,
                                             const char16_t* file);
/* One line to the trace sink. */
typedef void (*RERizu_DebugTraceAFn)(const char* text);
typedef void (*RERizu_DebugTraceWFn)(const char16_t* text);
/* Reverses the order of length bytes in place. */
typedef void (*RERizu_SwapBytesFn)(void* data, uint32_t length);
/* Text to lower-case hex digits and back; result as for the conversions above. */
typedef int32_t (*RERizu_AnsiToHexAFn)(const char* src, char* dst, uint32_t capacity);
typedef int32_t (*RERizu_AnsiToHexWFn)(const char16_t* src, char16_t* dst, uint32_t capacity);
typedef int32_t (*RERizu_HexToAnsiAFn)(const char* hex, char* dst, uint32_t capacity);
typedef int32_t (*RERizu_HexToAnsiWFn)(const char16_t* hex, char16_t* dst, uint32_t capacity);
/* Folder of the configuration files (the module's own folder), with a trailing '/'. */
typedef int32_t (*RERizu_GetConfigPathAFn)(char* buffer, uint32_t capacity);
typedef int32_t (*RERizu_GetConfigPathWFn)(char16_t* buffer, uint32_t capacity);
/* Folder of the current language's texts; -1 when there is none. */
typedef int32_t (*RERizu_GetCurrentLanguagePathAFn)(char* buffer, uint32_t capacity);
typedef int32_t (*RERizu_GetCurrentLanguagePathWFn)(char16_t* buffer, uint32_t capacity);
/* Display text of an id; -1 when there is none. */
typedef int32_t (*RERizu_GetDisplayTextAFn)(const char* id, char* buffer, uint32_t capacity);
typedef int32_t (*RERizu_GetDisplayTextWFn)(const char16_t* id, char16_t* buffer, uint32_t capacity);
/* A new random GUID as text "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}". */
typedef int32_t (*RERizu_CreateGUIDAFn)(char* buffer, uint32_t capacity);
typedef int32_t (*RERizu_CreateGUIDWFn)(char16_t* buffer, uint32_t capacity);
/* Operating system version as major * 100 + minor, and as text. */
typedef uint32_t (*RERizu_GetOSVerCodeFn)(void);
typedef int32_t (*RERizu_GetOSVersionAFn)(char* buffer, uint32_t capacity);
typedef int32_t (*RERizu_GetOSVersionWFn)(char16_t* buffer, uint32_t capacity);
/* Cipher strength of the system's web browser component; -1 where there is none. */
typedef int32_t (*RERizu_GetIEBitlenAFn)(char* buffer, uint32_t capacity);
typedef int32_t (*RERizu_GetIEBitlenWFn)(char16_t* buffer, uint32_t capacity);
/* Grants the current user read and write access to a file; non-zero on success. */
typedef int32_t (*RERizu_AddAccessFileAFn)(const char* path);
typedef int32_t (*RERizu_AddAccessFileWFn)(const char16_t* path);

/* The 34 entry points in one list, for the module and its binder alike. */
#define RERIZU_ENTRY_POINTS(X) \
    X(AnsiToUnicode) X(UnicodeToAnsi) X(GetIniStringA) X(GetIniStringW) X(WriteIniStringA) X(WriteIniStringW) \
    X(GetIniUIntA) X(GetIniUIntW) X(WriteIniUIntA) X(WriteIniUIntW) X(GetIniKeyNamesA) X(GetIniKeyNamesW) \
    X(DebugTraceA) X(DebugTraceW) X(SwapBytes) X(AnsiToHexA) X(AnsiToHexW) X(HexToAnsiA) X(HexToAnsiW) \
    X(GetConfigPathA) X(GetConfigPathW) X(GetCurrentLanguagePathA) X(GetCurrentLanguagePathW) \
    X(GetDisplayTextA) X(GetDisplayTextW) X(CreateGUIDA) X(CreateGUIDW) X(GetOSVerCode) X(GetOSVersionA) \
    X(GetOSVersionW) X(GetIEBitlenA) X(GetIEBitlenW) X(AddAccessFileA) X(AddAccessFileW)

#ifdef __cplusplus
}
#endif

#endif

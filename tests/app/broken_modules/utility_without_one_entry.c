/* A utility module with 33 of its 34 entry points (RERizu_AddAccessFileW is missing):
 * start-up must end, without a message. */
#define ENTRY(name) __attribute__((visibility("default"))) void RERizu_##name(void) {}

ENTRY(AnsiToUnicode) ENTRY(UnicodeToAnsi) ENTRY(GetIniStringA) ENTRY(GetIniStringW) ENTRY(WriteIniStringA)
ENTRY(WriteIniStringW) ENTRY(GetIniUIntA) ENTRY(GetIniUIntW) ENTRY(WriteIniUIntA) ENTRY(WriteIniUIntW)
ENTRY(GetIniKeyNamesA) ENTRY(GetIniKeyNamesW) ENTRY(DebugTraceA) ENTRY(DebugTraceW) ENTRY(SwapBytes)
ENTRY(AnsiToHexA) ENTRY(AnsiToHexW) ENTRY(HexToAnsiA) ENTRY(HexToAnsiW) ENTRY(GetConfigPathA)
ENTRY(GetConfigPathW) ENTRY(GetCurrentLanguagePathA) ENTRY(GetCurrentLanguagePathW) ENTRY(GetDisplayTextA)
ENTRY(GetDisplayTextW) ENTRY(CreateGUIDA) ENTRY(CreateGUIDW) ENTRY(GetOSVerCode) ENTRY(GetOSVersionA)
ENTRY(GetOSVersionW) ENTRY(GetIEBitlenA) ENTRY(GetIEBitlenW) ENTRY(AddAccessFileA)

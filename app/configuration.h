// Reading the configuration keys into the application object, in start-up's order.
// Each reader that can end start-up returns false after showing its message.
// Thread safety: start-up and the front end's thread only.
#pragma once

namespace korvane {

class CKorvaneAppDownloadApp;
class IMessageSink;
class IniReader;

// Size of the binding table.
inline constexpr int kBindingSlots = 10;

// [DATABASE] URL_A and the firmware key of DevPath.ini, the key components of
// [Security], and, when [SIGNEDDATATOOL] enable is 1, the client public key of SignTool.ini.
bool ReadSecurityKeys(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink);
// AutoRunApp, runApp, checkSP, secureBoot, useSingedData and DownloadApp.
void ReadRunSwitches(CKorvaneAppDownloadApp& app, const IniReader& reader);
// [TUSN] ISCHECK and, when on, DEVICE_TYPE and CUSOMTER_ID.
bool ReadIdentityKeys(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink);
// The logo placement and display keys that follow LogoPath.
void ReadLogoSettings(CKorvaneAppDownloadApp& app, const IniReader& reader);
// The file-system keys read when FileDownload is on; warns when neither partition is set up.
void ReadFileSystemSettings(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink);
// FSConfig, FSType, FSDMA and FSBaud.
void ReadFormatSettings(CKorvaneAppDownloadApp& app, const IniReader& reader);
// [COUNTS] AT and the bound port names; entries beyond the tenth are ignored.
void ReadBindingTable(CKorvaneAppDownloadApp& app, const IniReader& reader);

}  // namespace korvane

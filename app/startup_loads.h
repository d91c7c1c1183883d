// The start-up steps that load download data: the server images with their MD5 checks
// and identity keys, the logo, the file sets and the audio file.
// Thread safety: start-up on the front end's thread only.
#pragma once

namespace korvane {

class CKorvaneAppDownloadApp;
class IMessageSink;
class IniReader;

// Image list, fetch, MD5 checks and [TUSN]; false after the message that ends start-up.
bool LoadServerImagesAtStartup(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink);
// The steps below report a file that cannot be loaded and go on; the item then counts
// as not loaded, which Start refuses.
void LoadLogoAtStartup(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink);
void LoadFileSetsAtStartup(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink);
void LoadAmrAtStartup(CKorvaneAppDownloadApp& app, const IniReader& reader, IMessageSink& sink);

}  // namespace korvane

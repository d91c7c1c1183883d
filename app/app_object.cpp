#include "app/KorvaneAppDownloadApp.h"

#include "engine/signature_cache.h"

namespace korvane {

CKorvaneAppDownloadApp::CKorvaneAppDownloadApp() { signing.utility = &utility; }
CKorvaneAppDownloadApp::~CKorvaneAppDownloadApp() = default;

}  // namespace korvane

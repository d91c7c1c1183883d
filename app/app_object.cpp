#include "app/KorvaneAppDownloadApp.h"

#include "engine/thread_para.h"

namespace korvane {

CKorvaneAppDownloadApp::CKorvaneAppDownloadApp() = default;
CKorvaneAppDownloadApp::~CKorvaneAppDownloadApp() = default;

}  // namespace korvane

// The download plan of a run, made from the application object at Start.
// Thread safety: front end's thread; the plan points into the application's loaded data,
// which stays unchanged until the run is stopped.
#pragma once

#include "engine/download_plan.h"

namespace korvane {

class CKorvaneAppDownloadApp;

// What the sessions send and check. Every byte span is the loaded buffer cut to its
// recorded size, so no session reads past what was loaded.
DownloadPlan MakeDownloadPlan(const CKorvaneAppDownloadApp& app);

}  // namespace korvane

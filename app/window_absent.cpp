// The window front end of a build made without the window toolkit.
#include <cstdio>

#include "app/front_ends.h"

namespace korvane {

int RunWindow(int /*argc*/, char** /*argv*/) {
    std::fputs("This build of KorvaneAppDownload has no window; run it with --headless.\n", stderr);
    return 2;
}

}  // namespace korvane

// Registers the window's compiled-in resources (toolbar pictures, progress pattern).
// Thread safety: may be called from any thread, any number of times.
#pragma once

namespace korvane {

void EnsureUiResources();

}  // namespace korvane

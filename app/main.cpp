// KorvaneAppDownload: the window, or with --headless the console.
#include "app/console_options.h"
#include "app/front_ends.h"

int main(int argc, char** argv) {
    return korvane::WantsConsole(argc, argv) ? korvane::RunConsole(argc, argv) : korvane::RunWindow(argc, argv);
}

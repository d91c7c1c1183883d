// KorvaneAppDownload: the window, or with --headless the console.
#include "app/console_options.h"
#include "app/front_ends.h"
#include "app/process_env.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Every option value (folders, file names) as UTF-8, whatever the system hands main().
    std::vector<std::string> arguments = korvane::Utf8Arguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);
    char** utf8 = pointers.data();
    return korvane::WantsConsole(argc, utf8) ? korvane::RunConsole(argc, utf8) : korvane::RunWindow(argc, utf8);
}

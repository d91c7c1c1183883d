// The two front ends of the program; main() picks one from the command line.
#pragma once

namespace korvane {

// The console front end (--headless). Returns the process exit status.
int RunConsole(int argc, char** argv);
// The window front end. Returns the process exit status.
int RunWindow(int argc, char** argv);

}  // namespace korvane

// How a module marks its C entry points. Linux: the modules are built with hidden
// visibility and a version script, and the entry points are made visible. Windows: each
// module's .def file lists its exports, and nothing else leaves the DLL.
#pragma once

#if defined(_WIN32)
#define KORVANE_MODULE_EXPORT extern "C"
#else
#define KORVANE_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

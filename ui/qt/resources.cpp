#include "ui/qt/resources.h"

#include <QtCore/qglobal.h>

#include <mutex>

// The resource initialiser has to be named outside any namespace.
static void InitKorvaneResources() {
    Q_INIT_RESOURCE(korvane);
}

namespace korvane {

void EnsureUiResources() {
    static std::once_flag once;
    std::call_once(once, InitKorvaneResources);
}

}  // namespace korvane

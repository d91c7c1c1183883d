#include "engine/main_process.h"
#include "ui/session_priority.h"

namespace korvane {

int WindowSessionEntry(_THREAD_PARA_T* para) {
    LowerThisThreadForSession();
    return MainProcess(para);
}

}  // namespace korvane

#include "ui/toolbar_rules.h"

namespace korvane {

const ToolbarButton* FindToolbarButton(int command) {
    for (const ToolbarButton& button : kToolbarButtons) {
        if (button.command == command) {
            return &button;
        }
    }
    return nullptr;
}

bool CommandEnabled(int command, bool running) {
    switch (command) {
        // The button is shown greyed in both run states; the configuration files hold
        // the settings.
        case kCmdSettings: return false;
        case kCmdStart: return !running;
        case kCmdStop: return running;
        default: return true;
    }
}

}  // namespace korvane

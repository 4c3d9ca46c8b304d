#include "platform/display.h"

#include <cstdlib>

namespace sp {

bool display_available() {
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    // QT_QPA_PLATFORM names a platform that needs no display (offscreen, vnc).
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace sp

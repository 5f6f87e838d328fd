#include "platformchoice.h"

#include <QByteArray>
#include <QtGlobal>

namespace PlatformChoice {

void preferX11OnWayland()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const bool wayland =
        qEnvironmentVariableIsSet("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland";
    if (wayland && !qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
#endif
}

} // namespace PlatformChoice

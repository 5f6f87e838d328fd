#pragma once

namespace PlatformChoice {

// On a Wayland session an unfocused program is never told of clipboard changes, which is this
// program's whole job. When an X server is reachable (XWayland) and the user chose no platform,
// run on X11 instead. Must be called before the application object exists.
void preferX11OnWayland();

} // namespace PlatformChoice

// The Multi-Tap Delay page's graph: the dialog's static control 4042, given a window
// procedure of its own at dialog creation, draws the echo pattern and the taps from the
// filter's parameters. The parameter interface it reads is kept in the control's window
// property "TapGraph"; while the page is not connected the property is absent and the graph
// shows only its background.
#pragma once

#include <windows.h>

#include "win/ui/pages/effect_property_page.h"

namespace mw::ui {

// The window property that holds the graph's parameter interface.
constexpr const char* kTapGraphProperty = "TapGraph";

// The page's hooks: the graph subclassed at dialog creation, its property refreshed when the
// page connects or disconnects, and both undone when the dialog goes.
extern const PageWindowHooks kTapGraphWindowHooks;

}  // namespace mw::ui

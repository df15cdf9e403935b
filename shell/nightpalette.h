#pragma once

// The widgets' colours by night: the menu strip, its pop-ups, the boxes and the dialogs go
// dark with the dashboard, so nothing dazzles on a dark road. By day the application keeps
// the palette of the desktop, as it always had.

#include <QPalette>

namespace velocimo {

// Greys of the dashboard's night art, light text, dimmer when disabled.
QPalette nightPalette();

// Sets or lifts the night palette for the whole application; repeating a state does nothing.
void applyNightPalette(bool night);

} // namespace velocimo

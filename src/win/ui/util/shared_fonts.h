// Fonts shared by the controls and pages, by identifier, created on first use and kept
// until the module unloads.
#pragma once

#include <windows.h>

namespace mw::ui {

enum SharedFontId : int {
  kFontBannerCaption = 104,  // "Helv", 8 points, bold
  kFontBannerItems = 110,    // "Small Fonts", 7 points ("Helv" where 7 points pass 9 pixels)
  kFontNonClientFirst = 140,  // 140 to 144: caption, small caption, menu, status, message
  kFontNonClientLast = 144,
};

// The stock fonts 10 to 14, 16 and 17; the non-client fonts 140 to 144; the table's fonts;
// the system stock font for any other identifier. Never null; the caller must not delete it.
HFONT GetSharedFont(int id);

// Deletes the fonts made so far (module unload).
void ReleaseSharedFonts();

}  // namespace mw::ui

// The user's number formatting read from the platform, and the platform's own number
// formatting behind the core's NumberFormatting interface.
#pragma once

#include <cstddef>

#include "core/ui/locale.h"

namespace mw::ui {

// A snapshot of the user's default locale (GetLocaleInfoA); fields the platform does not
// answer keep the snapshot's defaults.
LocaleSnapshot ReadUserLocale();

// GetNumberFormatA with a NUMBERFMT built from the snapshot (decimals held to 0 to 9). The
// number must be plain text ("-1234.5"); anything else gives 0 and an empty output. A result
// longer than the output is cut (always terminated). Returns the bytes written with the
// terminator, as the platform does.
class WinNumberFormatting final : public NumberFormatting {
 public:
  std::size_t Format(const char* number, int decimals, bool grouped,
                     const LocaleSnapshot& locale, char* out,
                     std::size_t size) const override;
};

}  // namespace mw::ui

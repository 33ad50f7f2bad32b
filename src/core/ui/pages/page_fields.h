// A page's hooks reaching the filter's fields by name, for the rows a table cannot bind: the
// floating-point fields, the input's sample rate (absent without an input), and the locale
// the page reads typed numbers with.
#pragma once

#include <cstdint>
#include <optional>

#include "core/ui/pages/page_logic.h"

namespace mw::pages {

inline const LocaleSnapshot& PageLocale(const PageLogic& page) {
  static const LocaleSnapshot kDefault;
  return page.Text().locale != nullptr ? *page.Text().locale : kDefault;
}

inline std::optional<std::uint32_t> PageSampleRate(PageLogic& page) {
  std::uint32_t rate = 0;
  if (!page.Params().SampleRate(&rate)) return std::nullopt;
  return rate;
}

// 0 when the field cannot be read.
inline std::int32_t ReadField(PageLogic& page, const char* name) {
  return page.Read(page.Field(name));
}

inline double ReadDoubleField(PageLogic& page, const char* name) {
  double v = 0.0;
  const int field = page.Field(name);
  if (field < 0 || !page.Params().GetDouble(static_cast<std::size_t>(field), &v)) return 0.0;
  return v;
}

inline void PutField(PageLogic& page, const char* name, std::int32_t value) {
  const int field = page.Field(name);
  if (field >= 0) page.Params().Put(static_cast<std::size_t>(field), value);
}

inline void PutDoubleField(PageLogic& page, const char* name, double value) {
  const int field = page.Field(name);
  if (field >= 0) page.Params().PutDouble(static_cast<std::size_t>(field), value);
}

}  // namespace mw::pages

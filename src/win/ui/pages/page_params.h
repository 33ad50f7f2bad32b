// The connected filter's parameter interface as the page frame's logic uses it. Every
// effect's parameter interface has one shape: IUnknown's three operations, GetParameters,
// SetParameters, GetFormat and RegisterNotifyWindow, then a get/put pair per field in the
// order of the effect's field table, and for the effects that change the length of the
// sound GetSampleRate after them. So the page calls a field's accessors by their slots,
// as a host that knows the field table does, and needs no declaration per effect.
#pragma once

#include <windows.h>

#include "core/effects/effect_description.h"
#include "core/ui/pages/page_logic.h"

namespace mw::ui {

class PageParamsInterface final : public pages::PageParams {
 public:
  // `params` is the effect's parameter interface (a reference is held by the page).
  PageParamsInterface(IUnknown* params, const EffectDescription& effect)
      : params_(params), effect_(effect) {}

  bool Get(std::size_t field, std::int32_t* value) override;
  void Put(std::size_t field, std::int32_t value) override;
  bool GetDouble(std::size_t field, double* value) override;
  void PutDouble(std::size_t field, double value) override;
  bool SampleRate(std::uint32_t* rate) override;
  bool Channels(int* channels) override;

  // RegisterNotifyWindow: change notices as WM_COMMAND `id` to `window` (0 ends them).
  HRESULT RegisterNotifyWindow(HWND window, DWORD id);

 private:
  bool Known(std::size_t field, FieldType type) const;

  IUnknown* params_;
  const EffectDescription& effect_;
};

}  // namespace mw::ui

// What the trackbar and fader window procedures share: the state record each window keeps in
// its window bytes (the slider model plus what belongs to the window system), the painting
// entry points, and the fader's module-wide resources.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/ui/slider_model.h"

namespace mw::ui {

constexpr UINT_PTR kSliderRepeatTimer = 1;

struct SliderWindowState {
  SliderWindowState(SliderKind kind, std::uint32_t style, bool disabled, std::int32_t data)
      : model(kind, style, disabled, data) {}

  SliderModel model;
  HWND window = nullptr;
  HWND notifyWindow = nullptr;  // the creation parent when it differs from the parent
  UINT_PTR id = 0;              // the creation hMenu
  bool trueColour = true;       // the display has more than 256 colours
  bool caretMade = false;
  bool caretHidden = false;
  LPARAM keyData = 0;           // the key message being handled (for unused-key records)
  std::int32_t positions[2] = {};  // the thumb positions a fader's scroll record points to
  int depth = 0;                // calls of the window procedure in progress
  bool destroyed = false;       // the window went away during a call: free at its end
};

// Paints the whole client area into `dc` (an off-screen bitmap of the client's size).
void PaintTrackbar(const SliderWindowState& s, HDC dc);
void PaintFader(const SliderWindowState& s, HDC dc);

// The message translation both classes share; `kind` picks the class's own messages.
LRESULT SliderWindowProc(SliderKind kind, HWND window, UINT message, WPARAM wParam,
                         LPARAM lParam);
// The fader's own messages (FDM_*) and cursor; false when `message` is not one of them.
bool FaderMessage(SliderWindowState& s, UINT message, WPARAM wParam, LPARAM lParam,
                  LRESULT* result);

// The fader's module-wide resources, taken by each fader at creation and given back at its
// destruction: the first fader sets them up, the last releases them.
struct FaderResources {
  HDC memory = nullptr;  // shared by the faders' off-screen painting
  HCURSOR arrow = nullptr;
  HCURSOR leftThumb = nullptr;   // cursor 27
  HCURSOR rightThumb = nullptr;  // cursor 28
};
void AcquireFaderResources();
void ReleaseFaderResources();
const FaderResources& FaderSharedResources();  // while a fader exists
int FaderInstanceCount();

// Carries out a model call's actions in the documented order.
void CarryOut(SliderWindowState& s, const SliderActions& actions);
// Paints at once and moves the caret onto the (first active) thumb.
void RepaintSlider(SliderWindowState& s);
// Makes the caret again for the thumb's current size while the control has the focus.
void RefreshCaret(SliderWindowState& s);
Point PointerInClient(HWND window);

}  // namespace mw::ui

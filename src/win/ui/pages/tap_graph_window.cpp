#include "win/ui/pages/tap_graph_window.h"

#include <vector>

#include "core/effects/multitap/multi_tap_page_ids.h"
#include "core/effects/multitap/tap_graph.h"
#include "mwppack1/mwppack1.h"
#include "win/ui/controls/offscreen.h"
#include "win/ui/util/sys_colors.h"

namespace mw::ui {
namespace {

// The static control's own procedure, for every message but painting. All graphs are of one
// class, so one value serves the module.
WNDPROC previousProcedure = nullptr;

RECT ToRect(const UiRect& r) { return {r.left, r.top, r.right, r.bottom}; }

void Fill(HDC dc, const UiRect& r, HBRUSH brush) {
  const RECT area = ToRect(r);
  FillRect(dc, &area, brush);
}

// The background in the brush the page gives for the control's static colour.
void PaintBackground(HWND window, HDC dc, const RECT& client) {
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  HWND parent = GetParent(window);
  auto brush = reinterpret_cast<HBRUSH>(
      SendMessageA(parent != nullptr ? parent : window, WM_CTLCOLORSTATIC,
                   reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window)));
  FillRect(dc, &client, brush != nullptr ? brush : GetSysColorBrush(COLOR_WINDOW));
}

// The axes, then every bar in the module's colour for its kind, in the core's order (the
// current tap last, over everything else).
void PaintGraph(HDC dc, const RECT& client, const MultiTapParams& p) {
  const TapGraphFrame frame =
      TapGraphFrameOf({client.left, client.top, client.right, client.bottom});
  auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  Fill(dc, frame.vertical, black);
  Fill(dc, frame.horizontal, black);
  const int colours[] = {kTapGraphEchoColour, kTapGraphTapColour, kTapGraphCurrentTapColour};
  HBRUSH brushes[3] = {};
  for (int i = 0; i < 3; ++i) brushes[i] = CreateSolidBrush(GetSysColorEx(colours[i]));
  for (const TapGraphBarItem& bar : TapGraphBars(frame, p)) {
    for (int i = 0; i < 3; ++i) {
      if (bar.colour == colours[i] && brushes[i] != nullptr) Fill(dc, bar.rect, brushes[i]);
    }
  }
  for (HBRUSH brush : brushes) {
    if (brush != nullptr) DeleteObject(brush);
  }
}

void Paint(HWND window, HDC target) {
  RECT client;
  GetClientRect(window, &client);
  OffscreenDC buffer(target, client);
  const HDC dc = buffer.dc();
  PaintBackground(window, dc, client);
  auto* params = static_cast<IMultiTapParams*>(GetPropA(window, kTapGraphProperty));
  MultiTapParams p{};
  if (params != nullptr && SUCCEEDED(params->GetParameters(&p))) PaintGraph(dc, client, p);
}

LRESULT CALLBACK TapGraphProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT || message == WM_PRINTCLIENT) {
    return PaintMessage(window, message, wParam, [window](HDC dc) { Paint(window, dc); });
  }
  return previousProcedure != nullptr
             ? CallWindowProcA(previousProcedure, window, message, wParam, lParam)
             : DefWindowProcA(window, message, wParam, lParam);
}

void SetParams(HWND graph, IUnknown* params) {
  if (params != nullptr) {
    SetPropA(graph, kTapGraphProperty, params);
  } else {
    RemovePropA(graph, kTapGraphProperty);
  }
  InvalidateRect(graph, nullptr, TRUE);
}

void Created(HWND dialog, IUnknown* params) {
  HWND graph = GetDlgItem(dialog, MW_MT_GRAPH);
  if (graph == nullptr) return;
  const auto previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
      graph, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TapGraphProcedure)));
  if (previous != &TapGraphProcedure) previousProcedure = previous;
  SetParams(graph, params);
}

void Connected(HWND dialog, IUnknown* params) {
  if (HWND graph = GetDlgItem(dialog, MW_MT_GRAPH)) SetParams(graph, params);
}

void Destroyed(HWND dialog) {
  HWND graph = GetDlgItem(dialog, MW_MT_GRAPH);
  if (graph == nullptr) return;
  if (previousProcedure != nullptr) {
    SetWindowLongPtrA(graph, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProcedure));
  }
  RemovePropA(graph, kTapGraphProperty);
}

}  // namespace

const PageWindowHooks kTapGraphWindowHooks = {&Created, &Connected, &Destroyed};

}  // namespace mw::ui

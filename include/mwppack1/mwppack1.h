/* mwppack1 SDK: what a host needs to create the Vantor 1 Plug-In Pack filters and drive
 * them through their interfaces. Class and interface identifiers, and every interface with
 * its operations in their exact slot order; usable from C and C++. */
#ifndef MWPPACK1_H
#define MWPPACK1_H

#include <objbase.h>
#include <mmreg.h>

#include "mwppack1/params.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Filters and their settings pages. */
DEFINE_GUID(CLSID_MwSimpleDelay, 0x3C41A870, 0x5E2D, 0x11D0, 0x9D, 0x27, 0x4E, 0x7A, 0x91,
            0xC2, 0xD0, 0x5F);
DEFINE_GUID(CLSID_MwSimpleDelayPage, 0x3C41A871, 0x5E2D, 0x11D0, 0x9D, 0x27, 0x4E, 0x7A,
            0x91, 0xC2, 0xD0, 0x5F);

/* Interfaces. */
DEFINE_GUID(IID_ISimpleDelayParams, 0x3C41A873, 0x5E2D, 0x11D0, 0x9D, 0x27, 0x4E, 0x7A, 0x91,
            0xC2, 0xD0, 0x5F);
DEFINE_GUID(IID_IEffectPresets, 0x7E0B3D90, 0x2F46, 0x11D0, 0xB1, 0xE8, 0x4E, 0x7A, 0x91,
            0xC2, 0xD0, 0x5F);
DEFINE_GUID(IID_IEffectDirectProcess, 0x93C4E7B2, 0x5D18, 0x11D3, 0xA6, 0xF0, 0x27, 0xB8,
            0x5E, 0x0D, 0x4C, 0x19);

/* Change notices reach a registered window as WM_COMMAND with the registered identifier in
 * the low word of wParam and one of these codes in the high word. */
#define MWPPACK1_NOTIFY_INPUT_FORMAT 0
#define MWPPACK1_NOTIFY_OUTPUT_FORMAT 1
#define MWPPACK1_NOTIFY_RELOADED 100

#undef INTERFACE
#define INTERFACE ISimpleDelayParams
DECLARE_INTERFACE_(ISimpleDelayParams, IUnknown) {
  BEGIN_INTERFACE
  STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** object) PURE;
  STDMETHOD_(ULONG, AddRef)(THIS) PURE;
  STDMETHOD_(ULONG, Release)(THIS) PURE;
  STDMETHOD(GetParameters)(THIS_ SimpleDelayParams* params) PURE;
  STDMETHOD(SetParameters)(THIS_ const SimpleDelayParams* params) PURE;
  STDMETHOD(GetFormat)(THIS_ WAVEFORMATEX* format) PURE;
  STDMETHOD(RegisterNotifyWindow)(THIS_ HWND window, DWORD commandId) PURE;
  STDMETHOD(get_DryOut)(THIS_ LONG* value) PURE;
  STDMETHOD(put_DryOut)(THIS_ LONG value) PURE;
  STDMETHOD(get_DelayOut)(THIS_ LONG* value) PURE;
  STDMETHOD(put_DelayOut)(THIS_ LONG value) PURE;
  STDMETHOD(get_Feedback)(THIS_ LONG* value) PURE;
  STDMETHOD(put_Feedback)(THIS_ LONG value) PURE;
  STDMETHOD(get_DelayTime)(THIS_ LONG* value) PURE;
  STDMETHOD(put_DelayTime)(THIS_ LONG value) PURE;
  STDMETHOD(get_DecayTime)(THIS_ LONG* value) PURE;
  STDMETHOD(put_DecayTime)(THIS_ LONG value) PURE;
  END_INTERFACE
};

#undef INTERFACE
#define INTERFACE IEffectPresets
DECLARE_INTERFACE_(IEffectPresets, IUnknown) {
  BEGIN_INTERFACE
  STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** object) PURE;
  STDMETHOD_(ULONG, AddRef)(THIS) PURE;
  STDMETHOD_(ULONG, Release)(THIS) PURE;
  STDMETHOD(GetPresetCount)(THIS_ LONG* count) PURE;
  STDMETHOD(GetPresetName)(THIS_ LONG index, WCHAR* buffer, LONG bufferChars) PURE;
  STDMETHOD(ApplyPreset)(THIS_ LONG index) PURE;
  END_INTERFACE
};

/* Graph-less processing of 32-bit float buffers (the in-place effects only). */
#undef INTERFACE
#define INTERFACE IEffectDirectProcess
DECLARE_INTERFACE_(IEffectDirectProcess, IUnknown) {
  BEGIN_INTERFACE
  STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** object) PURE;
  STDMETHOD_(ULONG, AddRef)(THIS) PURE;
  STDMETHOD_(ULONG, Release)(THIS) PURE;
  STDMETHOD(Initialize)(THIS_ DWORD channels, DWORD sampleRate) PURE;
  STDMETHOD(Process)(THIS_ float* buffer, DWORD frames, BOOL limited) PURE;
  STDMETHOD(ProcessTail)(THIS_ float* buffer, DWORD* frames) PURE;
  STDMETHOD(Stop)(THIS) PURE;
  STDMETHOD(ParametersChanged)(THIS) PURE;
  STDMETHOD(UpdateParameters)(THIS_ BOOL reset, DWORD reserved1, DWORD reserved2) PURE;
  END_INTERFACE
};
#undef INTERFACE

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* MWPPACK1_H */

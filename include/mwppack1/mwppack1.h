/* mwppack1 SDK: what a host needs to create the Vantor 1 Plug-In Pack filters and drive
 * them through their interfaces. Class and interface identifiers, and every interface with
 * its operations in their exact slot order; usable from C and C++. */
#ifndef MWPPACK1_H
#define MWPPACK1_H

#include <objbase.h>
#include <mmreg.h>

#include "mwppack1/identifiers.h"
#include "mwppack1/params.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The class and interface identifiers (the list is in identifiers.h). */
#define MWPPACK1_DEFINE_GUID_ROW(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8);
MWPPACK1_CLASS_IDENTIFIERS(MWPPACK1_DEFINE_GUID_ROW)
MWPPACK1_INTERFACE_IDENTIFIERS(MWPPACK1_DEFINE_GUID_ROW)
#undef MWPPACK1_DEFINE_GUID_ROW

/* Change notices reach a registered window as WM_COMMAND with the registered identifier in
 * the low word of wParam and one of these codes in the high word. */
#define MWPPACK1_NOTIFY_INPUT_FORMAT 0
#define MWPPACK1_NOTIFY_OUTPUT_FORMAT 1
#define MWPPACK1_NOTIFY_RELOADED 100

/* The two effects that change the length of the sound have an input and an output
 * format: GetFormat's `which` is 0 for the input's, 1 for the output's
 * (VFW_E_NOT_CONNECTED while that side has none). GetSampleRate answers the input's rate,
 * or 44100 with E_FAIL while there is no input format. */
#undef INTERFACE
#define INTERFACE ITimeStretchParams
DECLARE_INTERFACE_(ITimeStretchParams, IUnknown) {
  BEGIN_INTERFACE
  STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** object) PURE;
  STDMETHOD_(ULONG, AddRef)(THIS) PURE;
  STDMETHOD_(ULONG, Release)(THIS) PURE;
  STDMETHOD(GetParameters)(THIS_ TimeStretchParams* params) PURE;
  STDMETHOD(SetParameters)(THIS_ const TimeStretchParams* params) PURE;
  STDMETHOD(GetFormat)(THIS_ DWORD which, WAVEFORMATEX* format) PURE;
  STDMETHOD(RegisterNotifyWindow)(THIS_ HWND window, DWORD commandId) PURE;
  STDMETHOD(get_FinalLength)(THIS_ double* value) PURE;
  STDMETHOD(put_FinalLength)(THIS_ double value) PURE;
  STDMETHOD(get_Mode)(THIS_ DWORD* value) PURE;
  STDMETHOD(put_Mode)(THIS_ DWORD value) PURE;
  STDMETHOD(get_InitialTempo)(THIS_ DWORD* value) PURE;
  STDMETHOD(put_InitialTempo)(THIS_ DWORD value) PURE;
  STDMETHOD(get_InitialTime)(THIS_ double* value) PURE;
  STDMETHOD(put_InitialTime)(THIS_ double value) PURE;
  STDMETHOD(get_InputFormat)(THIS_ DWORD* value) PURE;
  STDMETHOD(put_InputFormat)(THIS_ DWORD value) PURE;
  STDMETHOD(GetSampleRate)(THIS_ DWORD* rate) PURE;
  END_INTERFACE
};

#undef INTERFACE
#define INTERFACE IPitchShiftParams
DECLARE_INTERFACE_(IPitchShiftParams, IUnknown) {
  BEGIN_INTERFACE
  STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** object) PURE;
  STDMETHOD_(ULONG, AddRef)(THIS) PURE;
  STDMETHOD_(ULONG, Release)(THIS) PURE;
  STDMETHOD(GetParameters)(THIS_ PitchShiftParams* params) PURE;
  STDMETHOD(SetParameters)(THIS_ const PitchShiftParams* params) PURE;
  STDMETHOD(GetFormat)(THIS_ DWORD which, WAVEFORMATEX* format) PURE;
  STDMETHOD(RegisterNotifyWindow)(THIS_ HWND window, DWORD commandId) PURE;
  STDMETHOD(get_Semitones)(THIS_ LONG* value) PURE;
  STDMETHOD(put_Semitones)(THIS_ LONG value) PURE;
  STDMETHOD(get_Cents)(THIS_ LONG* value) PURE;
  STDMETHOD(put_Cents)(THIS_ LONG value) PURE;
  STDMETHOD(get_Accuracy)(THIS_ DWORD* value) PURE;
  STDMETHOD(put_Accuracy)(THIS_ DWORD value) PURE;
  STDMETHOD(get_PreserveDuration)(THIS_ DWORD* value) PURE;
  STDMETHOD(put_PreserveDuration)(THIS_ DWORD value) PURE;
  STDMETHOD(get_Mode)(THIS_ DWORD* value) PURE;
  STDMETHOD(put_Mode)(THIS_ DWORD value) PURE;
  STDMETHOD(get_Ratio)(THIS_ double* value) PURE;
  STDMETHOD(put_Ratio)(THIS_ double value) PURE;
  STDMETHOD(get_AntiAlias)(THIS_ DWORD* value) PURE;
  STDMETHOD(put_AntiAlias)(THIS_ DWORD value) PURE;
  STDMETHOD(get_InitialTime)(THIS_ double* value) PURE;
  STDMETHOD(put_InitialTime)(THIS_ double value) PURE;
  STDMETHOD(GetSampleRate)(THIS_ DWORD* rate) PURE;
  END_INTERFACE
};

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
#define INTERFACE IChorusParams
DECLARE_INTERFACE_(IChorusParams, IUnknown) {
  BEGIN_INTERFACE
  STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** object) PURE;
  STDMETHOD_(ULONG, AddRef)(THIS) PURE;
  STDMETHOD_(ULONG, Release)(THIS) PURE;
  STDMETHOD(GetParameters)(THIS_ ChorusParams* params) PURE;
  STDMETHOD(SetParameters)(THIS_ const ChorusParams* params) PURE;
  STDMETHOD(GetFormat)(THIS_ WAVEFORMATEX* format) PURE;
  STDMETHOD(RegisterNotifyWindow)(THIS_ HWND window, DWORD commandId) PURE;
  STDMETHOD(get_InputGain)(THIS_ LONG* value) PURE;
  STDMETHOD(put_InputGain)(THIS_ LONG value) PURE;
  STDMETHOD(get_DryOut)(THIS_ LONG* value) PURE;
  STDMETHOD(put_DryOut)(THIS_ LONG value) PURE;
  STDMETHOD(get_ChorusOut)(THIS_ LONG* value) PURE;
  STDMETHOD(put_ChorusOut)(THIS_ LONG value) PURE;
  STDMETHOD(get_ChorusSize)(THIS_ LONG* value) PURE;
  STDMETHOD(put_ChorusSize)(THIS_ LONG value) PURE;
  STDMETHOD(get_Feedback)(THIS_ LONG* value) PURE;
  STDMETHOD(put_Feedback)(THIS_ LONG value) PURE;
  STDMETHOD(get_InvertChorusPhase)(THIS_ LONG* value) PURE;
  STDMETHOD(put_InvertChorusPhase)(THIS_ LONG value) PURE;
  STDMETHOD(get_ChorusOutDelay)(THIS_ LONG* value) PURE;
  STDMETHOD(put_ChorusOutDelay)(THIS_ LONG value) PURE;
  STDMETHOD(get_ModulationRate)(THIS_ LONG* value) PURE;
  STDMETHOD(put_ModulationRate)(THIS_ LONG value) PURE;
  STDMETHOD(get_ModulationDepth)(THIS_ LONG* value) PURE;
  STDMETHOD(put_ModulationDepth)(THIS_ LONG value) PURE;
  STDMETHOD(get_AttenuateHighs)(THIS_ LONG* value) PURE;
  STDMETHOD(put_AttenuateHighs)(THIS_ LONG value) PURE;
  STDMETHOD(get_HighCutoff)(THIS_ LONG* value) PURE;
  STDMETHOD(put_HighCutoff)(THIS_ LONG value) PURE;
  STDMETHOD(get_InvertFeedbackPhase)(THIS_ LONG* value) PURE;
  STDMETHOD(put_InvertFeedbackPhase)(THIS_ LONG value) PURE;
  END_INTERFACE
};

#undef INTERFACE
#define INTERFACE IReverbParams
DECLARE_INTERFACE_(IReverbParams, IUnknown) {
  BEGIN_INTERFACE
  STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** object) PURE;
  STDMETHOD_(ULONG, AddRef)(THIS) PURE;
  STDMETHOD_(ULONG, Release)(THIS) PURE;
  STDMETHOD(GetParameters)(THIS_ ReverbParams* params) PURE;
  STDMETHOD(SetParameters)(THIS_ const ReverbParams* params) PURE;
  STDMETHOD(GetFormat)(THIS_ WAVEFORMATEX* format) PURE;
  STDMETHOD(RegisterNotifyWindow)(THIS_ HWND window, DWORD commandId) PURE;
  STDMETHOD(get_ReverbMode)(THIS_ LONG* value) PURE;
  STDMETHOD(put_ReverbMode)(THIS_ LONG value) PURE;
  STDMETHOD(get_EarlyStyle)(THIS_ LONG* value) PURE;
  STDMETHOD(put_EarlyStyle)(THIS_ LONG value) PURE;
  STDMETHOD(get_DryOut)(THIS_ LONG* value) PURE;
  STDMETHOD(put_DryOut)(THIS_ LONG value) PURE;
  STDMETHOD(get_ReverbOut)(THIS_ LONG* value) PURE;
  STDMETHOD(put_ReverbOut)(THIS_ LONG value) PURE;
  STDMETHOD(get_EarlyOut)(THIS_ LONG* value) PURE;
  STDMETHOD(put_EarlyOut)(THIS_ LONG value) PURE;
  STDMETHOD(get_DecayTime)(THIS_ LONG* value) PURE;
  STDMETHOD(put_DecayTime)(THIS_ LONG value) PURE;
  STDMETHOD(get_PreDelay)(THIS_ LONG* value) PURE;
  STDMETHOD(put_PreDelay)(THIS_ LONG value) PURE;
  STDMETHOD(get_AttenuateBass)(THIS_ LONG* value) PURE;
  STDMETHOD(put_AttenuateBass)(THIS_ LONG value) PURE;
  STDMETHOD(get_AttenuateHighs)(THIS_ LONG* value) PURE;
  STDMETHOD(put_AttenuateHighs)(THIS_ LONG value) PURE;
  STDMETHOD(get_BassCutoff)(THIS_ LONG* value) PURE;
  STDMETHOD(put_BassCutoff)(THIS_ LONG value) PURE;
  STDMETHOD(get_HighCutoff)(THIS_ LONG* value) PURE;
  STDMETHOD(put_HighCutoff)(THIS_ LONG value) PURE;
  END_INTERFACE
};

#undef INTERFACE
#define INTERFACE IMultiTapParams
DECLARE_INTERFACE_(IMultiTapParams, IUnknown) {
  BEGIN_INTERFACE
  STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** object) PURE;
  STDMETHOD_(ULONG, AddRef)(THIS) PURE;
  STDMETHOD_(ULONG, Release)(THIS) PURE;
  STDMETHOD(GetParameters)(THIS_ MultiTapParams* params) PURE;
  STDMETHOD(SetParameters)(THIS_ const MultiTapParams* params) PURE;
  STDMETHOD(GetFormat)(THIS_ WAVEFORMATEX* format) PURE;
  STDMETHOD(RegisterNotifyWindow)(THIS_ HWND window, DWORD commandId) PURE;
  STDMETHOD(get_InputGain)(THIS_ LONG* value) PURE;
  STDMETHOD(put_InputGain)(THIS_ LONG value) PURE;
  STDMETHOD(get_DryOut)(THIS_ LONG* value) PURE;
  STDMETHOD(put_DryOut)(THIS_ LONG value) PURE;
  STDMETHOD(get_WetOut)(THIS_ LONG* value) PURE;
  STDMETHOD(put_WetOut)(THIS_ LONG value) PURE;
  STDMETHOD(get_ModRate)(THIS_ LONG* value) PURE;
  STDMETHOD(put_ModRate)(THIS_ LONG value) PURE;
  STDMETHOD(get_ModDepth)(THIS_ LONG* value) PURE;
  STDMETHOD(put_ModDepth)(THIS_ LONG value) PURE;
  STDMETHOD(get_Feedback)(THIS_ LONG* value) PURE;
  STDMETHOD(put_Feedback)(THIS_ LONG value) PURE;
  STDMETHOD(get_LowPassOn)(THIS_ LONG* value) PURE;
  STDMETHOD(put_LowPassOn)(THIS_ LONG value) PURE;
  STDMETHOD(get_LowPassStart)(THIS_ LONG* value) PURE;
  STDMETHOD(put_LowPassStart)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapCount)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapCount)(THIS_ LONG value) PURE;
  STDMETHOD(get_CurrentTap)(THIS_ LONG* value) PURE;
  STDMETHOD(put_CurrentTap)(THIS_ LONG value) PURE;
  STDMETHOD(get_GraphResolution)(THIS_ LONG* value) PURE;
  STDMETHOD(put_GraphResolution)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapGain1)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapGain1)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapGain2)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapGain2)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapGain3)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapGain3)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapGain4)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapGain4)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapGain5)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapGain5)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapGain6)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapGain6)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapGain7)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapGain7)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapGain8)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapGain8)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapDelay1)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapDelay1)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapDelay2)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapDelay2)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapDelay3)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapDelay3)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapDelay4)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapDelay4)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapDelay5)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapDelay5)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapDelay6)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapDelay6)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapDelay7)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapDelay7)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapDelay8)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapDelay8)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapPan1)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapPan1)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapPan2)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapPan2)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapPan3)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapPan3)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapPan4)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapPan4)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapPan5)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapPan5)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapPan6)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapPan6)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapPan7)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapPan7)(THIS_ LONG value) PURE;
  STDMETHOD(get_TapPan8)(THIS_ LONG* value) PURE;
  STDMETHOD(put_TapPan8)(THIS_ LONG value) PURE;
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

/* Graph-less processing of 32-bit float buffers (the in-place effects only: Simple Delay,
 * Multi-Tap Delay, Reverb and Chorus). */
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

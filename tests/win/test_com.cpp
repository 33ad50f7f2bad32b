// The module's component rules: class factories, object counting, aggregation, one
// identity for every interface of a filter, and pins.
#include <cwchar>

#include "counting_outer.h"
#include "module_fixture.h"

namespace {

using mwtest::ComTest;
using mwtest::Module;
using mwtest::Ptr;

const CLSID kUnknownClass = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

class ComRules : public ComTest {};

TEST_F(ComRules, ClassObjectArguments) {
  Module& m = Module::Get();
  ASSERT_NE(m.Handle(), nullptr);
  Ptr<IClassFactory> f;
  EXPECT_EQ(m.GetClassObject(CLSID_MwSimpleDelay, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(m.GetClassObject(CLSID_MwSimpleDelay, IID_IPersist, f.OutVoid()), E_NOINTERFACE);
  EXPECT_EQ(m.GetClassObject(kUnknownClass, IID_IClassFactory, f.OutVoid()),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(f.Get(), nullptr);
  EXPECT_EQ(m.GetClassObject(CLSID_MwSimpleDelay, IID_IUnknown, f.OutVoid()), S_OK);
  EXPECT_EQ(m.GetClassObject(CLSID_MwSimpleDelay, IID_IClassFactory, f.OutVoid()), S_OK);

  Ptr<IUnknown> object;
  EXPECT_EQ(f->CreateInstance(nullptr, IID_IBaseFilter, nullptr), E_POINTER);
  IUnknown* outer = reinterpret_cast<IUnknown*>(f.Get());  // any non-null outer will do
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(f->CreateInstance(outer, IID_IBaseFilter, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(f->CreateInstance(nullptr, IID_IDirectDraw, object.OutVoid()), E_NOINTERFACE);
  EXPECT_EQ(object.Get(), nullptr);
}

TEST_F(ComRules, UnloadOnlyWhenNothingLivesAndNothingIsLocked) {
  Module& m = Module::Get();
  EXPECT_EQ(m.CanUnloadNow(), S_OK);
  {
    Ptr<IBaseFilter> filter;
    ASSERT_EQ(m.Create(CLSID_MwSimpleDelay, nullptr, IID_IBaseFilter, filter.OutVoid()), S_OK);
    EXPECT_EQ(m.CanUnloadNow(), S_FALSE);
    Ptr<IPin> pin;
    ASSERT_EQ(filter->FindPin(L"Output", pin.Out()), S_OK);
    filter.Reset();
    EXPECT_EQ(m.CanUnloadNow(), S_FALSE);  // the pin keeps its filter alive
  }
  EXPECT_EQ(m.CanUnloadNow(), S_OK);

  Ptr<IClassFactory> f;
  ASSERT_EQ(m.GetClassObject(CLSID_MwSimpleDelay, IID_IClassFactory, f.OutVoid()), S_OK);
  EXPECT_EQ(m.CanUnloadNow(), S_FALSE);  // a factory is alive
  EXPECT_EQ(f->LockServer(TRUE), S_OK);
  IClassFactory* raw = f.Get();
  raw->AddRef();
  f.Reset();
  raw->Release();
  EXPECT_EQ(m.CanUnloadNow(), S_FALSE);  // locked
  ASSERT_EQ(m.GetClassObject(CLSID_MwSimpleDelay, IID_IClassFactory, f.OutVoid()), S_OK);
  EXPECT_EQ(f->LockServer(FALSE), S_OK);
  f.Reset();
  EXPECT_EQ(m.CanUnloadNow(), S_OK);
}

// The interfaces of an in-place effect filter, all reachable from each other with one
// identity.
const IID* const kFilterInterfaces[] = {
    &IID_ISimpleDelayParams, &IID_ISpecifyPropertyPages, &IID_IPersistStream,
    &IID_IEffectPresets,     &IID_IEffectDirectProcess,  &IID_IBaseFilter,
    &IID_IMediaFilter,       &IID_IPersist,              &IID_IAMovieSetup,
};

TEST_F(ComRules, EveryInterfaceSharesOneIdentity) {
  Ptr<IUnknown> filter;
  ASSERT_EQ(Module::Get().Create(CLSID_MwSimpleDelay, nullptr, IID_IUnknown, filter.OutVoid()),
            S_OK);
  for (const IID* iid : kFilterInterfaces) {
    Ptr<IUnknown> part, back;
    ASSERT_EQ(filter->QueryInterface(*iid, part.OutVoid()), S_OK);
    ASSERT_EQ(part->QueryInterface(IID_IUnknown, back.OutVoid()), S_OK);
    EXPECT_EQ(back.Get(), filter.Get());
    for (const IID* other : kFilterInterfaces) {
      Ptr<IUnknown> q;
      EXPECT_EQ(part->QueryInterface(*other, q.OutVoid()), S_OK);
    }
  }
  Ptr<IUnknown> none;
  EXPECT_EQ(filter->QueryInterface(IID_IMemInputPin, none.OutVoid()), E_NOINTERFACE);
  EXPECT_EQ(filter->QueryInterface(IID_IBaseFilter, nullptr), E_POINTER);
}

using Outer = mwtest::CountingOuter;

TEST_F(ComRules, AggregatedFilterDelegatesEveryInterface) {
  Outer outer;
  ASSERT_EQ(Module::Get().Create(CLSID_MwSimpleDelay, &outer, IID_IUnknown,
                                 reinterpret_cast<void**>(&outer.inner)),
            S_OK);
  for (const IID* iid : kFilterInterfaces) {
    IUnknown* part = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(*iid, reinterpret_cast<void**>(&part)), S_OK);
    // The part's references and queries go to the outer object.
    const ULONG refs = outer.refs;
    const int queries = outer.queries;
    part->AddRef();
    EXPECT_EQ(outer.refs, refs + 1);
    part->Release();
    IUnknown* identity = nullptr;
    ASSERT_EQ(part->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, &outer);
    EXPECT_EQ(outer.queries, queries + 1);
    identity->Release();
    part->Release();  // the reference taken by the query went to the outer object
  }
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(outer.inner->Release(), 0u);
  EXPECT_EQ(Module::Get().CanUnloadNow(), S_OK);
}

TEST_F(ComRules, PinsInputAndOutput) {
  Ptr<IBaseFilter> filter;
  ASSERT_EQ(Module::Get().Create(CLSID_MwSimpleDelay, nullptr, IID_IBaseFilter, filter.OutVoid()),
            S_OK);
  Ptr<IEnumPins> pins;
  ASSERT_EQ(filter->EnumPins(pins.Out()), S_OK);
  IPin* got[3] = {};
  ULONG n = 0;
  EXPECT_EQ(pins->Next(3, got, &n), S_FALSE);
  ASSERT_EQ(n, 2u);
  const wchar_t* names[] = {L"Input", L"Output"};
  const PIN_DIRECTION directions[] = {PINDIR_INPUT, PINDIR_OUTPUT};
  for (ULONG i = 0; i < n; ++i) {
    PIN_INFO info{};
    ASSERT_EQ(got[i]->QueryPinInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, names[i]);
    EXPECT_EQ(info.dir, directions[i]);
    EXPECT_EQ(info.pFilter, filter.Get());
    info.pFilter->Release();
    LPWSTR id = nullptr;
    ASSERT_EQ(got[i]->QueryId(&id), S_OK);
    EXPECT_STREQ(id, names[i]);
    CoTaskMemFree(id);
    Ptr<IPin> found;
    ASSERT_EQ(filter->FindPin(names[i], found.Out()), S_OK);
    EXPECT_EQ(found.Get(), got[i]);
    got[i]->Release();
  }
  Ptr<IPin> none;
  EXPECT_EQ(filter->FindPin(L"Sideways", none.Out()), VFW_E_NOT_FOUND);
  Ptr<IMemInputPin> memInput;
  Ptr<IPin> input;
  ASSERT_EQ(filter->FindPin(L"Input", input.Out()), S_OK);
  EXPECT_EQ(input->QueryInterface(IID_IMemInputPin, memInput.OutVoid()), S_OK);
}

}  // namespace

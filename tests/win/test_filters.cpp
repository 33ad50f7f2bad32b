// Every effect filter through COM, driven by the portable core's own tables: the accessor
// slots of its parameter interface, its record, its presets with their wide names, and the
// interfaces it answers.
#include <cstring>
#include <string>
#include <vector>

#include "core/effects/catalog.h"
#include "module_fixture.h"

namespace {

using mwtest::ComTest;
using mwtest::Module;
using mwtest::Ptr;

struct FilterCase {
  const char* cliName;
  const CLSID* clsid;
  const IID* params;
  const CLSID* page;
  std::uint32_t recordBytes;
  LONG presets;
  bool inPlace;  // only the in-place effects process float buffers directly
};

const FilterCase kFilters[] = {
    {"stretch", &CLSID_MwTimeStretch, &IID_ITimeStretchParams, &CLSID_MwTimeStretchPage, 52, 4, false},
    {"pitch", &CLSID_MwPitchShift, &IID_IPitchShiftParams, &CLSID_MwPitchShiftPage, 68, 6, false},
    {"delay", &CLSID_MwSimpleDelay, &IID_ISimpleDelayParams, &CLSID_MwSimpleDelayPage, 40, 7, true},
    {"multitap", &CLSID_MwMultiTapDelay, &IID_IMultiTapParams,
     &CLSID_MwMultiTapDelayPage, 160, 26, true},
    {"reverb", &CLSID_MwReverb, &IID_IReverbParams, &CLSID_MwReverbPage, 64, 13, true},
    {"chorus", &CLSID_MwChorus, &IID_IChorusParams, &CLSID_MwChorusPage, 68, 24, true},
};

// A parameter interface seen as a host sees it: a table of slots. Integer fields pass 32
// bits, floating-point fields a double.
using GetSlot = HRESULT(STDMETHODCALLTYPE*)(void*, LONG*);
using PutSlot = HRESULT(STDMETHODCALLTYPE*)(void*, LONG);
using GetDoubleSlot = HRESULT(STDMETHODCALLTYPE*)(void*, double*);
using PutDoubleSlot = HRESULT(STDMETHODCALLTYPE*)(void*, double);
using BlockSlot = HRESULT(STDMETHODCALLTYPE*)(void*, void*);

void* Slot(IUnknown* p, int index) { return (*reinterpret_cast<void***>(p))[index]; }

class AllFilters : public ComTest {};

TEST_F(AllFilters, AccessorSlotsFollowTheFieldTable) {
  for (const FilterCase& f : kFilters) {
    const mw::ParamTable& table = mw::FindEffect(f.cliName)->params;
    Ptr<IUnknown> params;
    ASSERT_EQ(Module::Get().Create(*f.clsid, nullptr, *f.params, params.OutVoid()), S_OK)
        << f.cliName;
    auto getParameters = reinterpret_cast<BlockSlot>(Slot(params.Get(), 3));
    for (std::size_t i = 0; i < table.count; ++i) {
      const mw::FieldInfo& field = table.fields[i];
      const bool isDouble = field.type == mw::FieldType::Float64;
      const std::size_t width = isDouble ? 8 : 4;
      std::vector<std::uint8_t> before(table.blockSize), after(table.blockSize);
      ASSERT_EQ(getParameters(params.Get(), before.data()), S_OK);
      void* const put = Slot(params.Get(), 8 + 2 * static_cast<int>(i));
      void* const get = Slot(params.Get(), 7 + 2 * static_cast<int>(i));
      // In range and different from what is stored; the bytes it must leave in the block.
      std::uint8_t want[8];
      if (isDouble) {
        double current;
        std::memcpy(&current, before.data() + field.offset, 8);
        double value = current + 1.5;
        if (field.ranged) value = static_cast<double>(current != field.min ? field.min : field.max);
        std::memcpy(want, &value, 8);
        ASSERT_EQ(reinterpret_cast<PutDoubleSlot>(put)(params.Get(), value), S_OK)
            << f.cliName << " " << field.name;
        double read = 0;
        EXPECT_EQ(reinterpret_cast<GetDoubleSlot>(get)(params.Get(), &read), S_OK);
        EXPECT_EQ(read, value) << f.cliName << " " << field.name;
      } else {
        std::int32_t current;
        std::memcpy(&current, before.data() + field.offset, 4);
        std::int32_t value = current + 1;
        if (field.ranged) value = static_cast<std::int32_t>(current != field.min ? field.min : field.max);
        std::memcpy(want, &value, 4);
        ASSERT_EQ(reinterpret_cast<PutSlot>(put)(params.Get(), value), S_OK)
            << f.cliName << " " << field.name;
        LONG read = 0;
        EXPECT_EQ(reinterpret_cast<GetSlot>(get)(params.Get(), &read), S_OK);
        EXPECT_EQ(read, value) << f.cliName << " " << field.name;
      }
      ASSERT_EQ(getParameters(params.Get(), after.data()), S_OK);
      EXPECT_EQ(std::memcmp(after.data() + field.offset, want, width), 0)
          << f.cliName << " " << field.name;
      std::memcpy(after.data() + field.offset, before.data() + field.offset, width);
      EXPECT_EQ(after, before) << f.cliName << " " << field.name << " moved another field";
    }
  }
}

TEST_F(AllFilters, RecordsPresetsAndInterfaces) {
  for (const FilterCase& f : kFilters) {
    const mw::EffectDescription& info = *mw::FindEffect(f.cliName);
    Ptr<IPersistStream> persist;
    ASSERT_EQ(Module::Get().Create(*f.clsid, nullptr, IID_IPersistStream, persist.OutVoid()), S_OK);
    ULARGE_INTEGER max{};
    EXPECT_EQ(persist->GetSizeMax(&max), S_OK);
    EXPECT_EQ(max.QuadPart, f.recordBytes) << f.cliName;
    Ptr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.Out()), S_OK);
    ASSERT_EQ(persist->Save(stream.Get(), TRUE), S_OK);
    STATSTG st{};
    stream->Stat(&st, STATFLAG_NONAME);
    EXPECT_EQ(st.cbSize.QuadPart, f.recordBytes) << f.cliName;
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    std::uint8_t header[20] = {};
    ULONG n = 0;
    stream->Read(header, 20, &n);
    EXPECT_EQ(std::memcmp(header + 4, f.params, 16), 0) << f.cliName << ": record tag";

    Ptr<IEffectPresets> presets;
    ASSERT_EQ(persist->QueryInterface(IID_IEffectPresets, presets.OutVoid()), S_OK);
    LONG count = 0;
    EXPECT_EQ(presets->GetPresetCount(&count), S_OK);
    EXPECT_EQ(count, f.presets) << f.cliName;
    for (LONG i = 0; i < count; ++i) {
      WCHAR name[260];
      ASSERT_EQ(presets->GetPresetName(i, name, 260), S_OK);
      const char* expected = mw::BuiltinUiString(info.presets.NameId(i));
      EXPECT_EQ(std::wstring(name), std::wstring(expected, expected + std::strlen(expected)))
          << f.cliName << " preset " << i;
      EXPECT_EQ(presets->ApplyPreset(i), S_OK);
    }
    EXPECT_EQ(presets->ApplyPreset(count), E_INVALIDARG);

    for (const IID* iid : {f.params, &IID_ISpecifyPropertyPages, &IID_IBaseFilter,
                           &IID_IMediaFilter, &IID_IPersist, &IID_IAMovieSetup}) {
      Ptr<IUnknown> part;
      EXPECT_EQ(persist->QueryInterface(*iid, part.OutVoid()), S_OK) << f.cliName;
    }
    Ptr<IUnknown> direct;
    EXPECT_EQ(persist->QueryInterface(IID_IEffectDirectProcess, direct.OutVoid()),
              f.inPlace ? S_OK : E_NOINTERFACE)
        << f.cliName;
    Ptr<ISpecifyPropertyPages> pages;
    ASSERT_EQ(persist->QueryInterface(IID_ISpecifyPropertyPages, pages.OutVoid()), S_OK);
    CAUUID list{};
    ASSERT_EQ(pages->GetPages(&list), S_OK);
    ASSERT_EQ(list.cElems, 1u);
    EXPECT_TRUE(IsEqualGUID(list.pElems[0], *f.page)) << f.cliName;
    CLSID id{};
    EXPECT_EQ(persist->GetClassID(&id), S_OK);
    EXPECT_TRUE(IsEqualGUID(id, *f.clsid)) << f.cliName;
    CoTaskMemFree(list.pElems);
  }
}

}  // namespace

// Every in-place effect filter through COM, driven by the portable core's own tables:
// the accessor slots of its parameter interface, its record, its presets with their wide
// names, and the interfaces it answers.
#include <cstring>
#include <string>
#include <vector>

#include "effects/catalog.h"
#include "module_fixture.h"

namespace {

using mwtest::ComTest;
using mwtest::Module;
using mwtest::Ptr;

struct FilterCase {
  const char* cliName;
  const CLSID* clsid;
  const IID* params;
  std::uint32_t recordBytes;
  LONG presets;
};

const FilterCase kFilters[] = {
    {"delay", &CLSID_MwSimpleDelay, &IID_ISimpleDelayParams, 40, 7},
    {"multitap", &CLSID_MwMultiTapDelay, &IID_IMultiTapParams, 160, 26},
    {"reverb", &CLSID_MwReverb, &IID_IReverbParams, 64, 13},
    {"chorus", &CLSID_MwChorus, &IID_IChorusParams, 68, 24},
};

// A parameter interface seen as a host sees it: a table of slots.
using GetSlot = HRESULT(STDMETHODCALLTYPE*)(void*, LONG*);
using PutSlot = HRESULT(STDMETHODCALLTYPE*)(void*, LONG);
using BlockSlot = HRESULT(STDMETHODCALLTYPE*)(void*, void*);

void* Slot(IUnknown* p, int index) { return (*reinterpret_cast<void***>(p))[index]; }

class AllFilters : public ComTest {};

TEST_F(AllFilters, AccessorSlotsFollowTheFieldTable) {
  for (const FilterCase& f : kFilters) {
    const mw::ParamTable& table = mw::FindEffect(f.cliName)->info->params;
    Ptr<IUnknown> params;
    ASSERT_EQ(Module::Get().Create(*f.clsid, nullptr, *f.params, params.OutVoid()), S_OK)
        << f.cliName;
    auto getParameters = reinterpret_cast<BlockSlot>(Slot(params.Get(), 3));
    for (std::size_t i = 0; i < table.count; ++i) {
      const mw::FieldInfo& field = table.fields[i];
      std::vector<std::uint8_t> before(table.blockSize), after(table.blockSize);
      ASSERT_EQ(getParameters(params.Get(), before.data()), S_OK);
      std::int32_t current;
      std::memcpy(&current, before.data() + field.offset, 4);
      // In range and different from what is stored.
      std::int32_t value = current + 1;
      if (field.ranged) value = static_cast<std::int32_t>(current != field.min ? field.min : field.max);
      auto put = reinterpret_cast<PutSlot>(Slot(params.Get(), 8 + 2 * static_cast<int>(i)));
      auto get = reinterpret_cast<GetSlot>(Slot(params.Get(), 7 + 2 * static_cast<int>(i)));
      ASSERT_EQ(put(params.Get(), value), S_OK) << f.cliName << " " << field.name;
      ASSERT_EQ(getParameters(params.Get(), after.data()), S_OK);
      std::int32_t stored;
      std::memcpy(&stored, after.data() + field.offset, 4);
      EXPECT_EQ(stored, value) << f.cliName << " " << field.name;
      std::memcpy(after.data() + field.offset, &current, 4);
      EXPECT_EQ(after, before) << f.cliName << " " << field.name << " moved another field";
      LONG read = 0;
      EXPECT_EQ(get(params.Get(), &read), S_OK);
      EXPECT_EQ(read, value) << f.cliName << " " << field.name;
    }
  }
}

TEST_F(AllFilters, RecordsPresetsAndInterfaces) {
  for (const FilterCase& f : kFilters) {
    const mw::EffectInfo& info = *mw::FindEffect(f.cliName)->info;
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
      const char* expected = nullptr;
      info.presets.Name(i, &expected);
      EXPECT_EQ(std::wstring(name), std::wstring(expected, expected + std::strlen(expected)))
          << f.cliName << " preset " << i;
      EXPECT_EQ(presets->ApplyPreset(i), S_OK);
    }
    EXPECT_EQ(presets->ApplyPreset(count), E_INVALIDARG);

    for (const IID* iid : {f.params, &IID_ISpecifyPropertyPages, &IID_IEffectDirectProcess,
                           &IID_IBaseFilter, &IID_IAMovieSetup}) {
      Ptr<IUnknown> part;
      EXPECT_EQ(persist->QueryInterface(*iid, part.OutVoid()), S_OK) << f.cliName;
    }
    Ptr<ISpecifyPropertyPages> pages;
    ASSERT_EQ(persist->QueryInterface(IID_ISpecifyPropertyPages, pages.OutVoid()), S_OK);
    CAUUID list{};
    ASSERT_EQ(pages->GetPages(&list), S_OK);
    ASSERT_EQ(list.cElems, 1u);
    CLSID page = *f.clsid;
    page.Data1 += 1;
    EXPECT_TRUE(IsEqualGUID(list.pElems[0], page)) << f.cliName;
    CoTaskMemFree(list.pElems);
  }
}

}  // namespace

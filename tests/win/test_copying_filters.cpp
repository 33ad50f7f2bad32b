// Time Stretch and Pitch Shift through COM before any connection: their formats and the
// sample rate they assume, Pitch Shift's ratio, records in and out, and Time Stretch's
// earlier record.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "module_fixture.h"

namespace {

using mwtest::ComTest;
using mwtest::Module;
using mwtest::Ptr;

class CopyingFilters : public ComTest {
 protected:
  template <class I>
  Ptr<I>& Create(const CLSID& clsid, const IID& iid, Ptr<I>& out) {
    EXPECT_EQ(Module::Get().Create(clsid, nullptr, iid, out.OutVoid()), S_OK);
    return out;
  }
  static std::vector<BYTE> Save(IUnknown* filter) {
    Ptr<IPersistStream> persist;
    Ptr<IStream> s;
    EXPECT_EQ(filter->QueryInterface(IID_IPersistStream, persist.OutVoid()), S_OK);
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, s.Out()), S_OK);
    EXPECT_EQ(persist->Save(s.Get(), TRUE), S_OK);
    STATSTG st{};
    s->Stat(&st, STATFLAG_NONAME);
    std::vector<BYTE> bytes(static_cast<std::size_t>(st.cbSize.QuadPart));
    LARGE_INTEGER zero{};
    s->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULONG n = 0;
    s->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &n);
    return bytes;
  }
  static HRESULT Load(IUnknown* filter, const std::vector<BYTE>& bytes) {
    Ptr<IPersistStream> persist;
    Ptr<IStream> s;
    EXPECT_EQ(filter->QueryInterface(IID_IPersistStream, persist.OutVoid()), S_OK);
    CreateStreamOnHGlobal(nullptr, TRUE, s.Out());
    ULONG n = 0;
    s->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &n);
    LARGE_INTEGER zero{};
    s->Seek(zero, STREAM_SEEK_SET, nullptr);
    return persist->Load(s.Get());
  }
};

// Both interfaces: no format on either side (nor on a side that does not exist), and the
// rate a page assumes meanwhile.
template <class I>
void ExpectUnconnected(I* params, std::size_t fields) {
  for (DWORD which : {0u, 1u, 2u, 0xFFFFFFFFu}) {
    WAVEFORMATEX wf{};
    EXPECT_EQ(params->GetFormat(which, &wf), VFW_E_NOT_CONNECTED) << which;
  }
  EXPECT_EQ(params->GetFormat(0, nullptr), E_POINTER);
  DWORD rate = 0;
  EXPECT_EQ(params->GetSampleRate(&rate), E_FAIL);
  EXPECT_EQ(rate, 44100u);
  EXPECT_EQ(params->GetSampleRate(nullptr), E_POINTER);
  // GetSampleRate follows the last accessor pair.
  using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, DWORD*);
  rate = 0;
  EXPECT_EQ(reinterpret_cast<Fn>((*reinterpret_cast<void***>(params))[7 + 2 * fields])(params, &rate),
            E_FAIL);
  EXPECT_EQ(rate, 44100u);
}

TEST_F(CopyingFilters, NoFormatBeforeConnection) {
  Ptr<ITimeStretchParams> stretch;
  Ptr<IPitchShiftParams> pitch;
  ExpectUnconnected(Create(CLSID_MwTimeStretch, IID_ITimeStretchParams, stretch).Get(), 5);
  ExpectUnconnected(Create(CLSID_MwPitchShift, IID_IPitchShiftParams, pitch).Get(), 8);
}

// The engine needs a positive, finite ratio: anything else is refused and leaves the
// block as it was, through the accessor and the block setter alike.
TEST_F(CopyingFilters, RatioMustBePositiveAndFinite) {
  Ptr<IPitchShiftParams> p;
  Create(CLSID_MwPitchShift, IID_IPitchShiftParams, p);
  ASSERT_EQ(p->put_Ratio(1.25), S_OK);
  PitchShiftParams before{};
  ASSERT_EQ(p->GetParameters(&before), S_OK);
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {std::nan(""), 0.0, -0.0, -1.5, inf, -inf}) {
    EXPECT_EQ(p->put_Ratio(bad), E_INVALIDARG) << bad;
    PitchShiftParams block = before;
    block.Ratio = bad;
    EXPECT_EQ(p->SetParameters(&block), E_INVALIDARG) << bad;
    PitchShiftParams after{};
    p->GetParameters(&after);
    EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0) << bad;
  }
  double r = 0;
  EXPECT_EQ(p->get_Ratio(&r), S_OK);
  EXPECT_EQ(r, 1.25);
  EXPECT_EQ(p->get_Ratio(nullptr), E_POINTER);
  EXPECT_EQ(p->put_Ratio(1e-9), S_OK);  // small but positive
}

// A record saved by one filter restores another's block exactly.
TEST_F(CopyingFilters, RecordsRoundTrip) {
  {
    Ptr<ITimeStretchParams> a, b;
    Create(CLSID_MwTimeStretch, IID_ITimeStretchParams, a);
    Create(CLSID_MwTimeStretch, IID_ITimeStretchParams, b);
    const TimeStretchParams set = {12345.5, 7, 9000, 123456.0, 2, 0};
    ASSERT_EQ(a->SetParameters(&set), S_OK);
    const std::vector<BYTE> record = Save(a.Get());
    ASSERT_EQ(record.size(), 52u);
    EXPECT_EQ(std::memcmp(record.data() + 4, &IID_ITimeStretchParams, 16), 0);
    ASSERT_EQ(Load(b.Get(), record), S_OK);
    TimeStretchParams got{};
    b->GetParameters(&got);
    EXPECT_EQ(std::memcmp(&got, &set, sizeof got), 0);
  }
  {
    Ptr<IPitchShiftParams> a, b;
    Create(CLSID_MwPitchShift, IID_IPitchShiftParams, a);
    Create(CLSID_MwPitchShift, IID_IPitchShiftParams, b);
    const PitchShiftParams set = {-3, 250, 3, 1, 11, 0, 0.83, 1, 0, 4410.0};
    ASSERT_EQ(a->SetParameters(&set), S_OK);
    const std::vector<BYTE> record = Save(a.Get());
    ASSERT_EQ(record.size(), 68u);
    EXPECT_EQ(std::memcmp(record.data() + 4, &IID_IPitchShiftParams, 16), 0);
    ASSERT_EQ(Load(b.Get(), record), S_OK);
    PitchShiftParams got{};
    b->GetParameters(&got);
    EXPECT_EQ(std::memcmp(&got, &set, sizeof got), 0);
  }
}

// The earlier Time Stretch record held the length and the tempo in tenths; it is read
// with both scaled up and written back under the current tag.
TEST_F(CopyingFilters, TimeStretchReadsTheEarlierRecord) {
  Ptr<ITimeStretchParams> p;
  Create(CLSID_MwTimeStretch, IID_ITimeStretchParams, p);
  const GUID earlier = {0x1B7E9C43, 0x92D3, 0x11D0, {0x9D, 0x27, 0x4E, 0x7A, 0x91, 0xC2, 0xD0, 0x5F}};
  const TimeStretchParams old = {1234.5, 4, 1205, 88200.0, 1, 0};
  std::vector<BYTE> record(52);
  record[0] = 52;
  std::memcpy(record.data() + 4, &earlier, 16);
  std::memcpy(record.data() + 20, &old, sizeof old);
  ASSERT_EQ(Load(p.Get(), record), S_OK);
  TimeStretchParams got{};
  p->GetParameters(&got);
  EXPECT_EQ(got.FinalLength, 12345.0);
  EXPECT_EQ(got.InitialTempo, 12050u);
  EXPECT_EQ(got.Mode, 4u);
  EXPECT_EQ(got.InitialTime, 88200.0);
  EXPECT_EQ(got.InputFormat, 1u);
  const std::vector<BYTE> saved = Save(p.Get());
  ASSERT_EQ(saved.size(), 52u);
  EXPECT_EQ(std::memcmp(saved.data() + 4, &IID_ITimeStretchParams, 16), 0);
  EXPECT_EQ(std::memcmp(saved.data() + 20, &got, sizeof got), 0);

  // The same bytes under the current tag are taken as they are.
  std::memcpy(record.data() + 4, &IID_ITimeStretchParams, 16);
  const TimeStretchParams current = {6000.5, 4, 1205, 88200.0, 1, 0};
  std::memcpy(record.data() + 20, &current, sizeof current);
  ASSERT_EQ(Load(p.Get(), record), S_OK);
  p->GetParameters(&got);
  EXPECT_EQ(got.FinalLength, 6000.5);
  EXPECT_EQ(got.InitialTempo, 1205u);
}

}  // namespace

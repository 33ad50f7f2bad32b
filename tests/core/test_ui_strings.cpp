// The UI string table (blocks, cache, resource texts, built-in defaults), the ring of
// temporary strings and the named values.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/ui/builtin_strings.h"
#include "core/ui/string_table.h"
#include "core/ui/text_format.h"

namespace {

class FakeResources : public mw::StringResources {
 public:
  std::map<std::uint32_t, std::string> texts;
  mutable int loads = 0;
  bool Load(std::uint32_t id, std::string* out) const override {
    ++loads;
    const auto it = texts.find(id);
    if (it == texts.end()) return false;
    *out = it->second;
    return true;
  }
};

TEST(UiStringTable, BlocksRefuseOverlapAndEmptiness) {
  mw::UiStringTable t;
  EXPECT_EQ(t.RegisterBuiltinBlock(mw::kGeneralStringsFirst, mw::kGeneralStringsCount), mw::S_OK);
  EXPECT_EQ(t.RegisterBuiltinBlock(mw::kModuleStringsFirst, mw::kModuleStringsCount), mw::S_OK);
  EXPECT_EQ(t.RegisterBlock(4306, 1, nullptr), mw::E_INVALIDARG);
  EXPECT_EQ(t.RegisterBlock(900, 101, nullptr), mw::E_INVALIDARG);  // 900..1000
  EXPECT_EQ(t.RegisterBlock(1186, 5, nullptr), mw::E_INVALIDARG);
  EXPECT_EQ(t.RegisterBlock(2000, 0, nullptr), mw::E_INVALIDARG);
  EXPECT_EQ(t.RegisterBlock(UINT32_MAX, 2, nullptr), mw::E_INVALIDARG);
  EXPECT_EQ(t.RegisterBlock(900, 100, nullptr), mw::S_OK);  // 900..999 touches nothing
  EXPECT_EQ(t.RegisterBlock(UINT32_MAX, 1, nullptr), mw::S_OK);
}

TEST(UiStringTable, BuiltinTextsOfBothBlocks) {
  mw::UiStringTable t;
  ASSERT_EQ(t.RegisterBuiltinBlock(mw::kGeneralStringsFirst, mw::kGeneralStringsCount), mw::S_OK);
  ASSERT_EQ(t.RegisterBuiltinBlock(mw::kModuleStringsFirst, mw::kModuleStringsCount), mw::S_OK);
  const std::map<std::uint32_t, std::string> named = {
      {4281, "Err."}, {4282, "-Inf."}, {4274, "(Default)"}, {4283, "hr%smn%ssc%sfr"},
      {4285, "ms%sbt%stk"}, {4287, "OK"}, {4288, "Cancel"}, {4289, "&Abort"},
      {4290, "&Retry"}, {4291, "&Ignore"}, {4292, "&Yes"}, {4293, "&No"},
      {1000, "Presets"}, {1001, "Help"}, {1003, "About..."}, {1020, "(Default)"},
      {1021, "Default all parameters"}};
  for (const auto& [id, text] : named) EXPECT_STREQ(t.Get(id), text.c_str()) << id;
  EXPECT_STREQ(t.Get(4000), "");   // in a block without a text
  EXPECT_EQ(t.Get(4307), nullptr);  // outside every block
  EXPECT_EQ(t.Get(999), nullptr);
  // Every built-in text lies in one of the two blocks.
  for (std::uint32_t id = 0; id < 10000; ++id) {
    if (*mw::BuiltinUiString(id)) {
      EXPECT_NE(t.Get(id), nullptr) << id;
    }
  }
  t.Clear();
  EXPECT_EQ(t.Get(4282), nullptr);
}

TEST(UiStringTable, ResourceTextFirstWithMarkerRemovedAndCached) {
  FakeResources res;
  res.texts = {{4282, "^*-Unendl."}, {4281, ""}, {1001, "Hilfe"}, {1003, "^*"}};
  mw::UiStringTable t(&res);
  ASSERT_EQ(t.RegisterBuiltinBlock(4000, 307), mw::S_OK);
  ASSERT_EQ(t.RegisterBuiltinBlock(1000, 187), mw::S_OK);
  EXPECT_STREQ(t.Get(4282), "-Unendl.");
  EXPECT_STREQ(t.Get(4281), "Err.");  // an empty resource text means none
  EXPECT_STREQ(t.Get(1001), "Hilfe");
  EXPECT_STREQ(t.Get(1003), "");
  const char* first = t.Get(1001);
  const int loads = res.loads;
  res.texts[1001] = "changed";
  EXPECT_EQ(t.Get(1001), first);  // filled once, then kept
  EXPECT_EQ(res.loads, loads);

  char small[4];
  EXPECT_EQ(t.GetInto(1001, small, sizeof small), 3u);
  EXPECT_STREQ(small, "Hil");
  char big[32] = "x";
  EXPECT_EQ(t.GetInto(1003, big, sizeof big), 0u);
  EXPECT_STREQ(big, "");
  EXPECT_EQ(t.GetInto(5000, big, sizeof big), 0u);
  EXPECT_EQ(t.GetInto(1001, nullptr, 10), 0u);
  EXPECT_EQ(t.GetInto(1001, big, 0), 0u);
}

TEST(UiStringTable, ExplicitDefaults) {
  const char* defaults[] = {"zero", nullptr, "two"};
  mw::UiStringTable t;
  ASSERT_EQ(t.RegisterBlock(10, 3, defaults), mw::S_OK);
  EXPECT_STREQ(t.Get(10), "zero");
  EXPECT_STREQ(t.Get(11), "");
  EXPECT_STREQ(t.Get(12), "two");
}

TEST(TempStringRing, WrapsRoundsAndRefuses) {
  mw::TempStringRing ring;
  char* base = ring.Alloc(1);
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(ring.Alloc(5), base + 4);  // rounded up to multiples of 4
  EXPECT_EQ(ring.Alloc(8), base + 12);
  EXPECT_EQ(ring.Alloc(8193), nullptr);  // larger than the ring
  char* empty = ring.Alloc(0);
  ASSERT_NE(empty, nullptr);
  EXPECT_STREQ(empty, "");
  // Past capacity minus reserve, the next request starts at the beginning.
  EXPECT_EQ(ring.Alloc(7200 - 20), base + 20);
  EXPECT_EQ(ring.Alloc(4), base);
  // A request that does not fit before the end starts at the beginning too.
  EXPECT_EQ(ring.Alloc(7000), base + 4);
  EXPECT_EQ(ring.Alloc(1500), base);
  EXPECT_EQ(ring.Alloc(8192), base);  // the whole ring fits exactly
}

TEST(TempStringRing, EveryRequestLiesInsideTheRing) {
  mw::TempStringRing ring;
  char* base = ring.Alloc(4);
  std::uint32_t seed = 1;
  for (int i = 0; i < 100000; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const std::size_t size = (seed >> 8) % 9000;
    char* p = ring.Alloc(size);
    if (size > 8192) {
      EXPECT_EQ(p, nullptr);
    } else if (size > 0) {
      ASSERT_NE(p, nullptr);
      ASSERT_GE(p, base);
      ASSERT_LE(p + size, base + 8192) << size;
      std::memset(p, 'x', size);
    }
  }
}

TEST(TempStringRing, SharedBetweenThreads) {
  mw::TempStringRing ring;
  char* base = ring.Alloc(4);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&ring, base, t] {
      for (int i = 0; i < 20000; ++i) {
        const std::size_t size = 1 + (i * 37 + t) % 200;
        char* p = ring.Alloc(size);
        if (!p || p < base || p + size > base + 8192) std::abort();
        p[size - 1] = 'y';
      }
    });
  }
  for (auto& th : threads) th.join();
}

TEST(NamedValues, SortedWithoutRegardToCase) {
  mw::NamedValues n;
  n.Set("beta", "2");
  n.Set("Alpha", "1");
  n.Set("GAMMA", "3");
  n.Set("ALPHA", "one");  // replaces
  EXPECT_EQ(n.Count(), 3u);
  std::string text;
  EXPECT_TRUE(n.Lookup("alpha", 5, &text));
  EXPECT_EQ(text, "one");
  EXPECT_TRUE(n.Lookup("Gamma)", 5, &text));  // length-limited name
  EXPECT_EQ(text, "3");
  EXPECT_FALSE(n.Lookup("gam", 3, &text));
  EXPECT_TRUE(n.Remove("BETA"));
  EXPECT_FALSE(n.Remove("beta"));
  EXPECT_FALSE(n.Lookup("beta", 4, &text));
  EXPECT_FALSE(n.Lookup(nullptr, 0, &text));
}

TEST(NamedValues, TimeCodeNamesAtLoad) {
  mw::UiStringTable t;
  ASSERT_EQ(t.RegisterBuiltinBlock(4000, 307), mw::S_OK);
  mw::LocaleSnapshot locale;
  mw::TextServices ts;
  ts.locale = &locale;
  ts.strings = &t;
  mw::NamedValues n;
  mw::AddTimeCodeNames(ts, n);
  std::string text;
  const std::pair<const char*, const char*> expected[] = {
      {"SMPTE.Whole", ":"}, {"SMPTE.NonDrop", "."}, {"SMPTE.Drop", ","},
      {"smpte.whole.label", "hr:mn:sc:fr"}, {"SMPTE.NonDrop.Label", "hr:mn:sc.fr"},
      {"SMPTE.Drop.Label", "hr:mn:sc,fr"}};
  for (const auto& [name, value] : expected) {
    EXPECT_TRUE(n.Lookup(name, std::strlen(name), &text)) << name;
    EXPECT_EQ(text, value) << name;
  }
}

}  // namespace

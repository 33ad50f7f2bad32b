// The time text, the time parser and the conversion to samples that the Pitch Shift and
// Time Stretch pages share.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "core/ui/time_text.h"

namespace {

std::string Read(const char* text) { return mw::TimeText(mw::ParseTimeText(text)); }

// The milliseconds a time text stands for, field by field without carrying.
double TextValueMs(const std::string& text) {
  unsigned h = 0, m = 0, s = 0, ms = 0;
  EXPECT_EQ(std::sscanf(text.c_str(), "%u:%u:%u.%u", &h, &m, &s, &ms), 4) << text;
  return ((h * 60.0 + m) * 60.0 + s) * 1000.0 + ms;
}

TEST(TimeText, SamplesAtARate) {
  EXPECT_EQ(mw::SamplesToTimeText(2646000, 44100), "00:01:00.000");
  EXPECT_EQ(mw::SamplesToTimeText(44099, 44100), "00:00:00.999");  // truncated, not rounded
  EXPECT_EQ(mw::SamplesToTimeText(44100.0 * 3723.5, 44100), "01:02:03.500");
  EXPECT_EQ(mw::SamplesToTimeText(48000.0 * 360000, 48000), "100:00:00.000");
  EXPECT_EQ(mw::SamplesToTimeText(-5, 44100), "00:00:00.000");
  EXPECT_EQ(mw::SamplesToTimeText(0.0 / 0.0, 44100), "00:00:00.000");
}

TEST(TimeParser, WorkedTexts) {
  const char* const cases[][2] = {
      // Digit runs split from the right; only the last run keeps three digits.
      {"1234567", "00:12:34.567"}, {"12345", "00:00:12.345"}, {"123:4567", "01:23:04.567"},
      // The last number is the thousandths; a trailing separator adds a zero field.
      {"1:30", "00:00:01.030"}, {"1:30.", "00:01:30.000"}, {"1:30. ", "00:01:30.000"},
      {"1:30   ", "00:00:01.030"}, {"1:305  ", "00:00:01.305"}, {"1:30..", "01:30:00.000"},
      {"1:2:3.4:5", "01:02:03.004"},
      // Carries, hours modulo 24.
      {"0:75:80.5", "01:16:20.005"}, {"25:00:00.000", "01:00:00.000"},
      {"99:99:99.999", "04:40:39.999"},
      // Nothing readable.
      {"", "00:00:00.000"}, {"abc", "00:00:00.000"}, {":::", "00:00:00.000"},
      {"\xff\xfe", "00:00:00.000"}};
  for (const auto& c : cases) EXPECT_EQ(Read(c[0]), c[1]) << c[0];
  EXPECT_EQ(mw::ParseTimeText(nullptr), mw::TimeFields{});
}

// Any bytes, of any length: the fields always lie in their ranges.
TEST(TimeParser, AnyTextWithoutHarm) {
  std::mt19937 rng(12);
  const std::string alphabet = "0123456789 :.,-;\t\nxX";
  for (int i = 0; i < 20000; ++i) {
    std::string text(rng() % 64 + (i % 500 == 0 ? 4000 : 0), ' ');
    for (char& c : text)
      c = rng() % 3 ? alphabet[rng() % alphabet.size()] : static_cast<char>(rng() % 255 + 1);
    const mw::TimeFields f = mw::ParseTimeText(text.c_str());
    ASSERT_TRUE(f.hours < 24 && f.minutes < 60 && f.seconds < 60 && f.thousandths < 1000)
        << text;
  }
}

TEST(TimeConversion, FieldsToSamples) {
  EXPECT_EQ(mw::TimeTextToSamples("00:02:00.000", 44100), 5292000.0);
  EXPECT_EQ(mw::TimeTextToSamples("0.001", 44100), 45.0);  // 44.1 samples round up
  EXPECT_EQ(mw::TimeTextToSamples("0.001", 1.0), 1.0);     // 0.001 + 0.999
  EXPECT_EQ(mw::TimeTextToSamples("23:59:59.999", 8000), 691199992.0);
}

// At 1000 Hz and above, the text of the samples a time text converts to lies within a
// millisecond of it.
TEST(TimeConversion, RoundTripWithinAMillisecond) {
  std::mt19937 rng(7);
  const double rates[] = {1000, 8000, 11025, 22050, 44100, 48000, 96000, 192000, 384000};
  for (int i = 0; i < 40000; ++i) {
    const mw::TimeFields f{static_cast<std::uint32_t>(rng() % 24),
                           static_cast<std::uint32_t>(rng() % 60),
                           static_cast<std::uint32_t>(rng() % 60),
                           static_cast<std::uint32_t>(rng() % 1000)};
    const std::string text = mw::TimeText(f);
    ASSERT_EQ(mw::ParseTimeText(text.c_str()), f) << text;
    const double rate = i % 2 ? rates[rng() % 9] : 1000 + rng() % 400000;
    const std::string back =
        mw::SamplesToTimeText(mw::TimeTextToSamples(text.c_str(), rate), rate);
    const double error = TextValueMs(back) - TextValueMs(text);
    ASSERT_TRUE(error >= -1.0 && error <= 1.0) << text << " at " << rate << " -> " << back;
  }
}

// Whole hours and the moments around them show their fields in range (the hour's
// reciprocal alone would show one hour as 00:60:00.000).
TEST(TimeConversion, HourBoundariesShowFieldsInRange) {
  for (const double rate : {1.0, 1000.0, 8000.0, 44100.0, 48000.0, 96000.0}) {
    for (int h = 1; h < 24; ++h) {
      const double samples = h * 3600.0 * rate;
      EXPECT_EQ(mw::SamplesToTimeFields(samples, rate), (mw::TimeFields{
                    static_cast<std::uint32_t>(h), 0, 0, 0})) << h << " h at " << rate;
      for (const double near : {samples - 1, samples + 1}) {
        const mw::TimeFields f = mw::SamplesToTimeFields(near, rate);
        EXPECT_TRUE(f.minutes < 60 && f.seconds < 60 && f.thousandths < 1000)
            << mw::TimeText(f) << " for " << near << " at " << rate;
      }
    }
  }
}

}  // namespace

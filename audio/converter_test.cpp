#include "audio/converter.h"

#include <gtest/gtest.h>

#include "audio/io_block.h"
#include "audio/mixdown.h"
#include "audio/tests/converter_quality.h"
#include "audio/tests/tone.h"

namespace lorvane::audio {
namespace {

using testing::convertAll;
using testing::fitTone;
using testing::sine;

TEST(ToInt16, RoundsToNearestAndClips) {
  EXPECT_EQ(toInt16(0.0f), 0);
  EXPECT_EQ(toInt16(0.5f / 32768), 0);  // ties to even
  EXPECT_EQ(toInt16(1.5f / 32768), 2);
  EXPECT_EQ(toInt16(-1.4f / 32768), -1);
  EXPECT_EQ(toInt16(1.0f), 32767);
  EXPECT_EQ(toInt16(-1.0f), -32768);
  EXPECT_EQ(toInt16(7.5f), 32767);
  EXPECT_EQ(toInt16(-7.5f), -32768);
  EXPECT_EQ(toInt16(NAN), 0);
}

TEST(InputBlock, HandsTheBufferOverOnce) {
  const std::vector<float> mono{0.25f, 0.5f};
  bool handedOver = false;
  const auto block = inputBlock(handedOver, mono);
  auto status = ConverterInputStatus::NoDataNow;
  const auto first = block(4096, status);
  EXPECT_EQ(status, ConverterInputStatus::HaveData);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->data(), mono.data());
  EXPECT_FALSE(block(1, status));
  EXPECT_EQ(status, ConverterInputStatus::NoDataNow);
}

TEST(Converter, SilenceStaysDigitalSilence) {
  const auto out = convertAll(std::vector<float>(48000, 0.0f), 48000, 1024);
  EXPECT_NEAR(double(out.size()), 16000, 2);
  EXPECT_EQ(std::count(out.begin(), out.end(), 0), long(out.size()));
}

TEST(Converter, KeepsStateAcrossCallsAndLosesNothing) {
  // Block sizes must not matter: the signal is one stream.
  const auto input = sine(1000, 48000, 0.5, 0.5);
  const auto whole = convertAll(input, 48000, input.size());
  const auto tiny = convertAll(input, 48000, 7);
  const auto cycle = convertAll(input, 48000, 1024);
  EXPECT_EQ(tiny, whole);
  EXPECT_EQ(cycle, whole);
  EXPECT_NEAR(double(whole.size()), 8000, 2);
}

TEST(Converter, ShortOutputBuffersKeepTheRestForLater) {
  auto converter = Converter::make(48000);
  const auto input = sine(440, 48000, 0.1, 0.5);
  std::vector<int16_t> all, out(10);
  bool handedOver = false;
  all.insert(all.end(), out.begin(),
             out.begin() + long(converter->convert(out, inputBlock(handedOver, input))));
  const std::vector<float> none;
  for (int i = 0; i < 1000; ++i) {
    bool again = false;
    const size_t n = converter->convert(out, inputBlock(again, none));
    all.insert(all.end(), out.begin(), out.begin() + long(n));
  }
  const auto tail = converter->drain();
  all.insert(all.end(), tail.begin(), tail.end());
  EXPECT_EQ(all, convertAll(input, 48000, input.size()));
}

TEST(Converter, OutputIs16kHzAtEveryGraphRate) {
  for (const double rate : {44100.0, 48000.0, 96000.0, 16000.0}) {
    const auto out = convertAll(sine(1000, rate, 1.0, 0.5), rate, 1024);
    EXPECT_NEAR(double(out.size()), 16000, 2) << rate;
    const auto fit = fitTone(std::span<const int16_t>(out).subspan(800, 14000), 1000, 16000);
    EXPECT_NEAR(fit.amplitude, 0.5 * 32768, 0.5 * 32768 * 0.02) << rate;
  }
}

// Fed as the capture callback feeds it (output room by the capacity rule), the converter
// holds back fewer than 1024 converted samples (64 ms) for every rate and block size: libsoxr
// gives its output in blocks (846 samples at most here, at 8 kHz), and the +32 of the rule
// pays each back within a few calls, so nothing accumulates over a long capture.
TEST(Converter, HeldBackOutputStaysBounded) {
  constexpr size_t kMaxPending = 1024;
  for (const double rate :
       {8000.0, 11025.0, 16000.0, 22050.0, 32000.0, 44100.0, 48000.0, 88200.0, 96000.0, 192000.0}) {
    const auto input = sine(1000, rate, 2.0, 0.5);
    for (const size_t block : {1u, 7u, 64u, 441u, 480u, 512u, 1024u, 2048u, 4096u, 8192u}) {
      auto converter = Converter::make(rate);
      size_t largest = 0;
      for (size_t at = 0; at < input.size(); at += block) {
        const size_t n = std::min(block, input.size() - at);
        const std::vector<float> mono(input.begin() + long(at), input.begin() + long(at + n));
        std::vector<int16_t> out(*outputCapacity(uint32_t(n), rate));
        bool handedOver = false;
        converter->convert(out, inputBlock(handedOver, mono));
        largest = std::max(largest, converter->pendingSamples());
      }
      EXPECT_LE(largest, kMaxPending) << rate << " Hz in blocks of " << block;
    }
  }
}

// The quality targets of the converter; the bench prints the measured figures.
TEST(ConverterQuality, PassbandIsFlatTo7kHz) {
  for (const double f : {50.0, 1000.0, 3000.0, 5000.0, 6000.0, 6500.0, 7000.0}) {
    EXPECT_NEAR(testing::toneGainDb(f, 48000, 0.5), 0.0, 0.1) << f;
  }
}

TEST(ConverterQuality, RejectsTonesAbove8500Hz) {
  for (const double f : {8500.0, 10000.0, 15000.0, 20000.0, 23900.0}) {
    EXPECT_GE(testing::rejectionDb(f, 48000, 0.9), 90.0) << f;
  }
}

TEST(ConverterQuality, OneKilohertzSnr) {
  EXPECT_GE(testing::toneSnrDb(997, 48000, 0.9), 85.0);
}

}  // namespace
}  // namespace lorvane::audio

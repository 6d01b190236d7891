#include "audio/audio_format.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lorvane::audio {
namespace {

TEST(TapFormat, TakesNativeFloatPcmOnly) {
  AudioStreamBasicDescription asbd{48000, kAudioFormatLinearPCM, 41, 4, 1, 4, 2, 32, 0};
  const auto format = formatFromStreamDescription(asbd);
  ASSERT_TRUE(format);
  EXPECT_EQ(format->sampleRate, 48000);
  EXPECT_EQ(format->channelCount, 2u);
  EXPECT_FALSE(format->interleaved);

  asbd.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
  EXPECT_TRUE(formatFromStreamDescription(asbd)->interleaved);

  auto bad = asbd;
  bad.mFormatFlags = kAudioFormatFlagIsSignedInteger;
  bad.mBitsPerChannel = 16;
  EXPECT_FALSE(formatFromStreamDescription(bad));  // the mix reads 32-bit floats only
  EXPECT_FALSE(formatFromStreamDescription({}));   // the all-zero default of a failed read
  bad = asbd;
  bad.mSampleRate = 0;
  EXPECT_FALSE(formatFromStreamDescription(bad));
  bad = asbd;
  bad.mChannelsPerFrame = 0;
  EXPECT_FALSE(formatFromStreamDescription(bad));
}

}  // namespace
}  // namespace lorvane::audio

#include "audio/mixdown.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace lorvane::audio {
namespace {

std::vector<float> mixInterleaved(const std::vector<float>& samples, uint32_t ch) {
  const float* channels[1] = {samples.data()};
  AudioBufferList list{channels, ch, uint32_t(samples.size() / ch), 48000, true};
  std::vector<float> mono(list.frames, 99.0f);
  mixDown(list, mono);
  return mono;
}

TEST(MixDown, AveragesInterleavedFrames) {
  EXPECT_EQ(mixInterleaved({0.5f, -0.5f, 1.0f, 0.5f}, 2), (std::vector<float>{0.0f, 0.75f}));
}

TEST(MixDown, AveragesPlanarChannels) {
  const std::vector<float> left{1.0f, 0.0f}, right{0.0f, 1.0f};
  const float* channels[2] = {left.data(), right.data()};
  std::vector<float> mono(2);
  mixDown({channels, 2, 2, 48000, false}, mono);
  EXPECT_EQ(mono, (std::vector<float>{0.5f, 0.5f}));
}

TEST(MixDown, SumsInChannelOrderInSinglePrecision) {
  // ((0 + 1) + 1e8) + (-1e8) is 0 in float; summing from the last channel would give 1/3.
  const auto mono = mixInterleaved({1.0f, 1e8f, -1e8f}, 3);
  EXPECT_EQ(mono[0], 0.0f);
  EXPECT_FALSE(std::signbit(mono[0]));
}

TEST(MixDown, OneDivisionAfterTheSum) {
  // (0.1 + 0.2 + 0.3) / 3 rounded once per step, exactly as float arithmetic gives it.
  const float expected = ((0.0f + 0.1f) + 0.2f + 0.3f) / 3.0f;
  EXPECT_EQ(mixInterleaved({0.1f, 0.2f, 0.3f}, 3)[0], expected);
}

TEST(MixDown, MissingSamplesGiveSilence) {
  const float* none[2] = {nullptr, nullptr};
  std::vector<float> mono(4, 7.0f);
  mixDown({none, 2, 4, 48000, false}, mono);
  EXPECT_EQ(mono, std::vector<float>(4, 0.0f));
  mixDown({nullptr, 2, 4, 48000, false}, mono);
  EXPECT_EQ(mono, std::vector<float>(4, 0.0f));
}

TEST(OutputCapacity, FollowsTheRule) {
  EXPECT_EQ(outputCapacity(512, 48000), 202u);
  EXPECT_EQ(outputCapacity(512, 44100), 217u);
  EXPECT_EQ(outputCapacity(480, 48000), 192u);
  EXPECT_EQ(outputCapacity(1, 48000), 32u);
  EXPECT_EQ(outputCapacity(2048, 16000), 2080u);
}

TEST(OutputCapacity, UndefinedCasesGiveNothing) {
  EXPECT_FALSE(outputCapacity(512, 0));
  EXPECT_FALSE(outputCapacity(512, -48000));
  EXPECT_FALSE(outputCapacity(512, NAN));
  EXPECT_FALSE(outputCapacity(512, INFINITY));
  EXPECT_FALSE(outputCapacity(UINT32_MAX, 1e-3));  // beyond 32 bits
}

}  // namespace
}  // namespace lorvane::audio

#include "audio/setup.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "audio/capture_state.h"
#include "audio/start.h"
#include "audio/tests/fake_audio_platform.h"

namespace lorvane::audio {
namespace {

using ::testing::ExitedWithCode;
using testing::FakeAudioPlatform;

struct Setup : ::testing::Test {
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    platform = &fake;
  }
  // Runs the setup in this process and returns what it wrote on stderr.
  std::string setup(std::vector<const char*> args) {
    ::testing::internal::CaptureStderr();
    tapFmt = setupCapture(ArgList(args.data(), args.size()));
    return ::testing::internal::GetCapturedStderr();
  }
  FakeAudioPlatform fake;
  AudioFormat tapFmt;
};

// The whole mode on the fake, stdin at end of file: for the death tests.
[[noreturn]] void runWithClosedStdin(FakeAudioPlatform& fake, std::vector<const char*> args) {
  const int devNull = open("/dev/null", O_RDONLY);
  dup2(devNull, STDIN_FILENO);
  runCapture(ArgList(args.data(), args.size()), fake);
}

const std::string& stringAt(const Dictionary& dict, const char* key) {
  return std::get<std::string>(findKey(dict, key)->value);
}

TEST_F(Setup, BuildsTheTapAndTheAggregateDescription) {
  fake.processes = {{10, 1010}, {11, 1011}};
  const std::string err =
      setup({"lorvane-tap", "--exclude-pid=10", "--exclude-pid=x",
             "--exclude-pid=", "--exclude-pid=99", "--exclude-pid=+10", "--exclude-pid=11"});
  EXPECT_EQ(err, "format sr=48000.0 ch=2 flags=41\n");
  EXPECT_EQ(fake.tap.excludedProcesses, (std::vector<AudioObjectID>{1010, 1010, 1011}));
  EXPECT_EQ(fake.tap.name, "LORVANE system audio");
  EXPECT_TRUE(fake.tap.isPrivate);
  EXPECT_EQ(fake.tap.muteBehavior, kCATapUnmuted);
  const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  EXPECT_TRUE(std::regex_match(fake.tap.uuid, uuid)) << fake.tap.uuid;

  const Dictionary& agg = fake.aggregate;
  std::vector<std::string> keys;
  for (const auto& [key, value] : agg) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"name", "uid", "master", "private", "stacked",
                                            "tapautostart", "subdevices", "taps"}));
  EXPECT_EQ(stringAt(agg, "name"), "LORVANE-Tap");
  EXPECT_TRUE(std::regex_match(stringAt(agg, "uid"), uuid));
  EXPECT_NE(stringAt(agg, "uid"), fake.tap.uuid);
  EXPECT_EQ(stringAt(agg, "master"), "nullsink");
  EXPECT_EQ(std::get<bool>(findKey(agg, "private")->value), true);
  EXPECT_EQ(std::get<bool>(findKey(agg, "stacked")->value), false);
  EXPECT_EQ(std::get<bool>(findKey(agg, "tapautostart")->value), true);
  const auto& subs = std::get<std::vector<Dictionary>>(findKey(agg, "subdevices")->value);
  ASSERT_EQ(subs.size(), 1u);
  EXPECT_EQ(subs[0].size(), 1u);
  EXPECT_EQ(stringAt(subs[0], "uid"), "nullsink");
  const auto& taps = std::get<std::vector<Dictionary>>(findKey(agg, "taps")->value);
  ASSERT_EQ(taps.size(), 1u);
  EXPECT_EQ(std::get<bool>(findKey(taps[0], "drift")->value), true);
  EXPECT_EQ(stringAt(taps[0], "uid"), fake.tap.uuid);

  EXPECT_EQ(tapID, 70u);
  EXPECT_EQ(aggID, 71u);
  EXPECT_EQ(outDev, 57u);
  EXPECT_EQ(tapFmt.channelCount, 2u);
  EXPECT_FALSE(tapFmt.interleaved);
  ASSERT_TRUE(converter);
  EXPECT_EQ(converter->inputRate(), 48000);
}

TEST_F(Setup, ReadsInTheStatedOrderAndSkipsElementZero) {
  setup({"--exclude-pid=10", "--exclude-pid=10"});
  EXPECT_EQ(fake.calls,
            (std::vector<std::string>{"get 1768174192 1",  // 'id2p' for the second element only
                                      "createTap", "get 1934587252 1", "get 1969841184 57",
                                      "createAggregate", "get 1952869748 70"}));
  EXPECT_TRUE(fake.tap.excludedProcesses.empty());  // pid 10 has no process object
}

TEST_F(Setup, AFailedDeviceReadIsReportedAndTheDefaultsUsed) {
  fake.propStatus[kAudioHardwarePropertyDefaultSystemOutputDevice] = -2;
  const std::string err = setup({"lorvane-tap"});
  // outDev stays 0, so the UID read goes to object 0 and fails too.
  EXPECT_EQ(err,
            "prop error 1934587252 -2\nprop error 1969841184 -2\n"
            "format sr=48000.0 ch=2 flags=41\n");
  EXPECT_EQ(outDev, 0u);
  EXPECT_EQ(outUID, "");
  EXPECT_EQ(stringAt(fake.aggregate, "master"), "");
}

TEST_F(Setup, FailuresEndWithTheirStatusLineAndStatus) {
  fake.tapStatus = -111;
  EXPECT_EXIT(runWithClosedStdin(fake, {"lorvane-tap"}), ExitedWithCode(2), "^ERROR tap -111\n$");
  fake.tapStatus = 0;
  fake.aggregateStatus = -22;
  EXPECT_EXIT(runWithClosedStdin(fake, {"lorvane-tap"}), ExitedWithCode(3),
              "^ERROR aggregate -22\n$");
  fake.aggregateStatus = 0;
  fake.propStatus[kAudioTapPropertyFormat] = -5;
  EXPECT_EXIT(runWithClosedStdin(fake, {"lorvane-tap"}), ExitedWithCode(4),
              "^prop error 1952869748 -5\nformat sr=0.0 ch=0 flags=0\nERROR format\n$");
  fake.propStatus.clear();
  fake.format.mFormatFlags = kAudioFormatFlagIsSignedInteger;
  fake.format.mBitsPerChannel = 16;
  EXPECT_EXIT(runWithClosedStdin(fake, {"lorvane-tap"}), ExitedWithCode(4),
              "^format sr=48000.0 ch=2 flags=4\nERROR format\n$");
}

TEST_F(Setup, RegistrationAndStartFailures) {
  const std::string format = "^format sr=48000.0 ch=2 flags=41\n";
  fake.ioProcStatus = -5;
  EXPECT_EXIT(runWithClosedStdin(fake, {"lorvane-tap"}), ExitedWithCode(5),
              format + "ERROR ioproc -5\n$");
  fake.ioProcStatus = 0;
  fake.ioProcGivesId = false;
  EXPECT_EXIT(runWithClosedStdin(fake, {"lorvane-tap"}), ExitedWithCode(5),
              format + "ERROR ioproc 0\n$");
  fake.ioProcGivesId = true;
  fake.startStatus = -19;
  EXPECT_EXIT(runWithClosedStdin(fake, {"lorvane-tap"}), ExitedWithCode(6),
              format + "ERROR start -19\n$");
}

TEST_F(Setup, EndOfInputTearsDownTheAggregateFirst) {
  fake.traceDestroys = true;
  EXPECT_EXIT(runWithClosedStdin(fake, {"lorvane-tap"}), ExitedWithCode(0),
              "^format sr=48000.0 ch=2 flags=41\nSTARTED\ndestroyAggregate 71\ndestroyTap 70\n$");
}

}  // namespace
}  // namespace lorvane::audio

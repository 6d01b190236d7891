#include "audio/platform/link_policy.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

namespace lorvane::audio {
namespace {

// A made-up process tree: 1 <- 100 (desktop app) <- 200 (its sound helper) <- 300; 1 <- 400.
std::optional<int32_t> parentOf(int32_t pid) {
  static const std::map<int32_t, int32_t> parents{{100, 1}, {200, 100}, {300, 200}, {400, 1}};
  auto it = parents.find(pid);
  if (it == parents.end()) return std::nullopt;
  return it->second;
}

StreamNodeInfo stream() {
  StreamNodeInfo node;
  node.mediaClass = "Stream/Output/Audio";
  return node;
}

TEST(LinkPolicy, CapturesPlaybackStreamsOnly) {
  EXPECT_TRUE(shouldCapture(stream(), {}, parentOf));
  for (const char* mediaClass : {"Audio/Sink", "Stream/Input/Audio", "Audio/Source", ""}) {
    auto node = stream();
    node.mediaClass = mediaClass;
    EXPECT_FALSE(shouldCapture(node, {}, parentOf)) << mediaClass;
  }
}

TEST(LinkPolicy, SkipsStreamsThatCarryOtherStreams) {
  auto node = stream();
  node.linkGroup = true;  // filter-chain, loopback
  EXPECT_FALSE(shouldCapture(node, {}, parentOf));
  node = stream();
  node.isVirtual = true;
  EXPECT_FALSE(shouldCapture(node, {}, parentOf));
  node = stream();
  node.monitorStream = true;
  EXPECT_FALSE(shouldCapture(node, {}, parentOf));
}

TEST(LinkPolicy, ExcludesOwnersAndTheirDescendants) {
  auto native = stream();
  native.client.pid = 300;
  native.client.secPid = 300;
  EXPECT_FALSE(shouldCapture(native, {100}, parentOf));  // grandchild of the excluded app
  EXPECT_FALSE(shouldCapture(native, {300}, parentOf));
  EXPECT_TRUE(shouldCapture(native, {400}, parentOf));
  EXPECT_TRUE(shouldCapture(native, {}, parentOf));

  auto secOnly = stream();  // a client that states no pid: the socket credentials decide
  secOnly.client.secPid = 200;
  EXPECT_FALSE(shouldCapture(secOnly, {200}, parentOf));
}

// With nothing excluded no ancestry is read: every registry event reconciles, on the thread that
// also runs the outage timer, and each walk reads /proc up to pid 1.
TEST(LinkPolicy, NothingExcludedReadsNoAncestry) {
  int reads = 0;
  const ParentOf counting = [&](int32_t pid) {
    ++reads;
    return parentOf(pid);
  };
  auto native = stream();
  native.client.pid = 300;
  native.client.secPid = 300;
  EXPECT_TRUE(shouldCapture(native, {}, counting));
  EXPECT_EQ(reads, 0);
}

TEST(LinkPolicy, PulseStreamsGoByTheirOwnPidNotTheServers) {
  auto pulse = stream();
  pulse.nodePid = 400;
  pulse.client.pid = 400;
  pulse.client.secPid = 200;  // pipewire-pulse itself
  pulse.client.pulse = true;
  EXPECT_TRUE(shouldCapture(pulse, {200}, parentOf));
  EXPECT_FALSE(shouldCapture(pulse, {400}, parentOf));
  pulse.client.pid.reset();
  EXPECT_FALSE(shouldCapture(pulse, {400}, parentOf));  // the node's pid is enough
}

TEST(LinkPolicy, AncestorWalkEndsOnCycles) {
  const ParentOf loop = [](int32_t pid) { return std::optional<int32_t>(pid == 5 ? 6 : 5); };
  EXPECT_FALSE(descendsFromExcluded(5, {7}, loop));
}

TEST(LinkPolicy, ReadsParentsFromProc) {
  EXPECT_EQ(procParentOf(getpid()), getppid());
  EXPECT_FALSE(procParentOf(0));
  EXPECT_FALSE(procParentOf(-4));
}

TEST(LinkPolicy, RoutesChannelsToLeftAndRight) {
  for (const char* left : {"FL", "RL", "SL"}) {
    EXPECT_TRUE(routeFor(left).left && !routeFor(left).right) << left;
  }
  for (const char* right : {"FR", "RR", "SR"}) {
    EXPECT_TRUE(!routeFor(right).left && routeFor(right).right) << right;
  }
  for (const char* both : {"MONO", "FC", "", "AUX0"}) {
    EXPECT_TRUE(routeFor(both).left && routeFor(both).right) << both;
  }
  EXPECT_FALSE(routeFor("LFE").left || routeFor("LFE").right);
}

}  // namespace
}  // namespace lorvane::audio

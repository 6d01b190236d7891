#include "audio/platform/stream_graph.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace lorvane::audio {
namespace {

GlobalFacts kindOf(ObjectKind kind) {
  GlobalFacts facts;
  facts.kind = kind;
  return facts;
}

// A registry that behaves as the daemon's does for what StreamGraph asks of it and records what
// was done to it: ids are reused (the last freed first), a bind is answered by an info event on
// flush(), a link stays until unlinked, a link between two ports already linked or to a port
// that is gone is a fault, and the links on a removed port die with it (their proxies stay ours
// to release).
class FakeRegistry : public GraphPort {
 public:
  StreamGraph* graph = nullptr;
  std::vector<std::string> faults;
  std::set<uint32_t> bound;
  struct Link {
    LinkEnds ends;
    bool alive = true;
  };
  std::map<uint64_t, Link> links;

  uint32_t addClient(ClientFacts facts) {
    const uint32_t id = takeId();
    clients_[id] = facts;
    graph->addGlobal(id, kindOf(ObjectKind::Client));
    return id;
  }
  /// A node with one port per channel ("monitor": a monitor output port).
  uint32_t addNode(const std::string& mediaClass, StreamNodeInfo facts,
                   std::vector<std::string> channels, bool output = true) {
    GlobalFacts node = kindOf(ObjectKind::Node);
    node.mediaClass = mediaClass;
    const uint32_t id = takeId();
    nodes_[id] = facts;
    graph->addGlobal(id, node);
    for (const auto& channel : channels) {
      GlobalFacts port = kindOf(ObjectKind::Port);
      port.nodeId = id;
      port.output = output;
      port.monitor = channel == "monitor";
      port.channel = channel == "monitor" ? "FL" : channel;
      const uint32_t portId = takeId();
      ports_[portId] = port;
      graph->addGlobal(portId, port);
    }
    return id;
  }
  uint32_t addCaptureNode() { return addNode("", {}, {"FL", "FR"}, false); }

  /// Removes a node (its ports first, as the daemon does) or a client.
  void remove(uint32_t id) {
    for (auto it = ports_.begin(); it != ports_.end();) {
      if (it->second.nodeId != id) {
        ++it;
        continue;
      }
      const uint32_t port = it->first;
      it = ports_.erase(it);
      for (auto& [handle, link] : links) {
        if (link.ends.outPort == port || link.ends.inPort == port) link.alive = false;
      }
      forget(port);
    }
    clients_.erase(id);
    nodes_.erase(id);
    forget(id);
  }

  /// The daemon is gone and back: none of its objects is left, ids start anew.
  void restart() {
    clients_.clear();
    nodes_.clear();
    ports_.clear();
    freed_.clear();
    nextId_ += 100;
  }

  /// Delivers the info events of everything bound since the last flush.
  void flush() {
    for (const uint32_t id : std::exchange(pending_, {})) {
      if (clients_.count(id)) graph->clientInfo(id, clients_[id]);
      if (nodes_.count(id)) graph->nodeInfo(id, nodes_[id]);
    }
  }

  /// The (output port's node, input port) pairs linked now.
  std::multiset<std::pair<uint32_t, uint32_t>> linked() const {
    std::multiset<std::pair<uint32_t, uint32_t>> result;
    for (const auto& [handle, link] : links) {
      if (link.alive) result.insert({link.ends.outNode, link.ends.inPort});
    }
    return result;
  }
  uint32_t portOf(uint32_t node, const std::string& channel) const {
    for (const auto& [id, port] : ports_) {
      if (port.nodeId == node && port.channel == channel && !port.monitor) return id;
    }
    return 0;
  }

  void bind(uint32_t id, ObjectKind) override {
    if (!clients_.count(id) && !nodes_.count(id)) faults.push_back("bind of a missing id");
    if (!bound.insert(id).second) faults.push_back("bound twice");
    pending_.push_back(id);
  }
  void unbind(uint32_t id) override {
    if (bound.erase(id) == 0) faults.push_back("unbind of an unbound id");
  }
  uint64_t link(const LinkEnds& ends) override {
    if (!ports_.count(ends.outPort) || !ports_.count(ends.inPort)) {
      faults.push_back("link to a missing port");
    }
    for (const auto& [handle, l] : links) {
      if (l.alive && l.ends.outPort == ends.outPort && l.ends.inPort == ends.inPort) {
        faults.push_back("duplicate link");
      }
    }
    links[++lastHandle_] = {ends};
    return lastHandle_;
  }
  void unlink(uint64_t handle) override {
    if (links.erase(handle) == 0) faults.push_back("unlink of an unknown link");
  }

 private:
  uint32_t takeId() {
    if (freed_.empty()) return nextId_++;
    const uint32_t id = freed_.back();
    freed_.pop_back();
    return id;
  }
  void forget(uint32_t id) {
    freed_.push_back(id);
    graph->removeGlobal(id);
  }

  uint32_t nextId_ = 30;
  uint64_t lastHandle_ = 0;
  std::vector<uint32_t> freed_;
  std::vector<uint32_t> pending_;
  std::map<uint32_t, ClientFacts> clients_;
  std::map<uint32_t, StreamNodeInfo> nodes_;
  std::map<uint32_t, GlobalFacts> ports_;
};

// Process tree: 1 <- 100 (excluded app) <- 200 (its helper); 1 <- 300.
std::optional<int32_t> parentOf(int32_t pid) {
  if (pid == 200) return 100;
  if (pid == 100 || pid == 300) return 1;
  return std::nullopt;
}

struct Registry {
  FakeRegistry fake;
  StreamGraph graph{fake, {100}, parentOf};
  uint32_t capture = 0;
  Registry() {
    fake.graph = &graph;
    capture = fake.addCaptureNode();
    graph.adoptCaptureNode(capture);
  }
  uint32_t stream(ClientFacts owner, std::vector<std::string> channels = {"FL", "FR"},
                  StreamNodeInfo facts = {}) {
    facts.clientId = int32_t(fake.addClient(owner));
    return fake.addNode("Stream/Output/Audio", facts, channels);
  }
  std::pair<uint32_t, uint32_t> to(uint32_t node, const char* captureChannel) const {
    return {node, fake.portOf(capture, captureChannel)};
  }
};

ClientFacts pid(int32_t p) {
  return ClientFacts{p, p, false};
}

TEST(StreamGraph, LinksEachPlaybackPortOnceWhenItsOwnerIsKnown) {
  Registry r;
  ASSERT_EQ(r.graph.captureNode(), r.capture);
  const uint32_t a = r.stream(pid(300), {"FL", "FR", "monitor", "LFE"});
  EXPECT_TRUE(r.fake.linked().empty());  // nothing is known of its owner yet
  r.fake.flush();
  const uint32_t mono = r.stream(pid(300), {"MONO"});
  r.fake.flush();
  StreamNodeInfo again;
  again.clientId = int32_t(a - 1);
  r.graph.nodeInfo(a, again);  // a props change repeats the info
  r.fake.flush();
  EXPECT_EQ(r.fake.linked(),
            (std::multiset<std::pair<uint32_t, uint32_t>>{r.to(a, "FL"), r.to(a, "FR"),
                                                          r.to(mono, "FL"), r.to(mono, "FR")}));
  EXPECT_EQ(r.fake.faults, std::vector<std::string>{});
}

TEST(StreamGraph, LeavesOutExcludedOwnersAndStreamsThatCarryOthers) {
  Registry r;
  r.stream(pid(100));  // excluded itself
  r.stream(pid(200));  // a child of it
  StreamNodeInfo pulse;
  pulse.nodePid = 100;
  r.stream({std::nullopt, 300, true}, {"FL"}, pulse);  // its pulse stream: the node pid counts
  StreamNodeInfo group;
  group.linkGroup = true;
  r.stream(pid(300), {"FL"}, group);  // an equaliser carrying others' audio again
  r.fake.addNode("Stream/Input/Audio", {}, {"FL"});
  const uint32_t kept = r.stream({std::nullopt, 300, true}, {"FL"});  // sec.pid: the pulse server
  r.fake.flush();
  EXPECT_EQ(r.fake.linked(), (std::multiset<std::pair<uint32_t, uint32_t>>{r.to(kept, "FL")}));
  EXPECT_EQ(r.fake.faults, std::vector<std::string>{});
}

TEST(StreamGraph, ForgetsRemovedIdsBeforeTheyAreReused) {
  Registry r;
  const uint32_t a = r.stream(pid(300));
  r.fake.flush();
  ASSERT_EQ(r.fake.linked().size(), 2u);
  r.fake.remove(a);
  r.fake.remove(a - 1);               // its client
  EXPECT_TRUE(r.fake.links.empty());  // every proxy of a dead link released
  // An excluded player takes the freed ids: nothing of the old one may stick to them.
  const uint32_t b = r.stream(pid(100));
  EXPECT_EQ(b, a);
  r.fake.flush();
  EXPECT_TRUE(r.fake.linked().empty());
  EXPECT_EQ(r.fake.faults, std::vector<std::string>{});
}

// A link the daemon refuses or removes is made again on the next relink, a bounded number of
// times; once one of its ports has gone and come back (a new id), it may be made again.
TEST(StreamGraph, ALostLinkIsMadeAgainBoundedly) {
  Registry r;
  const uint32_t a = r.stream(pid(300), {"MONO"});
  r.fake.flush();
  const auto lose = [&] {
    const uint64_t handle = r.fake.links.rbegin()->first;
    r.fake.links[handle].alive = false;  // the daemon has destroyed it
    r.graph.linkLost(handle);
    r.graph.relink();
  };
  const std::multiset<std::pair<uint32_t, uint32_t>> both{r.to(a, "FL"), r.to(a, "FR")};
  for (int i = 0; i < StreamGraph::kLinkAttempts - 1; ++i) {
    lose();  // FR's link, the last made
    EXPECT_EQ(r.fake.linked(), both);
  }
  lose();
  EXPECT_EQ(r.fake.linked(), (std::multiset<std::pair<uint32_t, uint32_t>>{r.to(a, "FL")}));
  EXPECT_EQ(r.fake.links.size(), 1u);  // the lost proxies released
  r.fake.remove(a);
  const uint32_t b = r.stream(pid(300), {"MONO"});  // the freed port ids again
  r.fake.flush();
  EXPECT_EQ(r.fake.linked(),
            (std::multiset<std::pair<uint32_t, uint32_t>>{r.to(b, "FL"), r.to(b, "FR")}));
  EXPECT_EQ(r.fake.faults, std::vector<std::string>{});
}

// However many streams and ports one process owns, a pass reads each ancestry once.
TEST(StreamGraph, ReadsEachParentOncePerPass) {
  FakeRegistry fake;
  std::map<int32_t, int> reads;
  StreamGraph graph{fake, {100}, [&](int32_t p) {
                      ++reads[p];
                      return parentOf(p);
                    }};
  fake.graph = &graph;
  const uint32_t client = fake.addClient(pid(200));
  fake.flush();
  StreamNodeInfo facts;
  facts.clientId = int32_t(client);
  for (int i = 0; i < 3; ++i) fake.addNode("Stream/Output/Audio", facts, {"FL", "FR"});
  fake.flush();
  reads.clear();
  graph.adoptCaptureNode(fake.addCaptureNode());
  EXPECT_EQ(reads, (std::map<int32_t, int>{{200, 1}}));  // 100 is excluded: the walk ends there
  EXPECT_TRUE(fake.linked().empty());
}

TEST(StreamGraph, AdoptsTheCaptureNodeWhicheverComesFirst) {
  FakeRegistry fake;
  StreamGraph graph{fake, {}, parentOf};
  fake.graph = &graph;
  const uint32_t before = fake.addNode("Stream/Output/Audio", {}, {"FL"});
  fake.flush();
  const uint32_t capture = fake.addNode("", {}, {"FL"}, false);
  graph.adoptCaptureNode(capture);
  EXPECT_EQ(graph.captureNode(), std::nullopt);  // its FR port is still to come
  GlobalFacts fr = kindOf(ObjectKind::Port);
  fr.nodeId = capture;
  fr.channel = "FR";
  graph.addGlobal(90, fr);
  EXPECT_EQ(graph.captureNode(), capture);
  EXPECT_EQ(fake.linked().size(), 1u);  // the FL stream into our FL port
  EXPECT_EQ(fake.linked().begin()->first, before);
}

TEST(StreamGraph, AResetReleasesEverythingAndTheNextDaemonIsLinkedAfresh) {
  Registry r;
  r.stream(pid(300));
  r.fake.flush();
  r.graph.reset();
  EXPECT_TRUE(r.fake.bound.empty());
  EXPECT_TRUE(r.fake.links.empty());
  EXPECT_EQ(r.graph.captureNode(), std::nullopt);

  r.fake.restart();  // new ids for everything
  const uint32_t s = r.stream(pid(300));
  r.fake.flush();
  r.capture = r.fake.addCaptureNode();
  r.graph.adoptCaptureNode(r.capture);
  EXPECT_EQ(r.fake.linked(),
            (std::multiset<std::pair<uint32_t, uint32_t>>{r.to(s, "FL"), r.to(s, "FR")}));
  EXPECT_EQ(r.fake.faults, std::vector<std::string>{});
}

}  // namespace
}  // namespace lorvane::audio

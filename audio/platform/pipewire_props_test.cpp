#include "audio/platform/pipewire_props.h"

#include <gtest/gtest.h>
#include <pipewire/pipewire.h>

#include <vector>

namespace lorvane::audio {
namespace {

struct Dict {
  std::vector<spa_dict_item> items;
  spa_dict dict{};
  Dict(std::initializer_list<spa_dict_item> list) : items(list) {
    dict = SPA_DICT_INIT(items.data(), uint32_t(items.size()));
  }
  const spa_dict* get() const { return &dict; }
};

TEST(PipeWireProps, NumbersArePositiveDecimalsThatFit) {
  EXPECT_EQ(parsePositive("1234"), 1234);
  EXPECT_EQ(parsePositive("2147483647"), 2147483647);
  for (const char* bad : {"", "0", "-5", "12x", " 7", "2147483648", "99999999999999999999"}) {
    EXPECT_EQ(parsePositive(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(parsePositive(nullptr), std::nullopt);
  EXPECT_EQ(parseRate("44100"), 44100u);
  EXPECT_EQ(parseRate("1000000"), 0u);
  EXPECT_EQ(parseRate("fast"), 0u);
}

TEST(PipeWireProps, TheDefaultSinkIsTheNameMemberOfItsJson) {
  EXPECT_EQ(parseMetadataName("{ \"name\": \"nullsink\" }"), "nullsink");
  EXPECT_EQ(parseMetadataName("{\"x\": {\"name\": \"inner\"}, \"name\": \"outer\"}"), "outer");
  EXPECT_EQ(parseMetadataName("\"nullsink\""), "");
  EXPECT_EQ(parseMetadataName("{}"), "");
  EXPECT_EQ(parseMetadataName(nullptr), "");
}

TEST(PipeWireProps, GlobalsAndInfosBecomeFacts) {
  const Dict port{{PW_KEY_NODE_ID, "42"},
                  {PW_KEY_PORT_DIRECTION, "out"},
                  {PW_KEY_PORT_MONITOR, "true"},
                  {PW_KEY_AUDIO_CHANNEL, "FR"}};
  const GlobalFacts p = readGlobal(PW_TYPE_INTERFACE_Port, port.get());
  EXPECT_EQ(p.kind, ObjectKind::Port);
  EXPECT_EQ(p.nodeId, 42u);
  EXPECT_TRUE(p.output);
  EXPECT_TRUE(p.monitor);
  EXPECT_EQ(p.channel, "FR");
  const Dict orphan{{PW_KEY_PORT_DIRECTION, "out"}};
  EXPECT_EQ(readGlobal(PW_TYPE_INTERFACE_Port, orphan.get()).kind, ObjectKind::Other);
  EXPECT_EQ(readGlobal(PW_TYPE_INTERFACE_Link, nullptr).kind, ObjectKind::Other);

  const Dict client{{PW_KEY_APP_PROCESS_ID, "700"},
                    {PW_KEY_SEC_PID, "650"},
                    {PW_KEY_CLIENT_API, "pipewire-pulse"}};
  const ClientFacts c = readClient(client.get());
  EXPECT_EQ(c.pid, 700);
  EXPECT_EQ(c.secPid, 650);
  EXPECT_TRUE(c.pulse);

  const Dict node{
      {PW_KEY_CLIENT_ID, "31"}, {PW_KEY_NODE_LINK_GROUP, "eq-1"}, {PW_KEY_NODE_VIRTUAL, "false"}};
  const StreamNodeInfo n = readNode(node.get());
  EXPECT_EQ(n.clientId, 31);
  EXPECT_TRUE(n.linkGroup);
  EXPECT_FALSE(n.isVirtual);
  EXPECT_EQ(n.nodePid, std::nullopt);
  EXPECT_FALSE(readClient(nullptr).pulse);
}

}  // namespace
}  // namespace lorvane::audio

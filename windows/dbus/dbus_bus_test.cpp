// Run against a private session bus (dbus-run-session).
#include "windows/dbus/dbus_bus.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace lorvane::dbus {
namespace {

using std::chrono::milliseconds;

Deadline in(milliseconds ms) {
  return Clock::now() + ms;
}

std::unique_ptr<Bus> open() {
  auto bus = Bus::openSession(in(milliseconds(2000)));
  EXPECT_TRUE(bus.ok()) << bus.error();
  return bus.ok() ? std::move(bus.value()) : nullptr;
}

const Call kBusCall{
    "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "", {}};

TEST(Open, WithoutAddressSaysSo) {
  const std::string saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  const auto bus = Bus::openSession(in(milliseconds(500)));
  setenv("DBUS_SESSION_BUS_ADDRESS", saved.c_str(), 1);
  ASSERT_FALSE(bus.ok());
  EXPECT_EQ(bus.error(), "D-Bus: no session bus (DBUS_SESSION_BUS_ADDRESS is not set)");
}

TEST(Open, NobodyListeningNamesTheBus) {
  const std::string saved = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
  const auto bus = Bus::openSession(in(milliseconds(500)));
  setenv("DBUS_SESSION_BUS_ADDRESS", saved.c_str(), 1);
  ASSERT_FALSE(bus.ok());
  EXPECT_NE(bus.error().find("D-Bus: the session bus at unix:path=/nonexistent/bus"),
            std::string::npos)
      << bus.error();
}

TEST(Open, GetsAUniqueName) {
  const auto bus = open();
  ASSERT_TRUE(bus);
  EXPECT_EQ(bus->uniqueName().rfind(":", 0), 0u) << bus->uniqueName();
}

TEST(Names, OwnedAndUnowned) {
  const auto bus = open();
  ASSERT_TRUE(bus);
  const auto daemon = bus->hasOwner("org.freedesktop.DBus", in(milliseconds(2000)));
  const auto nobody = bus->hasOwner("org.example.Nobody", in(milliseconds(2000)));
  ASSERT_TRUE(daemon.ok() && nobody.ok()) << daemon.error() << nobody.error();
  EXPECT_TRUE(daemon.value());
  EXPECT_FALSE(nobody.value());
  const auto self = bus->nameOwner(bus->uniqueName(), in(milliseconds(2000)));
  ASSERT_TRUE(self.ok()) << self.error();
  EXPECT_EQ(self.value(), bus->uniqueName());
}

TEST(Call, ReadsADictionaryAnswer) {
  const auto bus = open();
  ASSERT_TRUE(bus);
  Call c = kBusCall;
  c.member = "GetConnectionCredentials";
  c.args = {bus->uniqueName()};
  const Answer a = bus->call(c, in(milliseconds(2000)));
  ASSERT_TRUE(a.ok()) << a.error;
  const auto creds = argAt<Dict>(a.args, 0);
  ASSERT_TRUE(creds);
  EXPECT_EQ(member<uint32_t>(*creds, "ProcessID"), static_cast<uint32_t>(getpid()));
  EXPECT_EQ(member<uint32_t>(*creds, "UnixUserID"), static_cast<uint32_t>(getuid()));
}

TEST(Call, ErrorCarriesItsNameAndSaysDBus) {
  const auto bus = open();
  ASSERT_TRUE(bus);
  const Answer a = bus->call({"org.example.Nobody", "/", "org.example.Iface", "Hello", {}},
                             in(milliseconds(2000)));
  EXPECT_EQ(a.errorName, "org.freedesktop.DBus.Error.ServiceUnknown");
  EXPECT_EQ(a.error.rfind("D-Bus call org.example.Iface.Hello to org.example.Nobody failed: "
                          "org.freedesktop.DBus.Error.ServiceUnknown: ",
                          0),
            0u)
      << a.error;
}

TEST(Call, EndsAtTheDeadlineWhenTheCalleeNeverAnswers) {
  const auto caller = open();
  const auto silent = open();  // never processes what it is sent
  ASSERT_TRUE(caller && silent);
  const Answer a = caller->call({silent->uniqueName(), "/", "org.example.Iface", "Hello", {}},
                                in(milliseconds(300)));
  EXPECT_FALSE(a.ok());
  EXPECT_EQ(a.errorName, "org.freedesktop.DBus.Error.Timeout") << a.error;
}

TEST(Export, ServesCallsWithTheirArguments) {
  const auto server = open();
  const auto client = open();
  ASSERT_TRUE(server && client);
  std::vector<Incoming> got;
  ASSERT_TRUE(
      server->exportObject("/org/example/Sink", [&](const Incoming& i) { got.push_back(i); }).ok());
  std::thread caller([&] {
    const Answer a = client->call({server->uniqueName(),
                                   "/org/example/Sink",
                                   "org.example.Sink",
                                   "Report",
                                   {std::string("[1,2]"), uint32_t{7}, true,
                                    Dict{{"w", int32_t{-3}}, {"s", std::string("x")}}}},
                                  in(milliseconds(2000)));
    EXPECT_TRUE(a.ok()) << a.error;
  });
  const auto served = server->serveUntil([&] { return !got.empty(); }, in(milliseconds(2000)));
  caller.join();
  ASSERT_TRUE(served.ok() && served.value());
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].sender, client->uniqueName());
  EXPECT_EQ(got[0].interface, "org.example.Sink");
  EXPECT_EQ(got[0].member, "Report");
  ASSERT_EQ(got[0].args.size(), 4u);
  EXPECT_EQ(argAt<std::string>(got[0].args, 0), "[1,2]");
  EXPECT_EQ(argAt<uint32_t>(got[0].args, 1), 7u);
  EXPECT_EQ(argAt<bool>(got[0].args, 2), true);
  const auto dict = argAt<Dict>(got[0].args, 3);
  ASSERT_TRUE(dict);
  EXPECT_EQ(member<int32_t>(*dict, "w"), -3);
  EXPECT_EQ(member<std::string>(*dict, "s"), "x");
}

TEST(Export, ServingEndsAtTheDeadlineWhenNothingComes) {
  const auto bus = open();
  ASSERT_TRUE(bus);
  const auto served = bus->serveUntil([] { return false; }, in(milliseconds(200)));
  ASSERT_TRUE(served.ok()) << served.error();
  EXPECT_FALSE(served.value());
}

}  // namespace
}  // namespace lorvane::dbus

#include "main/listen_access.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace lorvane {
namespace {

class FakeAccess : public InputAccess {
 public:
  FakeAccess(bool held, bool grantOnRequest) : held_(held), grant_(grantOnRequest) {}
  bool preflight() override { return held_; }
  bool request() override {
    ++requests;
    return grant_;
  }
  int requests = 0;

 private:
  bool held_, grant_;
};

struct ProbeResult {
  std::string printed;
  int status;
  int requests;
};

ProbeResult probe(std::vector<const char*> argv, bool held, bool grantOnRequest) {
  FakeAccess access(held, grantOnRequest);
  char* text = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  const int status = runListenAccess(argv, access, out);
  std::fclose(out);
  ProbeResult result{std::string(text, size), status, access.requests};
  std::free(text);
  return result;
}

TEST(ListenAccess, HeldAccessIsNeverRequested) {
  const auto r = probe({"tap", "--listen-access", "--request"}, true, false);
  EXPECT_EQ(r.printed, "granted\n");
  EXPECT_EQ(r.requests, 0);
  EXPECT_EQ(r.status, 0);
}

TEST(ListenAccess, MissingAccessIsRequestedOnlyWithRequestFlag) {
  const auto quiet = probe({"tap", "--listen-access"}, false, true);
  EXPECT_EQ(quiet.printed, "denied\n");
  EXPECT_EQ(quiet.requests, 0);

  const auto asked = probe({"tap", "--listen-access", "--request"}, false, true);
  EXPECT_EQ(asked.printed, "granted\n");
  EXPECT_EQ(asked.requests, 1);

  const auto refused = probe({"tap", "--request", "--listen-access"}, false, false);
  EXPECT_EQ(refused.printed, "denied\n");
  EXPECT_EQ(refused.requests, 1);
  EXPECT_EQ(refused.status, 0);
}

}  // namespace
}  // namespace lorvane

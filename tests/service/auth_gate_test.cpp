#include "service/auth_gate.h"

#include <gtest/gtest.h>

#include "service/password.h"
#include "http_client.h"
#include "service_fixture.h"

namespace lumora::service {
namespace {

TEST(AuthGate, LoopbackIsThisMachineOnly) {
  struct TCase {
    const char* Address;
    bool Loopback;
  };
  const TCase cases[] = {{"127.0.0.1", true},  {"127.255.0.9", true}, {"::1", true},
                         {"::ffff:127.0.0.1", true}, {"128.0.0.1", false}, {"10.0.0.1", false},
                         {"::ffff:10.0.0.1", false}, {"fe80::1", false}, {"0.0.0.0", false},
                         {"", false},          {"localhost", false}, {"127.0.0.1 ", false}};
  for (const TCase& c : cases) EXPECT_EQ(IsLoopback(c.Address), c.Loopback) << "'" << c.Address << "'";
}

TEST(AuthGate, PasswordsAreStoredOnlyAsSaltedHashes) {
  const std::string& hash = testing::PasswordHash();
  EXPECT_TRUE(IsPasswordHash(hash));
  EXPECT_EQ(hash.find(testing::kPassword), std::string::npos);
  EXPECT_NE(HashPassword(testing::kPassword), hash) << "salted: the same password hashes differently";
  EXPECT_TRUE(PasswordMatches(hash, testing::kPassword));
  EXPECT_FALSE(PasswordMatches(hash, "lamp-post-"));
  EXPECT_FALSE(PasswordMatches("$argon2id$broken", testing::kPassword));
  const std::string made = NewPassword();
  EXPECT_EQ(made.size(), 16u);
  EXPECT_NE(made, NewPassword());
}

TEST(AuthGate, CredentialsAreReadInEveryForm) {
  TAuthGate gate(testing::PasswordHash());
  struct TCase {
    std::string Authorization;
    TVerdict Verdict;
  };
  const TCase cases[] = {
      {"", TVerdict::NeedsPassword},
      {testing::BasicAuth(testing::kPassword).second, TVerdict::Allowed},
      {"basic " + testing::BasicAuth(testing::kPassword).second.substr(6), TVerdict::Allowed},
      {"Bearer lamp-post-7", TVerdict::Allowed},
      {testing::BasicAuth("other").second, TVerdict::WrongPassword},
      {"Basic !!!not-base64", TVerdict::NeedsPassword},
      {"Basic bm9jb2xvbg==", TVerdict::NeedsPassword},
      {"Digest username=x", TVerdict::NeedsPassword},
      {"Bearer " + std::string(5000, 'x'), TVerdict::NeedsPassword},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(gate.Check("10.0.0.2", true, c.Authorization).Verdict, c.Verdict) << c.Authorization.substr(0, 40);
  }
  EXPECT_EQ(gate.Check("10.0.0.2", false, "").Verdict, TVerdict::Allowed) << "nothing needed";
}

TEST(AuthGate, LockoutsGrowAndAreKeptPerAddress) {
  testing::TFakeClock time;
  TLoginLimiter limiter(time.Clock());
  const int expected[] = {0, 0, 0, 0, 30, 60, 120, 240, 480, 900, 900};
  for (const int seconds : expected) {
    limiter.Failed("10.0.0.3");
    const auto lockout = limiter.Lockout("10.0.0.3");
    EXPECT_EQ(lockout ? lockout->count() : 0, seconds);
  }
  EXPECT_FALSE(limiter.Lockout("10.0.0.4")) << "other addresses are not held up";
  limiter.Succeeded("10.0.0.3");
  EXPECT_FALSE(limiter.Lockout("10.0.0.3"));
  for (std::size_t i = 0; i < TLoginLimiter::kAddressesKept + 10; ++i) limiter.Failed("addr-" + std::to_string(i));
  EXPECT_FALSE(limiter.Lockout("addr-0")) << "the table keeps a bounded number of addresses";
}

}  // namespace
}  // namespace lumora::service

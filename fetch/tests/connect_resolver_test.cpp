// connect_tcp with names that resolve to several addresses. The names come
// from a hosts file of the test's own, served to the probe program by
// nss_wrapper in place of the system's resolver.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "platform/bytes.hpp"
#include "platform/process.hpp"
#include "testkit/loopback.hpp"
#include "testkit/temp_dir.hpp"

namespace {

struct ProbeResult {
  std::string outcome;  // "ok <peer>" or "error <text>"
  long milliseconds = 0;
};

std::string nss_wrapper_library() {
  for (const char* dir : {"/usr/lib/x86_64-linux-gnu", "/usr/lib/aarch64-linux-gnu", "/usr/lib64", "/usr/lib"}) {
    const auto path = std::filesystem::path(dir) / "libnss_wrapper.so";
    if (std::filesystem::exists(path)) return path.string();
  }
  return {};
}

class ConnectResolver : public testing::Test {
 protected:
  void SetUp() override {
    library_ = nss_wrapper_library();
    ASSERT_FALSE(library_.empty())
        << "libnss_wrapper.so is not installed; install it with: apt-get install -y --no-install-recommends "
           "libnss-wrapper";
  }

  // Runs connect_tcp(host, port) in the probe under the given hosts file,
  // with the given pause before the next address when there is one.
  ProbeResult probe(const std::string& hosts, const std::string& host, std::uint16_t port,
                    std::optional<long> stagger_ms = std::nullopt) {
    const auto hosts_file = dir_ / "hosts";
    std::ofstream(hosts_file) << hosts;
    std::vector<std::string> args = {"LD_PRELOAD=" + library_, "NSS_WRAPPER_HOSTS=" + hosts_file.string(),
                                     // nss_wrapper's deep binding does not go with the sanitizers' runtime.
                                     "NSS_WRAPPER_DISABLE_DEEPBIND=1", MORVANE_CONNECT_PROBE, host,
                                     std::to_string(port)};
    if (stagger_ms) args.push_back(std::to_string(*stagger_ms));
    auto run = platform::run_hidden("env", args);
    if (!run) throw std::runtime_error("the probe did not run: " + run.error().text());
    const std::string out = platform::to_string(run->stdout_bytes);
    const auto line_end = out.find('\n');
    if (line_end == std::string::npos) {
      throw std::runtime_error("the probe printed nothing: " + platform::to_string(run->stderr_bytes));
    }
    return {out.substr(0, line_end), std::stol(out.substr(line_end + 1))};
  }

  testkit::TempDir dir_;
  std::string library_;
};

TEST_F(ConnectResolver, AddressesAreTriedInTheResolversOrder) {
  testkit::LoopbackListener third(testkit::loopback4(0, "127.0.0.3"));
  testkit::LoopbackListener fourth(testkit::loopback4(third.port(), "127.0.0.4"));
  const auto result = probe("127.0.0.3 two.test\n127.0.0.4 two.test\n", "two.test", third.port());
  EXPECT_EQ(result.outcome, fmt::format("ok 127.0.0.3:{}", third.port()));

  testkit::LoopbackListener v6(testkit::loopback6(third.port()));
  const auto v6_first = probe("::1 mixed.test\n127.0.0.3 mixed.test\n", "mixed.test", third.port());
  EXPECT_EQ(v6_first.outcome, fmt::format("ok [::1]:{}", third.port()));
}

TEST_F(ConnectResolver, ARefusedFirstAddressHandsOverAtOnce) {
  testkit::LoopbackListener second(testkit::loopback4(0, "127.0.0.2"));
  // Nothing listens on 127.0.0.1 at that port. A pause before the second
  // address of a minute would outlast the call's deadline of ten seconds.
  const auto result = probe("127.0.0.1 multi.test\n127.0.0.2 multi.test\n", "multi.test", second.port(), 60'000);
  EXPECT_EQ(result.outcome, fmt::format("ok 127.0.0.2:{}", second.port()));
  EXPECT_LT(result.milliseconds, 10'000);
}

TEST_F(ConnectResolver, ASilentFirstAddressHandsOverAfterTheStagger) {
  testkit::UnansweringPort silent("127.0.0.5");
  testkit::LoopbackListener answering(testkit::loopback4(silent.port(), "127.0.0.6"));
  const auto result = probe("127.0.0.5 slow.test\n127.0.0.6 slow.test\n", "slow.test", silent.port());
  EXPECT_EQ(result.outcome, fmt::format("ok 127.0.0.6:{}", silent.port()));
  EXPECT_GE(result.milliseconds, 290);
  EXPECT_LT(result.milliseconds, 5000);  // long before the silent one's own time-out
}

TEST_F(ConnectResolver, ANameTheResolverDoesNotKnowIsItsError) {
  const auto result = probe("127.0.0.1 known.test\n", "unknown.test", 443);
  EXPECT_EQ(result.outcome, "error Name or service not known");
}

}  // namespace

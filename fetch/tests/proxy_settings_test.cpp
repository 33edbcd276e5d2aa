#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fetch/http/proxy_settings.hpp"
#include "fetch/http/proxy_sources.hpp"
#include "platform/process.hpp"

namespace {

using fetch::ProxyCredentials;
using fetch::ProxyEndpoint;
using fetch::ProxyKind;
using fetch::ProxySettings;
using Env = std::map<std::string, std::string>;

const std::string kKey = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// What `reg query "<key>" /v <name>` prints: an empty line, the key, the
// value's line (four blanks between the parts), an empty line; CR LF ends.
std::string reg_answer(const std::string& name, const std::string& type, const std::string& data) {
  return "\r\nHKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\r\n    " + name +
         "    " + type + "    " + data + "\r\n\r\n";
}
// A value that does not exist: an empty line on standard output, the
// complaint on standard error, exit status 1.
const std::string kNoSuchValue = "\r\n";

std::string enabled(const std::string& dword) { return reg_answer("ProxyEnable", "REG_DWORD", dword); }
std::string server(const std::string& text) { return reg_answer("ProxyServer", "REG_SZ", text); }

// A stand-in for `reg`: answers by value name and records what it was asked.
struct FakeReg {
  explicit FakeReg(std::optional<std::string> enable = {}, std::optional<std::string> server = {}, bool starts = true)
      : proxy_enable(std::move(enable)), proxy_server(std::move(server)), starts(starts) {}

  std::optional<std::string> proxy_enable;  // absent: the value does not exist
  std::optional<std::string> proxy_server;
  bool starts;
  std::vector<std::vector<std::string>> calls;

  platform::HiddenRunner runner() {
    return [this](const std::string& program,
                  const std::vector<std::string>& args) -> tl::expected<platform::ProcessOutput, platform::IoError> {
      std::vector<std::string> call{program};
      call.insert(call.end(), args.begin(), args.end());
      calls.push_back(call);
      if (!starts) return platform::run_hidden("morvane-no-such-program", args);
      const auto& answer = args.back() == "ProxyEnable" ? proxy_enable : proxy_server;
      platform::ProcessOutput output;
      output.exit_code = answer ? 0 : 1;
      output.stdout_bytes = platform::to_bytes(answer ? *answer : kNoSuchValue);
      if (!answer) output.stderr_bytes = platform::to_bytes("reg: Unable to find the specified registry value\r\n");
      return output;
    };
  }
};

fetch::EnvFn env_of(const Env& env) {
  return [env](std::string_view name) -> std::optional<std::string> {
    auto found = env.find(std::string(name));
    if (found == env.end()) return std::nullopt;
    return found->second;
  };
}

ProxyEndpoint http(std::string host, std::uint16_t port) { return {ProxyKind::Http, std::move(host), {}, port}; }
ProxyEndpoint socks(std::string host, std::uint16_t port, std::optional<ProxyCredentials> credentials = {}) {
  return {ProxyKind::Socks5, std::move(host), std::move(credentials), port};
}

TEST(ProxySettingsDiscovery, TheNoProxyVariables) {
  struct Case {
    Env env;
    std::vector<std::string> no_proxy;
    bool bypass_all;
  };
  const Case cases[] = {
      {{}, {}, false},
      {{{"NO_PROXY", "  *  "}}, {}, true},
      {{{"NO_PROXY", "*,example.com"}}, {"*", "example.com"}, false},
      {{{"NO_PROXY", "Example.COM, .corp.local,,"}}, {"example.com", ".corp.local"}, false},
      {{{"NO_PROXY", "\u00C9COLE.example"}}, {"\u00C9cole.example"}, false},  // ASCII letters only are lowered
      {{{"NO_PROXY", "   "}, {"no_proxy", "Lower.Example"}}, {"lower.example"}, false},
      {{{"NO_PROXY", "upper.example"}, {"no_proxy", "lower.example"}}, {"upper.example"}, false},
      {{{"NO_PROXY", "\xff.example"}, {"no_proxy", "*"}}, {}, true},  // not valid UTF-8: as if unset
      {{{"no_proxy", ",,"}}, {}, false},
  };
  for (const auto& c : cases) {
    FakeReg reg;
    const ProxySettings settings = fetch::compute_proxy_settings_with(env_of(c.env), reg.runner());
    EXPECT_EQ(settings.no_proxy, c.no_proxy);
    EXPECT_EQ(settings.bypass_all, c.bypass_all);
    EXPECT_FALSE(settings.endpoint);
  }
}

TEST(ProxySettingsDiscovery, TheFirstProxyVariableThatIsSetDecides) {
  struct Case {
    std::string name;
    Env env;
    std::optional<ProxyEndpoint> endpoint;
  };
  const Case cases[] = {
      {"HTTPS_PROXY first",
       {{"HTTPS_PROXY", "http://a:1"}, {"https_proxy", "http://b:2"}, {"ALL_PROXY", "c:3"}},
       http("a", 1)},
      {"then https_proxy", {{"https_proxy", "http://b:2"}, {"ALL_PROXY", "c:3"}}, http("b", 2)},
      {"then ALL_PROXY", {{"HTTPS_PROXY", " "}, {"ALL_PROXY", "c:3"}, {"all_proxy", "d:4"}}, http("c", 3)},
      {"then all_proxy", {{"all_proxy", "socks://d"}}, socks("d", 1080)},
      {"a socks5h address with credentials",
       {{"HTTPS_PROXY", ""}, {"ALL_PROXY", "socks5h://alice:pa:ss@[::1]:1080"}},
       socks("::1", 1080, ProxyCredentials{"alice", "pa:ss"})},
      {"trimmed", {{"HTTPS_PROXY", "\t proxy.corp \n"}}, http("proxy.corp", 8080)},
      {"invalid UTF-8 counts as unset", {{"HTTPS_PROXY", "http://\xff:1"}, {"https_proxy", "b:2"}}, http("b", 2)},
      {"a refused value ends the search",
       {{"HTTPS_PROXY", "https://proxy:3128"}, {"https_proxy", "http://b:2"}, {"ALL_PROXY", "c:3"}},
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The registry holds a usable proxy that must not be consulted while a
    // variable is set.
    FakeReg reg(enabled("0x1"), server("registry:9"));
    const ProxySettings settings = fetch::compute_proxy_settings_with(env_of(c.env), reg.runner());
    EXPECT_EQ(settings.endpoint, c.endpoint);
    EXPECT_TRUE(reg.calls.empty());
  }
}

TEST(ProxySettingsDiscovery, NoOtherVariableIsRead) {
  FakeReg reg(enabled("0x1"), server("registry:9"));
  const Env env = {{"HTTP_PROXY", "http://a:1"}, {"http_proxy", "http://a:1"}, {"SOCKS_PROXY", "socks://s"}};
  EXPECT_EQ(fetch::compute_proxy_settings_with(env_of(env), reg.runner()).endpoint, http("registry", 9));
}

TEST(ProxySettingsDiscovery, ANoProxyStarStillKeepsTheEndpoint) {
  FakeReg reg;
  const auto settings =
      fetch::compute_proxy_settings_with(env_of({{"NO_PROXY", "*"}, {"HTTPS_PROXY", "p:1"}}), reg.runner());
  EXPECT_TRUE(settings.bypass_all);
  EXPECT_EQ(settings.endpoint, http("p", 1));
}

TEST(ProxySettingsDiscovery, TheRegistryWhenNoVariableIsSet) {
  struct Case {
    std::string name;
    FakeReg reg;
    std::optional<ProxyEndpoint> endpoint;
  };
  const Case cases[] = {
      {"https entry first", FakeReg(enabled("0x1"), server("http=a:1;https=b:2")), http("b", 2)},
      {"keys ignore case", FakeReg(enabled("0x1"), server("HTTP=a:1")), http("a", 1)},
      {"blanks around entries", FakeReg(enabled("0x1"), server("ftp=f:21; Https = b:2 ;")), http("b", 2)},
      {"socks entry", FakeReg(enabled("0x1"), server("socks=s:1080")), socks("s", 1080)},
      {"socks entry without a port", FakeReg(enabled("0x1"), server("socks=s")), socks("s", 1080)},
      {"http before socks", FakeReg(enabled("0x1"), server("socks=s:1;http=h:2")), http("h", 2)},
      {"one address for all", FakeReg(enabled("0x1"), server("a:3128")), http("a", 3128)},
      {"no known key: parsed whole", FakeReg(enabled("0x1"), server("ftp=f:21")), http("ftp=f", 21)},
      {"an empty https entry does not fall back", FakeReg(enabled("0x1"), server("https=;http=a:1")), std::nullopt},
      {"data holding REG_SZ ends there", FakeReg(enabled("0x1"), server("a:1 REG_SZ b:2")), http("a", 1)},
      {"only the first REG_SZ line counts", FakeReg(enabled("0x1"), server("a:1") + "    Other    REG_SZ    b:2\r\n"),
       http("a", 1)},
      {"bare line feeds", FakeReg(enabled("0x1"), std::string("\nkey\n    ProxyServer    REG_SZ    a:7\n")),
       http("a", 7)},
      {"any other last word enables", FakeReg(enabled("1"), server("a:1")), http("a", 1)},
      {"disabled 0x0", FakeReg(enabled("0x0"), server("a:1")), std::nullopt},
      {"disabled 0", FakeReg(enabled("0"), server("a:1")), std::nullopt},
      {"ProxyEnable missing", FakeReg(std::nullopt, server("a:1")), std::nullopt},
      {"ProxyServer missing", FakeReg(enabled("0x1"), std::nullopt), std::nullopt},
      {"ProxyServer empty", FakeReg(enabled("0x1"), server("")), std::nullopt},
      {"ProxyServer blank", FakeReg(enabled("0x1"), server("   ")), std::nullopt},
      {"ProxyServer refused", FakeReg(enabled("0x1"), server("https://a:1")), std::nullopt},
      {"reg cannot start", FakeReg(enabled("0x1"), server("a:1"), false), std::nullopt},
  };
  for (auto c : cases) {
    SCOPED_TRACE(c.name);
    const ProxySettings settings = fetch::compute_proxy_settings_with(env_of({}), c.reg.runner());
    EXPECT_EQ(settings.endpoint, c.endpoint);
    EXPECT_TRUE(settings.no_proxy.empty());
  }
}

TEST(ProxySettingsDiscovery, AsksRegForOneValueAtATimeAndStopsWhenDisabled) {
  const std::vector<std::string> enable_query = {"reg", "query", kKey, "/v", "ProxyEnable"};
  const std::vector<std::string> server_query = {"reg", "query", kKey, "/v", "ProxyServer"};

  FakeReg on(enabled("0x1"), server("a:1"));
  fetch::compute_proxy_settings_with(env_of({}), on.runner());
  EXPECT_THAT(on.calls, testing::ElementsAre(enable_query, server_query));

  FakeReg off(enabled("0x0"), server("a:1"));
  fetch::compute_proxy_settings_with(env_of({}), off.runner());
  EXPECT_THAT(off.calls, testing::ElementsAre(enable_query));
}

TEST(RegQuery, TheOutputIsReadAsUtf8WithReplacementsAndIgnoresTheExitStatus) {
  const platform::HiddenRunner run =
      [](const std::string&,
         const std::vector<std::string>&) -> tl::expected<platform::ProcessOutput, platform::IoError> {
    platform::ProcessOutput output;
    output.exit_code = 1;
    output.stdout_bytes = platform::to_bytes(
        "a\xff"
        "b");
    output.stderr_bytes = platform::to_bytes("ignored");
    return output;
  };
  EXPECT_EQ(fetch::reg_query_internet_settings_with(run, "ProxyServer"),
            "a\uFFFD"
            "b");

  const platform::HiddenRunner missing = [](const std::string&, const std::vector<std::string>& args) {
    return platform::run_hidden("morvane-no-such-program", args);
  };
  EXPECT_EQ(fetch::reg_query_internet_settings_with(missing, "ProxyServer"), std::nullopt);
}

TEST(LookupProxyEntry, FindsTheFirstMatchingKey) {
  struct Case {
    std::string text;
    std::string key;
    std::optional<std::string> value;
  };
  const Case cases[] = {
      {"http=a:1;https=b:2", "https", "b:2"},
      {"http=a:1;HTTP=b:2", "http", "a:1"},
      {" Http = a:1 ", "http", "a:1"},
      {"https=", "https", ""},
      {"https=a=b", "https", "a=b"},
      {"novalue;https=x", "https", "x"},
      {"httpsx=a", "https", std::nullopt},
      {"a:3128", "http", std::nullopt},
      {"", "http", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(fetch::lookup_proxy_entry(c.text, c.key), c.value);
  }
}

TEST(ProxySettingsCache, EveryCallerOfTheProcessGetsTheSameSettings) {
  std::vector<ProxySettings> seen(8);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = fetch::proxy_settings(); });
  for (auto& thread : threads) thread.join();
  for (const auto& settings : seen) EXPECT_EQ(settings, seen.front());
  EXPECT_EQ(fetch::proxy_settings(), seen.front());
}

}  // namespace

#include "testkit/release/release_host.hpp"

namespace testkit {

ReleaseHost::ReleaseHost() : NginxServer() {}

ReleaseHost::ReleaseHost(const platform::Path& root) : NginxServer({.root = root}) {}

ReleaseHost::ReleaseHost(const platform::Path& root, std::uint16_t port)
    : NginxServer({.root = root, .port = port}) {}

fetch::ServerUrl ReleaseHost::url() const { return fetch::ServerUrl{"localhost", "", port(), true}; }

}  // namespace testkit

// Which hosts the proxy is not used for.
#pragma once

#include <string>

#include "fetch/http/proxy_endpoint.hpp"

namespace fetch {

// True when the host is reached without the proxy: loopback, link-local and
// private addresses, single-label and .local names, and the proxy settings'
// exceptions. Compares text and address ranges only; nothing is resolved.
bool goes_direct(const std::string& host, const ProxySettings& settings);

}  // namespace fetch

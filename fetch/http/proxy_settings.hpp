// The process-wide proxy settings (proxy_endpoint.hpp): from the
// environment, else the user's Internet Settings. What they are read from is
// proxy_sources.hpp; a proxy address is read by proxy_url.hpp.
#pragma once

#include "fetch/http/proxy_endpoint.hpp"
#include "fetch/http/proxy_sources.hpp"
#include "platform/process.hpp"

namespace fetch {

// A copy of the settings, worked out on the first call of the process.
ProxySettings proxy_settings();

// The discovery itself: the environment, else the user's Internet Settings.
// It cannot fail; every problem ends in no endpoint.
ProxySettings compute_proxy_settings();

// compute_proxy_settings reading from the given sources (proxy_sources.hpp).
ProxySettings compute_proxy_settings_with(const EnvFn& env, const platform::HiddenRunner& run);

}  // namespace fetch

#include "fetch/http/trust_anchors/trust_anchors.hpp"

#ifndef MORVANE_TRUST_ANCHOR_SET
#error "MORVANE_TRUST_ANCHOR_SET names the function of the chosen anchor set"
#endif

namespace fetch {

std::span<const TrustAnchor> trust_anchors() { return MORVANE_TRUST_ANCHOR_SET(); }

}  // namespace fetch

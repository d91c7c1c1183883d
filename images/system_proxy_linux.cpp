#include "images/system_proxy.h"

namespace korvane {

std::optional<SystemProxyText> ReadSystemProxy() { return std::nullopt; }

}  // namespace korvane

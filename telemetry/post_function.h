// How the event channels post: a JSON body, the reply, the URL and extra header lines (after the
// fixed Content-Type line). The default is the libcurl transfer; tests may pass their own.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace telemetry {

using PostFunction = std::function<bool(const std::string& body, std::string& reply, const std::string& url,
                                        const std::vector<std::string>& headers)>;

PostFunction defaultPostFunction();

}  // namespace telemetry

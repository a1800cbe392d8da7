#include "net/qv_curl_downloader.h"
#include "telemetry/post_function.h"

namespace telemetry {

PostFunction defaultPostFunction() {
  return [](const std::string& body, std::string& reply, const std::string& url, const std::vector<std::string>& headers) {
    return QvCurlDownloader::postRequest(body, reply, url, headers);
  };
}

}  // namespace telemetry

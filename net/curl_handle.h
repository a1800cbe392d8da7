// Small owners of libcurl handles.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace net {

struct CurlEasyCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyCleanup>;

inline CurlEasy makeCurlEasy() { return CurlEasy(curl_easy_init()); }

// A header list built line by line and freed with its owner.
class CurlHeaderList {
 public:
  CurlHeaderList() = default;
  ~CurlHeaderList() { curl_slist_free_all(list_); }
  CurlHeaderList(const CurlHeaderList&) = delete;
  CurlHeaderList& operator=(const CurlHeaderList&) = delete;

  bool append(const char* line) {
    curl_slist* grown = curl_slist_append(list_, line);
    if (grown == nullptr) return false;
    list_ = grown;
    return true;
  }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

}  // namespace net

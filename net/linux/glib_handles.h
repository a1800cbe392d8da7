// Small owners of the GLib objects the platform HTTP client holds: object references, an error
// slot, and a thread-default main context for a scope.
#pragma once

#include <gio/gio.h>

#include <memory>
#include <string>

#include "utility/base/strings.h"

namespace net::soup {

template <class T>
struct Unref {
  void operator()(T* object) const { g_object_unref(object); }
};
template <class T>
using GRef = std::unique_ptr<T, Unref<T>>;

class ErrorHolder {
 public:
  ErrorHolder() = default;
  ~ErrorHolder() { g_clear_error(&error_); }
  ErrorHolder(const ErrorHolder&) = delete;
  ErrorHolder& operator=(const ErrorHolder&) = delete;
  GError** out() {
    g_clear_error(&error_);
    return &error_;
  }
  const GError* get() const { return error_; }
  std::wstring message() const {
    return error_ != nullptr ? utility::utf8ToWide(error_->message) : std::wstring();
  }

 private:
  GError* error_ = nullptr;
};

// Makes |context| the thread-default context for the scope, so that the session's sources
// never land on the main thread's loop.
class ContextScope {
 public:
  explicit ContextScope(GMainContext* context) : context_(context) { g_main_context_push_thread_default(context_); }
  ~ContextScope() { g_main_context_pop_thread_default(context_); }
  ContextScope(const ContextScope&) = delete;
  ContextScope& operator=(const ContextScope&) = delete;

 private:
  GMainContext* context_;
};

}  // namespace net::soup

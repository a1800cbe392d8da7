// Small owners of WinINet handles.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <type_traits>

namespace net::wininet {

struct InternetHandleClose {
  void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<std::remove_pointer_t<HINTERNET>, InternetHandleClose>;

// A Win32 event (or any HANDLE closed with CloseHandle).
struct KernelHandleClose {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using KernelHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, KernelHandleClose>;

}  // namespace net::wininet

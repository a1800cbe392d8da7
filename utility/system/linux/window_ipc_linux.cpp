// The receiver is a Unix datagram socket named by the class name in the per-user runtime
// folder; a message is (number, wParam, lParam). A socket left by a crashed run is detected
// (nobody receives on it) and replaced.
#include <glib-unix.h>
#include <glib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "utility/system/log.h"
#include "utility/base/strings.h"
#include "utility/system/linux/usystem_linux.h"
#include "utility/system/usystem.h"
#include "utility/system/window_ipc.h"

namespace utility {

namespace {

struct Wire {
  uint32_t message;
  uint32_t reserved;
  uint64_t wParam;
  int64_t lParam;
};

// A socket path is limited to 107 bytes; a runtime folder too deep for it falls back to the
// private folder in /tmp (every instance decides the same way, so they still meet).
bool socketAddress(const std::wstring& className, sockaddr_un& address) {
  if (className.empty() || className.find(L'/') != std::wstring::npos) return false;
  std::string name = "/";
  name += wideToUtf8(className);
  name += ".sock";
  std::string dir = usystem::runtimeDir();
  if (dir.size() + name.size() >= sizeof(address.sun_path)) dir = usystem::privateTempDir();
  const std::string path = dir + name;
  if (dir.empty() || path.size() >= sizeof(address.sun_path)) return false;
  std::memset(&address, 0, sizeof(address));
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Whether a live receiver is bound at |address|.
bool someoneListens(const sockaddr_un& address) {
  const int probe = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  const bool live = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  ::close(probe);
  return live;
}

}  // namespace

struct WindowIPC::Impl {
  int fd = -1;
  bool owner = false;  // created (bound) by us
  sockaddr_un address{};
  IWindowIPCHandle* handler = nullptr;
  guint watch = 0;

  static gboolean onReadable(gint, GIOCondition, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    while (true) {
      Wire wire{};
      const ssize_t n = recv(self->fd, &wire, sizeof(wire), MSG_DONTWAIT);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) break;
      if (n != static_cast<ssize_t>(sizeof(wire))) continue;  // not one of ours
      const bool forHandler = wire.message > kWmUser || wire.message == kWmCopyData;
      if (forHandler && self->handler != nullptr) {
        self->handler->onHandleWindowIPC(wire.message, static_cast<uintptr_t>(wire.wParam),
                                         static_cast<intptr_t>(wire.lParam));
      }
    }
    return G_SOURCE_CONTINUE;
  }
};

WindowIPC::WindowIPC() : impl_(std::make_unique<Impl>()) {}

WindowIPC::~WindowIPC() { close(); }

void WindowIPC::close() {
  if (impl_->watch != 0) g_source_remove(impl_->watch);
  impl_->watch = 0;
  if (impl_->fd >= 0) ::close(impl_->fd);
  if (impl_->owner) ::unlink(impl_->address.sun_path);
  impl_->fd = -1;
  impl_->owner = false;
  impl_->handler = nullptr;
}

bool WindowIPC::create(const std::wstring& className, IWindowIPCHandle* handler) {
  close();
  sockaddr_un address{};
  if (!socketAddress(className, address)) return false;
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  auto bindIt = [&] { return bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0; };
  bool bound = bindIt();
  if (!bound && errno == EADDRINUSE && !someoneListens(address)) {
    ::unlink(address.sun_path);  // left by a run that ended without cleaning up
    bound = bindIt();
  }
  if (!bound) {
    ::close(fd);
    return false;
  }
  impl_->fd = fd;
  impl_->owner = true;
  impl_->address = address;
  impl_->handler = handler;
  impl_->watch = g_unix_fd_add(fd, G_IO_IN, &Impl::onReadable, impl_.get());
  return true;
}

bool WindowIPC::open(const std::wstring& className, const std::wstring& windowName) {
  close();
  sockaddr_un address{};
  // The receiver has an empty title: only "any" matches it.
  if (!windowName.empty() || !socketAddress(className, address)) return false;
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    const int error = errno;
    ::close(fd);
    if (error != ENOENT && error != ECONNREFUSED) {
      common::logPrint("utility::WindowIPC::open", __LINE__, L"className:%s, windowName:%s, error:%d",
                       className.c_str(), windowName.c_str(), error);
    }
    return false;
  }
  impl_->fd = fd;
  impl_->address = address;
  return true;
}

bool WindowIPC::postMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  if (impl_->fd < 0) return false;
  const Wire wire{message, 0, static_cast<uint64_t>(wParam), static_cast<int64_t>(lParam)};
  ssize_t n;
  if (impl_->owner) {
    n = sendto(impl_->fd, &wire, sizeof(wire), MSG_DONTWAIT | MSG_NOSIGNAL,
               reinterpret_cast<const sockaddr*>(&impl_->address), sizeof(impl_->address));
  } else {
    n = send(impl_->fd, &wire, sizeof(wire), MSG_DONTWAIT | MSG_NOSIGNAL);
  }
  return n == static_cast<ssize_t>(sizeof(wire));
}

}  // namespace utility

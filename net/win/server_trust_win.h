// Trust in the server of a WinINet request when the deployment names its own certificate
// authority: the root is pinned for the handshake, never added to the user's certificate stores.
// WinINet is let through the handshake despite the unknown root (and the revocation check a
// private CA cannot answer), then the chain the server presented is checked here before any byte
// of the body is used: it must end at a pinned root, be valid for server authentication now, and
// name the host. A deployment without its own CA leaves every check to WinINet and the system
// store.
#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>

#include <memory>
#include <string>

namespace net::wininet {

class PinnedRoots {
 public:
  // The certificates of the PEM file |pemFile| (UTF-8 path). Null, with |problem| set, when the
  // file cannot be read or holds no certificate.
  static std::unique_ptr<PinnedRoots> load(const std::string& pemFile, std::wstring& problem);
  ~PinnedRoots();
  PinnedRoots(const PinnedRoots&) = delete;
  PinnedRoots& operator=(const PinnedRoots&) = delete;

  // The security flags a request of a pinned deployment is opened with: the unknown root and
  // the revocation check are left to verifyServer; host name and dates stay WinINet's too.
  static constexpr DWORD kHandshakeFlags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_REVOCATION;

  // Checks the certificate chain of the server of |request| (whose response headers have
  // arrived) for |host|. 0 when it is trusted, else the Windows Internet error code that says why
  // not (unknown root, wrong name, dates, another fault).
  int verifyServer(HINTERNET request, const std::wstring& host) const;

 private:
  explicit PinnedRoots(HCERTSTORE store) : store_(store) {}
  bool isPinned(PCCERT_CONTEXT root) const;

  HCERTSTORE store_;
};

}  // namespace net::wininet

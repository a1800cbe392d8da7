#include "net/win/server_trust_win.h"

#include <algorithm>
#include <vector>

#include "net/wininet_errors.h"
#include "utility/base/strings.h"

namespace net::wininet {

namespace {

struct ChainFree {
  void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
using Chain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree>;

struct StoreClose {
  void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
using Store = std::unique_ptr<void, StoreClose>;

HCERTSTORE newMemoryStore() {
  return CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr);
}

// The whole of a file of at most 1 MiB (a bundle of roots is a few KiB).
bool readSmallFile(const std::wstring& path, std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= (1 << 20);
  if (ok) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    ok = bytes.empty() || (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
                           read == bytes.size());
  }
  CloseHandle(file);
  return ok;
}

// Every "-----BEGIN CERTIFICATE-----" block of |pem|, decoded.
std::vector<std::vector<BYTE>> certificatesOf(const std::string& pem) {
  static const std::string kBegin = "-----BEGIN CERTIFICATE-----";
  static const std::string kEnd = "-----END CERTIFICATE-----";
  std::vector<std::vector<BYTE>> found;
  size_t at = 0;
  while ((at = pem.find(kBegin, at)) != std::string::npos) {
    const size_t end = pem.find(kEnd, at);
    if (end == std::string::npos) break;
    const std::string block = pem.substr(at, end + kEnd.size() - at);
    at = end + kEnd.size();
    DWORD size = 0;
    if (!CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                              &size, nullptr, nullptr)) {
      continue;
    }
    std::vector<BYTE> der(size);
    if (CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                             &size, nullptr, nullptr)) {
      der.resize(size);
      found.push_back(std::move(der));
    }
  }
  return found;
}

// The WinINet code for what a chain's policy check refused.
int codeForPolicyError(DWORD error) {
  switch (error) {
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH): return kInternetSecCertCnInvalid;
    case static_cast<DWORD>(CERT_E_EXPIRED):
    case static_cast<DWORD>(CERT_E_VALIDITYPERIODNESTING): return kInternetSecCertDateInvalid;
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_CHAINING): return kInternetInvalidCa;
    default: return kInternetSecInvalidCert;
  }
}

// Errors of a built chain that the pinned root does not excuse.
constexpr DWORD kExcused = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                           CERT_TRUST_IS_OFFLINE_REVOCATION;

}  // namespace

std::unique_ptr<PinnedRoots> PinnedRoots::load(const std::string& pemFile, std::wstring& problem) {
  std::string pem;
  if (!readSmallFile(utility::utf8ToWide(pemFile), pem)) {
    problem = L"cannot be read";
    return nullptr;
  }
  Store store(newMemoryStore());
  if (!store) {
    problem = L"no certificate store";
    return nullptr;
  }
  int added = 0;
  for (const std::vector<BYTE>& der : certificatesOf(pem)) {
    if (CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                         CERT_STORE_ADD_ALWAYS, nullptr)) {
      ++added;
    }
  }
  if (added == 0) {
    problem = L"holds no certificate";
    return nullptr;
  }
  return std::unique_ptr<PinnedRoots>(new PinnedRoots(store.release()));
}

PinnedRoots::~PinnedRoots() { CertCloseStore(store_, 0); }

bool PinnedRoots::isPinned(PCCERT_CONTEXT root) const {
  PCCERT_CONTEXT pinned = nullptr;
  while ((pinned = CertEnumCertificatesInStore(store_, pinned)) != nullptr) {
    if (pinned->cbCertEncoded == root->cbCertEncoded &&
        std::equal(pinned->pbCertEncoded, pinned->pbCertEncoded + pinned->cbCertEncoded, root->pbCertEncoded)) {
      CertFreeCertificateContext(pinned);
      return true;
    }
  }
  return false;
}

int PinnedRoots::verifyServer(HINTERNET request, const std::wstring& host) const {
  PCCERT_CHAIN_CONTEXT presented = nullptr;
  DWORD size = sizeof(presented);
  if (!InternetQueryOptionW(request, INTERNET_OPTION_SERVER_CERT_CHAIN_CONTEXT, &presented, &size) ||
      presented == nullptr) {
    return kInternetSecInvalidCert;
  }
  const Chain served(presented);
  if (served->cChain == 0 || served->rgpChain[0]->cElement == 0) return kInternetSecInvalidCert;

  // The server's certificates (the chain WinINet saw) and the pinned roots, to build from.
  Store candidates(newMemoryStore());
  if (!candidates) return kInternetSecInvalidCert;
  const CERT_SIMPLE_CHAIN* simple = served->rgpChain[0];
  for (DWORD i = 0; i < simple->cElement; ++i) {
    CertAddCertificateContextToStore(candidates.get(), simple->rgpElement[i]->pCertContext, CERT_STORE_ADD_USE_EXISTING,
                                     nullptr);
  }
  PCCERT_CONTEXT root = nullptr;
  while ((root = CertEnumCertificatesInStore(store_, root)) != nullptr) {
    CertAddCertificateContextToStore(candidates.get(), root, CERT_STORE_ADD_USE_EXISTING, nullptr);
  }

  LPSTR serverAuth[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof(para);
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = serverAuth;
  PCCERT_CHAIN_CONTEXT rebuilt = nullptr;
  // Built from what the server sent and the pinned roots alone: nothing is fetched on the way.
  if (!CertGetCertificateChain(nullptr, simple->rgpElement[0]->pCertContext, nullptr, candidates.get(), &para,
                               CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL, nullptr, &rebuilt) ||
      rebuilt == nullptr) {
    return kInternetSecInvalidCert;
  }
  const Chain chain(rebuilt);
  if (chain->cChain == 0 || chain->rgpChain[0]->cElement == 0) return kInternetSecInvalidCert;
  const CERT_SIMPLE_CHAIN* built = chain->rgpChain[0];
  // The chain must end at a pinned root, whatever the system's stores trust.
  if (!isPinned(built->rgpElement[built->cElement - 1]->pCertContext)) return kInternetInvalidCa;
  const DWORD errors = chain->TrustStatus.dwErrorStatus & ~kExcused;
  if ((errors & (CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_IS_NOT_TIME_NESTED)) != 0) return kInternetSecCertDateInvalid;
  if ((errors & CERT_TRUST_IS_PARTIAL_CHAIN) != 0) return kInternetInvalidCa;
  if (errors != 0) return kInternetSecInvalidCert;

  // The SSL policy: server authentication for |host|; the root is known to be pinned.
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof(ssl);
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.fdwChecks = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
  std::wstring name = host;
  if (name.size() > 2 && name.front() == L'[' && name.back() == L']') name = name.substr(1, name.size() - 2);
  ssl.pwszServerName = name.data();
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof(policy);
  policy.dwFlags = CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof(status);
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status)) {
    return kInternetSecInvalidCert;
  }
  return status.dwError == 0 ? 0 : codeForPolicyError(status.dwError);
}

}  // namespace net::wininet

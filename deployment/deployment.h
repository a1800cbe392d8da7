// Deployment values: hosts, web pages, analytics credentials, the report salt and the trusted
// certificate bundle. They are compiled in from one reviewed file of this folder, chosen by the
// build (TARNWICK_DEPLOYMENT). Nothing here is read from the environment in release builds.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace deployment {

// A value chosen by a two-letter language code, with the value for every other code.
struct LanguageTable {
  std::vector<std::pair<std::wstring, std::wstring>> byLanguage;  // tested in this order
  std::wstring otherwise;

  const std::wstring& lookup(const std::wstring& language) const;
};

struct AnalyticsCredentials {
  std::wstring measurementId;  // "G-" and 10 upper-case letters or digits
  std::wstring apiSecret;      // 22 characters of the URL-safe Base64 alphabet
};

struct Values {
  std::wstring chinaResourceHost;     // host[:port] of the China variant's resources
  std::wstring contentDeliveryHost;   // host[:port] of the international content delivery
  std::wstring collectionHost;        // host[:port] of the event collection service
  std::wstring analyticsHost;         // host[:port] of the Measurement Protocol endpoint
  std::wstring licenceHost;           // host[:port] of the product site serving the licence page

  LanguageTable homePages;            // 14 languages and the international page
  LanguageTable communityPages;       // 12 languages and the international page ("cn": home page)
  std::wstring fallbackDownloadUrl;   // direct link of the full installer on a file host

  // Measurement ids and secrets by language: "cn" and "tw" share one entry.
  std::vector<std::pair<std::vector<std::wstring>, AnalyticsCredentials>> analyticsByLanguage;
  AnalyticsCredentials analyticsDefault;

  std::string reportSalt;             // 9 ASCII characters shared with the collection service
  std::string caBundleFile;           // PEM file of trusted roots; empty: the system store
};

// The values of this build's deployment. In development builds the services base address and
// the CA bundle may be overridden from the environment (see utility/dev_overrides.h).
const Values& values();

// The values as compiled in, without any override.
const Values& compiledValues();

// Replaces the scheme-less authority of every host and every web page of |base| that points at
// the compiled stand-in authority with |authority| ("127.0.0.1:43210"). Used by the development
// override and by tests that run the stand-in services on an ephemeral port.
Values withServicesAuthority(const Values& base, const std::wstring& authority);

// Tests: replace the process-wide values (nullptr restores the compiled ones plus overrides).
void setValuesForTesting(const Values* values);

}  // namespace deployment

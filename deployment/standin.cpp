// The stand-in deployment: every host is the stand-in services program on loopback
// (standin/services, listening on 127.0.0.1:47443 with a certificate of the test CA; named
// "localhost" in the Windows build).
#include "deployment/deployment.h"

namespace deployment {

const Values& compiledValues() {
  static const Values kValues = [] {
    const std::wstring host = TARNWICK_STANDIN_HOST;
    const std::wstring site = L"https://" + host;
    Values v;
    v.chinaResourceHost = host;
    v.contentDeliveryHost = host;
    v.collectionHost = host;
    v.analyticsHost = host;
    v.licenceHost = host;

    for (const wchar_t* code : {L"cn", L"tw", L"kr", L"vn", L"th", L"ru", L"pt", L"id", L"es",
                                L"fr", L"jp", L"ar", L"fa", L"de"}) {
      v.homePages.byLanguage.emplace_back(code, site + L"/site/home/" + code + L"/");
    }
    v.homePages.otherwise = site + L"/site/home/en/";

    for (const wchar_t* code : {L"tw", L"kr", L"vn", L"th", L"pt", L"ru", L"fr", L"jp", L"ar",
                                L"fa", L"de", L"id"}) {
      v.communityPages.byLanguage.emplace_back(code, site + L"/site/community/" + code + L"/");
    }
    v.communityPages.otherwise = site + L"/site/community/en/";

    v.fallbackDownloadUrl = site + L"/filehost/uc?export=download&id=1TarnwickFullInstaller9";

    v.analyticsByLanguage = {
        {{L"cn", L"tw"}, {L"G-SX08RVBPMM", L"DFuHx2fJY3G0IE2t5omBWN"}},
        {{L"kr"}, {L"G-CDLA6GM8V6", L"yVkKYqv_JnyHXufsTS7qMz"}},
        {{L"vn"}, {L"G-R739UVDREQ", L"puECA6nz2iXXAkICRWdVH0"}},
        {{L"th"}, {L"G-357PD0HVG2", L"WZIhoConqvHRvAb3o6ahfo"}},
        {{L"ru"}, {L"G-55QXQM7XVC", L"XuDtpKz6l0UV3aiqaV1NoY"}},
        {{L"pt"}, {L"G-PZP3DGYQ42", L"7JluXeQVHuhmnDS-SG-KaR"}},
        {{L"jp"}, {L"G-Q7U6U6TOTM", L"YhnIQzGizXn-WbHj_Q4rSs"}},
        {{L"id"}, {L"G-1KNA2UFYYL", L"Z8T3e1d3lleIZoz6VCKKbA"}},
        {{L"fr"}, {L"G-JSN6R9MFNG", L"7hfxUeVl4KJYLHLKLzw9Yb"}},
        {{L"es"}, {L"G-TD8IVGBTC7", L"JFxqAc7NoQWbNJWLM1RlPH"}},
        {{L"de"}, {L"G-6NBILTW5WG", L"ZDVpNmffxqUxnRy8Sik1w-"}},
        {{L"ar"}, {L"G-IJEDVKX2A3", L"xBYPrNNSAyphe-_eGHRMCu"}},
        {{L"fa"}, {L"G-V86704UHT6", L"Pxq4Yxk5S6b9yXzTGN5hdY"}},
    };
    v.analyticsDefault = {L"G-7QOOV2JVSG", L"jTPVNo4M18csDn5rf5o15u"};

    v.reportSalt = "QXMTstK4M";
    // The test CA is made by the build (standin/certs) before anything that trusts it runs.
    v.caBundleFile = TARNWICK_STANDIN_CA_FILE;
    return v;
  }();
  return kValues;
}

}  // namespace deployment

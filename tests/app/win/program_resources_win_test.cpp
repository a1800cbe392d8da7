// The installer's Windows resources as the program carries them: the icon 107 drawn at several
// sizes, the application manifest, the version information.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

std::string resourceText(const wchar_t* type, int id) {
  HMODULE self = ::GetModuleHandleW(nullptr);
  HRSRC info = ::FindResourceW(self, MAKEINTRESOURCEW(id), type);
  if (info == nullptr) return {};
  const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(self, info)));
  return bytes != nullptr ? std::string(bytes, ::SizeofResource(self, info)) : std::string();
}

// The icon group's directory (GRPICONDIR with its entries).
#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width, height, colors, reserved;
  WORD planes, bitCount;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST(ProgramResourcesTest, IconHoldsEverySizeTheShellAndTheWindowPickFrom) {
  const std::string group = resourceText(RT_GROUP_ICON, 107);
  ASSERT_GE(group.size(), 6u) << "no icon group 107";
  const WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
  ASSERT_EQ(group.size(), 6u + count * sizeof(GroupIconEntry));
  std::set<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    GroupIconEntry entry;
    std::memcpy(&entry, group.data() + 6 + i * sizeof(GroupIconEntry), sizeof entry);
    sizes.insert(entry.width == 0 ? 256 : entry.width);
    EXPECT_EQ(entry.bitCount, 32) << "icon " << entry.id;
    EXPECT_FALSE(resourceText(RT_ICON, entry.id).empty()) << "icon image " << entry.id;
  }
  EXPECT_EQ(sizes, (std::set<int>{16, 20, 24, 32, 40, 48, 64, 256}));
  // The way the window sets it: the system picks the fitting image.
  for (const int size : {16, 32, 48}) {
    HICON icon = static_cast<HICON>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(107), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon, &info));
    BITMAP bitmap{};
    ::GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    if (info.hbmColor != nullptr) ::DeleteObject(info.hbmColor);
    if (info.hbmMask != nullptr) ::DeleteObject(info.hbmMask);
    ::DestroyIcon(icon);
  }
}

TEST(ProgramResourcesTest, ManifestAsksForAdministratorRightsAndPerMonitorDpi) {
  const std::string manifest = resourceText(RT_MANIFEST, 1);
  ASSERT_FALSE(manifest.empty()) << "no application manifest";
  struct Case {
    const char* text;
    bool present;
  } cases[] = {
      {"level=\"requireAdministrator\"", true},
      {"uiAccess=\"false\"", true},
      {">PerMonitorV2, PerMonitor<", true},
      {">true/pm<", true},
      {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", true},
      // No supported-OS list: the system then reports 6.2 from Windows 8 on, which the
      // emulator's start relies on.
      {"supportedOS", false},
      {"<compatibility", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(manifest.find(c.text) != std::string::npos, c.present) << c.text;
  }
}

// What the loader made of the manifest in this process.
TEST(ProgramResourcesTest, TheLoaderAppliesTheManifest) {
  // Per-monitor DPI awareness (v2, else v1): the system does not stretch the windows.
  using GetContext = HANDLE(WINAPI*)();
  using AwarenessOf = int(WINAPI*)(HANDLE);
  HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  auto getContext = reinterpret_cast<GetContext>(
      reinterpret_cast<void*>(::GetProcAddress(user32, "GetThreadDpiAwarenessContext")));
  auto awarenessOf = reinterpret_cast<AwarenessOf>(
      reinterpret_cast<void*>(::GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
  if (getContext != nullptr && awarenessOf != nullptr) {
    EXPECT_EQ(awarenessOf(getContext()), 2) << "not per-monitor aware";  // DPI_AWARENESS_PER_MONITOR_AWARE
  }
  EXPECT_TRUE(::IsProcessDPIAware());
  // The common controls 6 assembly is part of the process's activation context.
  ACTCTX_SECTION_KEYED_DATA data{};
  data.cbSize = sizeof data;
  EXPECT_TRUE(::FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll",
                                         &data))
      << "comctl32.dll is not redirected to the version 6 assembly";
}

TEST(ProgramResourcesTest, VersionInformationCarriesTheProjectVersion) {
  wchar_t path[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(::GetFileVersionInfoW(path, 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), TARNWICK_VERSION_MAJOR);
  EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), TARNWICK_VERSION_MINOR);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  struct Field {
    const wchar_t* name;
    std::wstring expected;
  } fields[] = {
      {L"FileVersion", TARNWICK_VERSION_TEXT},
      {L"ProductVersion", TARNWICK_VERSION_TEXT},
      {L"FileDescription", L"Tarnwick online installer"},
      {L"ProductName", L"Tarnwick"},
  };
  for (const Field& f : fields) {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + f.name;
    ASSERT_TRUE(::VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) << key.size();
    EXPECT_EQ(std::wstring(value), f.expected);
  }
}

}  // namespace

// The registry as other Windows programs meet it: what the installer writes is a terminated
// REG_SZ, and what other programs wrote is read whatever its terminator, expanded when stored
// for expansion, and refused when it is no string.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/environment.h"
#include "tests/support/temp_registry.h"
#include "utility/base/strings.h"
#include "utility/system/registry.h"

using utility::registry::Key;

namespace {

constexpr const wchar_t* kKey = L"Software\\Dornvale\\corvide-tw";

class RegistryWin : public ::testing::Test {
 protected:
  static void plant(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
    ::RegCloseKey(key);
  }
  static void plantText(const wchar_t* name, DWORD type, const std::wstring& units) {
    plant(name, type, units.data(), static_cast<DWORD>(units.size() * sizeof(wchar_t)));
  }
  // The type and bytes as the registry holds them.
  static std::pair<DWORD, std::vector<BYTE>> raw(const wchar_t* name) {
    DWORD type = REG_NONE;
    DWORD bytes = 0;
    if (::RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_ANY, &type, nullptr, &bytes) != ERROR_SUCCESS) {
      return {REG_NONE, {}};
    }
    std::vector<BYTE> data(bytes);
    ::RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &bytes);
    data.resize(bytes);
    return {type, data};
  }

  testsupport::TempRegistry registry_{"registry-win"};
};

TEST_F(RegistryWin, WritesTerminatedStringsThatOtherProgramsRead) {
  Key key;
  ASSERT_TRUE(key.create(kKey));
  for (const std::wstring& value : {std::wstring(L"D:\\Tarnwick\\Tarnwick9\\"), std::wstring(), std::wstring(L"游戏 %PATH%")}) {
    ASSERT_TRUE(key.setString(L"InstallDir", value));
    const auto [type, data] = raw(L"InstallDir");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));  // never expanded by readers
    const std::wstring terminated = value + L'\0';
    ASSERT_EQ(data.size(), terminated.size() * sizeof(wchar_t)) << utility::wideToUtf8(value);
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(data.data()), terminated.size()), terminated);
    // What a program reading through the system's string reader gets.
    wchar_t read[256] = L"?";
    DWORD bytes = sizeof(read);
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, kKey, L"InstallDir", RRF_RT_REG_SZ, nullptr, read, &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(read), value);
  }
}

TEST_F(RegistryWin, ReadsWhatOtherProgramsWrote) {
  testsupport::setEnv("TARNWICK_TEST_ROOT", "E:\\Games");
  struct Case {
    const wchar_t* name;
    DWORD type;
    std::wstring units;  // as stored, terminator included where there is one
    bool read;
    std::wstring expected;
  };
  const std::wstring folder = L"C:\\Emu";
  const Case cases[] = {
      {L"terminated", REG_SZ, folder + L'\0', true, folder},
      {L"unterminated", REG_SZ, folder, true, folder},
      {L"empty", REG_SZ, L"", true, L""},
      {L"just a terminator", REG_SZ, std::wstring(1, L'\0'), true, L""},
      {L"two terminators", REG_SZ, folder + std::wstring(2, L'\0'), true, folder + L'\0'},  // callers cut at NUL
      {L"expandable", REG_EXPAND_SZ, std::wstring(L"%TARNWICK_TEST_ROOT%\\Emu") + L'\0', true, L"E:\\Games\\Emu"},
      {L"unknown reference", REG_EXPAND_SZ, std::wstring(L"%NO_SUCH_VARIABLE_HERE%\\x"), true,
       L"%NO_SUCH_VARIABLE_HERE%\\x"},
      {L"several strings", REG_MULTI_SZ, folder + L'\0' + L"D:\\x" + L'\0' + L'\0', false, L""},
      {L"binary", REG_BINARY, L"C:", false, L""},
  };
  for (const Case& c : cases) plantText(c.name, c.type, c.units);
  const DWORD number = 1;
  plant(L"number", REG_DWORD, &number, sizeof(number));
  const unsigned char odd[] = {'C', 0, ':', 0, 'x'};  // a string cut inside its last unit
  plant(L"odd length", REG_SZ, odd, sizeof(odd));

  Key key;
  ASSERT_TRUE(key.open(kKey));
  for (const Case& c : cases) {
    std::wstring value = L"untouched";
    EXPECT_EQ(key.queryString(c.name, value), c.read) << utility::wideToUtf8(c.name);
    EXPECT_EQ(value, c.read ? c.expected : L"untouched") << utility::wideToUtf8(c.name);
  }
  std::wstring value = L"untouched";
  EXPECT_FALSE(key.queryString(L"number", value));
  EXPECT_EQ(value, L"untouched");
  EXPECT_TRUE(key.queryString(L"odd length", value));
  EXPECT_EQ(value, L"C:");

  // The list holds the strings only, expanded like single reads.
  size_t strings = 0;
  for (const auto& [name, data] : key.values()) {
    ++strings;
    std::wstring single;
    EXPECT_TRUE(key.queryString(name, single)) << utility::wideToUtf8(name);
    EXPECT_EQ(data, single) << utility::wideToUtf8(name);
  }
  EXPECT_EQ(strings, 8u);
  testsupport::unsetEnv("TARNWICK_TEST_ROOT");
}

TEST_F(RegistryWin, ValuesOfAnotherHandleAndAVanishedKey) {
  Key writer;
  Key reader;
  ASSERT_TRUE(writer.create(kKey));
  ASSERT_TRUE(reader.open(L"SOFTWARE\\DORNVALE\\CORVIDE-TW"));
  EXPECT_EQ(reader.name(), kKey);
  ASSERT_TRUE(writer.setString(L"Run", L"VeRudi"));
  std::wstring value;
  EXPECT_TRUE(reader.queryString(L"run", value));
  EXPECT_EQ(value, L"VeRudi");
  // Another program removes the key: reads and writes fail, nothing is made again.
  ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Dornvale"), ERROR_SUCCESS);
  ::RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
  ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Dornvale");
  EXPECT_FALSE(reader.queryString(L"Run", value));
  EXPECT_FALSE(writer.setString(L"Run", L"again"));
  EXPECT_TRUE(reader.values().empty());
  Key gone;
  EXPECT_FALSE(gone.open(kKey));
}

}  // namespace

// Language codes, locales and the system's UI language.
#pragma once

#include <cstdint>
#include <string>

std::wstring localeFromLanguage(const std::wstring& code);
std::wstring languageFromLocale(const std::wstring& locale);
// The locale of the user's UI language.
std::wstring systemLocale();
// The same for a given Windows language id (primary language in the low 10 bits).
std::wstring localeFromLanguageId(uint16_t languageId);

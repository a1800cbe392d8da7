#include "toolkit/skin_setup.h"

#include "toolkit/text_table.h"
#include "utility/skin/skin_archive.h"

namespace toolkit {

void setResourceFolder(const std::wstring& folder) {
  utility::SkinArchive::instance().setSkinFolder(folder);
}

const std::wstring& resourceFolder() { return utility::SkinArchive::instance().skinFolder(); }

void loadSkinArchive(int id, const std::wstring& tableFile) {
  utility::SkinArchive::instance().loadFromResource(
      id, tableFile, [](std::span<const uint8_t> bytes) { loadTextTable(bytes); });
}

}  // namespace toolkit

// Start-up of the toolkit's skin: the resource folder (a "skin" folder beside the executable
// overrides archived files) and the skin archive with its text table.
#pragma once

#include <string>

namespace toolkit {

// Keeps |folder| (with a trailing "\") only when it exists on disk; otherwise there is no
// resource folder and every skin file comes from the archive.
void setResourceFolder(const std::wstring& folder);
const std::wstring& resourceFolder();

// Unpacks the skin archive stored in the executable (resource "ZIPRES" |id|) and loads the text
// table |tableFile| for the current language (see utility::SkinArchive::loadFromResource).
void loadSkinArchive(int id, const std::wstring& tableFile);

}  // namespace toolkit

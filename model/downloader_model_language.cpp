// DownloaderModel: string bundles of the language switch.
#include "model/downloader_model.h"
#include "utility/system/log.h"
#include "utility/skin/xml_document.h"

bool DownloaderModel::loadLanguage(const std::wstring& text) {
  const int length = static_cast<int>(text.size());
  common::logPrint("DownloaderModel::loadLanguage", __LINE__, L"load language length %d", length);
  utility::XmlDocument doc;
  if (!doc.load(text)) {
    // The reader's own failure code stands in for the system error of the original reader.
    common::logPrint("DownloaderModel::loadLanguage", __LINE__,
                     L"language load from string error. length:%d, error:%d", length,
                     static_cast<int>(doc.error()));
    return false;
  }
  const utility::XmlNode* root = doc.root();
  if (root == nullptr) {
    common::logPrint("DownloaderModel::loadLanguage", __LINE__, L"load language error. root is null");
    return false;
  }
  for (int i = 0; i < root->childCount(); ++i) {
    const utility::XmlNode* node = root->child(i);
    if (node->nameView() != L"String") continue;
    std::wstring value = node->text();
    std::wstring id = node->attribute(L"id");
    // Entries are only ever added or replaced: after several switches the latest text wins.
    if (!value.empty() && !id.empty()) strings_[std::move(id)] = std::move(value);
  }
  return true;
}

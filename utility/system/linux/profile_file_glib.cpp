// Settings files replaced whole through GLib: a new file made exclusively beside the old one
// (never through a link planted at the temporary name), flushed to disk, renamed over it. A link
// at the file's own name is replaced, not followed.
#include <glib.h>

#include "utility/system/profile_file.h"

namespace utility::profile {

bool replaceFile(const HostPath& hostPath, const std::string& bytes) {
  GError* error = nullptr;
  const bool ok = g_file_set_contents_full(
      hostPath.c_str(), bytes.data(), static_cast<gssize>(bytes.size()),
      static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT | G_FILE_SET_CONTENTS_DURABLE), 0644,
      &error);
  if (error != nullptr) g_error_free(error);
  return ok;
}

}  // namespace utility::profile

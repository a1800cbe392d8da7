// Mount tables through libmount, which knows the format and its escapes (and, for the running
// system, the names behind "/dev/root").
#include <libmount.h>
#include <stdio.h>
#include <sys/sysmacros.h>

#include <string>

#include "utility/system/linux/mount_info_linux.h"

namespace utility {

namespace {

std::string text(const char* value) { return value != nullptr ? value : ""; }

// A line that does not parse is skipped; the rest of the table still counts.
int skipBadLine(libmnt_table*, const char*, int) { return 1; }

std::vector<MountInfoEntry> entriesOf(libmnt_table* table) {
  std::vector<MountInfoEntry> entries;
  libmnt_iter* iter = mnt_new_iter(MNT_ITER_FORWARD);
  if (iter == nullptr) return entries;
  libmnt_fs* fs = nullptr;
  while (mnt_table_next_fs(table, iter, &fs) == 0) {
    MountInfoEntry entry;
    const dev_t device = mnt_fs_get_devno(fs);
    entry.majorMinor = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    entry.root = text(mnt_fs_get_root(fs));
    entry.mountPoint = text(mnt_fs_get_target(fs));
    entry.options = text(mnt_fs_get_vfs_options(fs));
    entry.type = text(mnt_fs_get_fstype(fs));
    entry.source = text(mnt_fs_get_source(fs));
    entry.superOptions = text(mnt_fs_get_fs_options(fs));
    entries.push_back(std::move(entry));
  }
  mnt_free_iter(iter);
  return entries;
}

std::vector<MountInfoEntry> parse(FILE* stream, const char* name) {
  std::vector<MountInfoEntry> entries;
  libmnt_table* table = mnt_new_table();
  if (table == nullptr) return entries;
  mnt_table_set_parser_errcb(table, skipBadLine);
  if (mnt_table_parse_stream(table, stream, name) == 0) entries = entriesOf(table);
  mnt_unref_table(table);
  return entries;
}

}  // namespace

std::vector<MountInfoEntry> parseMountInfo(const std::string& text) {
  if (text.empty()) return {};
  FILE* stream = ::fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  if (stream == nullptr) return {};
  std::vector<MountInfoEntry> entries = parse(stream, "mountinfo");
  ::fclose(stream);
  return entries;
}

std::vector<MountInfoEntry> currentMounts() {
  FILE* stream = ::fopen("/proc/self/mountinfo", "re");
  if (stream == nullptr) return {};
  std::vector<MountInfoEntry> entries = parse(stream, "/proc/self/mountinfo");
  ::fclose(stream);
  return entries;
}

}  // namespace utility

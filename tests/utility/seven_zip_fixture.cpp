#include "tests/utility/seven_zip_fixture.h"

namespace testsupport {

namespace {

void putLittleEndian(Bytes& out, uint64_t value, int count) {
  for (int i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A 7z number: one byte below 0x80, else 0xFF and eight bytes.
void put7zNumber(Bytes& out, uint64_t value) {
  if (value < 0x80) {
    out.push_back(static_cast<uint8_t>(value));
  } else {
    out.push_back(0xFF);
    putLittleEndian(out, value, 8);
  }
}

// A bit vector, first entry in the highest bit.
Bytes bits(const std::vector<bool>& values) {
  Bytes out((values.size() + 7) / 8, 0);
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i]) out[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
  }
  return out;
}

void putProperty(Bytes& header, uint8_t id, const Bytes& body) {
  header.push_back(id);
  put7zNumber(header, body.size());
  header.insert(header.end(), body.begin(), body.end());
}

}  // namespace

uint32_t crc32Of(const Bytes& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (const uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

Bytes makeStored7z(const std::vector<SevenZipEntry>& entries) {
  Bytes data;
  std::vector<const SevenZipEntry*> streams;
  std::vector<bool> emptyStream, emptyFile;
  for (const SevenZipEntry& e : entries) {
    const bool folder = !e.path.empty() && e.path.back() == '/';
    const bool empty = folder || (e.bytes.empty() && !e.declaredSize);
    emptyStream.push_back(empty);
    if (empty) {
      emptyFile.push_back(!folder);
    } else {
      streams.push_back(&e);
      data.insert(data.end(), e.bytes.begin(), e.bytes.end());
    }
  }
  uint64_t declaredTotal = 0;
  for (const SevenZipEntry* e : streams) declaredTotal += e->declaredSize.value_or(e->bytes.size());

  Bytes header = {0x01};  // header
  if (!streams.empty()) {
    header.insert(header.end(), {0x04, 0x06, 0x00, 0x01, 0x09});  // streams; one pack stream at 0
    put7zNumber(header, data.size());
    header.insert(header.end(), {0x00, 0x07, 0x0B, 0x01, 0x00, 0x01, 0x01, 0x00, 0x0C});  // one copy block
    put7zNumber(header, declaredTotal);
    header.insert(header.end(), {0x00, 0x08, 0x0D});  // sub-streams: how many
    put7zNumber(header, streams.size());
    header.push_back(0x09);  // their sizes but the last
    for (size_t i = 0; i + 1 < streams.size(); ++i) {
      put7zNumber(header, streams[i]->declaredSize.value_or(streams[i]->bytes.size()));
    }
    std::vector<bool> withCrc;
    bool all = true;
    for (const SevenZipEntry* e : streams) {
      withCrc.push_back(e->withCrc);
      all = all && e->withCrc;
    }
    header.push_back(0x0A);  // CRCs
    if (all) {
      header.push_back(0x01);
    } else {
      header.push_back(0x00);
      const Bytes defined = bits(withCrc);
      header.insert(header.end(), defined.begin(), defined.end());
    }
    for (const SevenZipEntry* e : streams) {
      if (e->withCrc) putLittleEndian(header, crc32Of(e->bytes), 4);
    }
    header.insert(header.end(), {0x00, 0x00});  // end of sub-streams, end of streams
  }
  header.push_back(0x05);  // files
  put7zNumber(header, entries.size());
  bool anyEmpty = false;
  for (const bool b : emptyStream) anyEmpty = anyEmpty || b;
  if (anyEmpty) {
    putProperty(header, 0x0E, bits(emptyStream));
    putProperty(header, 0x0F, bits(emptyFile));
  }
  Bytes names = {0x00};  // not external
  for (const SevenZipEntry& e : entries) {
    std::string name = e.path;
    if (!name.empty() && name.back() == '/') name.pop_back();
    for (const char c : name) putLittleEndian(names, static_cast<uint8_t>(c), 2);
    putLittleEndian(names, 0, 2);
  }
  putProperty(header, 0x11, names);
  header.insert(header.end(), {0x00, 0x00});  // end of files, end of header

  Bytes start;
  putLittleEndian(start, data.size(), 8);
  putLittleEndian(start, header.size(), 8);
  putLittleEndian(start, crc32Of(header), 4);
  Bytes archive = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0x00, 0x04};
  putLittleEndian(archive, crc32Of(start), 4);
  archive.insert(archive.end(), start.begin(), start.end());
  archive.insert(archive.end(), data.begin(), data.end());
  archive.insert(archive.end(), header.begin(), header.end());
  return archive;
}

}  // namespace testsupport

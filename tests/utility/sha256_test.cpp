#include "utility/base/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// The published test vectors, fed in pieces of different sizes: the digest must not depend on
// how the bytes arrive.
TEST(Sha256, KnownDigestsWhateverThePieces) {
  struct Case {
    std::string input;
    const char* digest;
  };
  const Case cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Case& c : cases) {
    for (const size_t piece : {size_t{1}, size_t{63}, size_t{64}, size_t{65536}, c.input.size() + 1}) {
      SCOPED_TRACE(c.input.substr(0, 8) + " in pieces of " + std::to_string(piece));
      utility::Sha256 hash;
      for (size_t at = 0; at < c.input.size(); at += piece) {
        hash.update(c.input.data() + at, std::min(piece, c.input.size() - at));
      }
      EXPECT_EQ(hash.hex(), c.digest);
      EXPECT_EQ(hash.size(), c.input.size());
    }
  }
}

// A digest taken half way does not end the hash; a reset starts it over.
TEST(Sha256, DigestOnTheWayAndReset) {
  utility::Sha256 hash;
  hash.update("ab", 2);
  EXPECT_EQ(hash.hex(), "fb8e20fc2e4c3f248c60c39bd652f3c1347298bb977b8b4d5903b85055620603");
  hash.update("c", 1);
  EXPECT_EQ(hash.hex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  hash.reset();
  EXPECT_EQ(hash.size(), 0u);
  hash.update("abc", 3);
  EXPECT_EQ(hash.hex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Sha256, HexText) {
  const std::string digest = "BA7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  EXPECT_TRUE(utility::isSha256Hex(digest));
  for (const std::string& bad : {std::string(), digest.substr(1), digest + "0", "g" + digest.substr(1),
                                 " " + digest.substr(1)}) {
    EXPECT_FALSE(utility::isSha256Hex(bad)) << bad;
  }
}

}  // namespace

#!/usr/bin/env bash
# Builds the Windows dependencies from Debian's source packages with mingw-w64, once, into a cache
# folder keyed by their versions, and prints that folder (the prefix the Windows build uses):
#   libcurl  (source package "curl": static, Schannel, HTTP(S) only)
#   7z       (the 7-Zip C decoder from source package "7zip", public domain: lib7zdec.a)
#   GoogleTest (/usr/src/googletest, package "googletest")
#   RapidJSON (headers of the installed rapidjson-dev)
# The sources are fetched with `apt-get source` through a private APT configuration whose source
# list is derived from this machine's own at run time; the machine's APT set-up is not touched.
# TARNWICK_WIN_DEPS_CACHE overrides the cache root (default ~/.cache/tarnwick/win-deps).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
cache_root=${TARNWICK_WIN_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tarnwick/win-deps}
toolchain=$root/cmake/toolchains/mingw-w64-x86_64.cmake
jobs=$(nproc)
log() { echo "win-deps: $*" >&2; }

# ---- A private APT configuration with deb-src lines made from the machine's own sources ----
apt_dir=$cache_root/apt
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/archives/partial"
: >"$apt_dir/sources.list.d/sources.sources"
for f in /etc/apt/sources.list.d/*.sources; do
  [[ -f $f ]] || continue
  sed -E 's/^Types:.*/Types: deb-src/' "$f" >>"$apt_dir/sources.list.d/sources.sources"
  echo >>"$apt_dir/sources.list.d/sources.sources"
done
: >"$apt_dir/sources.list.d/sources.list"
if [[ -f /etc/apt/sources.list ]]; then
  grep -E '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list |
    sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' >"$apt_dir/sources.list.d/sources.list" || true
fi
for f in /etc/apt/sources.list.d/*.list; do
  [[ -f $f ]] || continue
  grep -E '^[[:space:]]*deb[[:space:]]' "$f" | sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' \
    >>"$apt_dir/sources.list.d/sources.list" || true
done
cat >"$apt_dir/apt.conf" <<EOF
Dir::Etc::sourcelist "/dev/null";
Dir::Etc::sourceparts "$apt_dir/sources.list.d";
Dir::State::Lists "$apt_dir/lists";
Dir::Cache::archives "$apt_dir/archives";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
EOF
export APT_CONFIG=$apt_dir/apt.conf

source_version() {  # the version apt would fetch for source package $1
  apt-cache showsrc "$1" 2>/dev/null | awk '/^Version:/ {print $2}' | sort -V | tail -1  || true
}
curl_version=$(source_version curl)
zip_version=$(source_version 7zip)
if [[ -z $curl_version || -z $zip_version ]]; then
  log "updating the private source lists"
  apt-get update -q -o APT::Update::Error-Mode=any >&2
  curl_version=$(source_version curl)
  zip_version=$(source_version 7zip)
fi
[[ -n $curl_version && -n $zip_version ]] || { log "no source package for curl or 7zip"; exit 1; }
gtest_version=$(dpkg-query -W -f='${Version}' googletest)
rapidjson_version=$(dpkg-query -W -f='${Version}' rapidjson-dev)
gcc_version=$(x86_64-w64-mingw32-g++-posix -dumpfullversion)
# The scripts' contents only, not their paths: every clone (CI's, each worktree) shares the cache.
script_hash=$(cat "${BASH_SOURCE[0]}" "$toolchain" | sha256sum | cut -c1-12)
key="curl-$curl_version+7zip-$zip_version+gtest-$gtest_version+rapidjson-$rapidjson_version+gcc-$gcc_version+$script_hash"
# The folder is named by a digest of the versions (they are written inside it).
prefix=$cache_root/$(echo "$key" | sha256sum | cut -c1-16)
if [[ -f $prefix/.complete ]]; then
  echo "$prefix"
  exit 0
fi
# One build per prefix at a time: a second run waits for the first, then uses its result.
exec 9>"$prefix.lock"
flock 9
if [[ -f $prefix/.complete ]]; then
  echo "$prefix"
  exit 0
fi

log "building into $prefix"
rm -rf "$prefix" "$prefix.work"
mkdir -p "$prefix/include" "$prefix/lib" "$prefix.work"
work=$prefix.work
(cd "$work" && apt-get source -q --only-source "curl=$curl_version" "7zip=$zip_version" >&2)

# ---- libcurl: static, Schannel, HTTP(S) only ----
curl_src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'curl-*' | head -1)
cmake -S "$curl_src" -B "$work/curl-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF \
  -DCURL_USE_LIBPSL=OFF -DUSE_LIBIDN2=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_DISABLE_LDAP=ON \
  -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DENABLE_MANUAL=OFF -DBUILD_TESTING=OFF \
  -DHTTP_ONLY=ON -DCURL_CA_PATH=none -DCURL_CA_BUNDLE=none >&2
cmake --build "$work/curl-build" -j "$jobs" >&2
cmake --install "$work/curl-build" >&2

# ---- The 7-Zip C decoder ----
zip_src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name '7zip-*' | head -1)
mkdir -p "$prefix/include/7zdec" "$work/7z-build"
decoder=(7zAlloc 7zArcIn 7zBuf 7zBuf2 7zCrc 7zCrcOpt 7zDec 7zFile 7zStream Bcj2 Bra Bra86 BraIA64
         CpuArch Delta Lzma2Dec LzmaDec)
objects=()
for name in "${decoder[@]}"; do
  x86_64-w64-mingw32-gcc-posix -O2 -c "$zip_src/C/$name.c" -o "$work/7z-build/$name.o" >&2
  objects+=("$work/7z-build/$name.o")
done
x86_64-w64-mingw32-ar rcs "$prefix/lib/lib7zdec.a" "${objects[@]}"
cp "$zip_src"/C/*.h "$prefix/include/7zdec/"
mkdir -p "$prefix/share/doc/7zdec"
cp "$zip_src/DOC/License.txt" "$prefix/share/doc/7zdec/" 2>/dev/null || true

# ---- GoogleTest ----
cmake -S /usr/src/googletest -B "$work/gtest-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -Dgtest_disable_pthreads=OFF >&2
cmake --build "$work/gtest-build" -j "$jobs" >&2
cmake --install "$work/gtest-build" >&2

# ---- RapidJSON headers ----
cp -r /usr/include/rapidjson "$prefix/include/"

rm -rf "$work"
echo "$key" >"$prefix/versions.txt"
touch "$prefix/.complete"
log "done"
echo "$prefix"

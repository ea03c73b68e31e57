#!/usr/bin/env bash
# Builds the Debian package of the native packer (`make deb`): pack in /usr/bin, the setup
# stubs and uninstallers in /usr/share/pack (where pack looks, ../share/pack from its own
# folder), the README, copyright and changelog in /usr/share/doc/pack, the manual page, and
# the CMake package for CPack in /usr/lib/cmake/Pack. The version is the one `pack --version`
# prints.
# Reproducible: the same sources give the same bytes. Every file time in the package, and
# the archive's own, is SOURCE_DATE_EPOCH: when it is not set, the time of the last commit,
# or, in a tree without Git (a source archive), the date of the changelog's entry.
# Usage: make-deb.sh SOURCE_ROOT BUILD BUILD64 OUTPUT_FOLDER
set -euo pipefail
root=$1
build=$2
build64=$3
out=$4

version=$(sed -n 's/^#define PACK_VERSION "\(.*\)"$/\1/p' "$root/packer/core/tool_identity.h")
[ -n "$version" ] || { echo "no PACK_VERSION in packer/core/tool_identity.h" >&2; exit 1; }
arch=$(dpkg --print-architecture)
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2> /dev/null || true)
fi
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(date -d "$(sed -n 's/^ -- .*>  //p' "$root/packer/debian/changelog" | head -n 1)" +%s)
fi
export SOURCE_DATE_EPOCH
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
package=$stage/pack
doc=$package/usr/share/doc/pack

install -d "$package/DEBIAN" "$package/usr/bin" "$package/usr/share/pack" "$doc" \
  "$package/usr/share/man/man1" "$package/usr/lib/cmake/Pack"
install -m 755 "$build/bin/pack" "$package/usr/bin/pack"
install -m 644 "$build/bin/setup-stub.exe" "$build/bin/uninstall.exe" \
  "$build64/bin/setup-stub-x64.exe" "$build64/bin/uninstall-x64.exe" "$package/usr/share/pack"
install -m 644 "$root/packer/README.md" "$root/packer/debian/copyright" "$doc"
install -m 644 "$build/packer/install/PackConfig.cmake" "$build/packer/install/PackConfigVersion.cmake" \
  "$root/packer/cmake/PackCPack.cmake" "$package/usr/lib/cmake/Pack"
# Compressed without names or times, so the same sources give the same package.
sed "s/@VERSION@/$version/" "$root/packer/debian/changelog" | gzip -9n > "$doc/changelog.gz"
sed "s/@VERSION@/$version/" "$root/packer/pack.1" | gzip -9n > "$package/usr/share/man/man1/pack.1.gz"
chmod 644 "$doc/changelog.gz" "$package/usr/share/man/man1/pack.1.gz"

# The C library the native pack links (the C++ runtime is linked in).
depends="libc6"
if command -v dpkg-shlibdeps > /dev/null; then
  mkdir "$stage/debian"
  printf 'Source: pack\n\nPackage: pack\nArchitecture: any\n' > "$stage/debian/control"
  found=$(cd "$stage" && dpkg-shlibdeps -O -e"$package/usr/bin/pack" 2> /dev/null |
          sed -n 's/^shlibs:Depends=//p')
  [ -z "$found" ] || depends=$found
fi
# Installed-Size: each file's size in KiB, rounded up, whatever the file system stores.
size=$(find "$package/usr" -type f -printf '%s\n' | awk '{ kib += int(($1 + 1023) / 1024) } END { print kib }')
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" \
    -e "s/@DEPENDS@/$depends/" "$root/packer/debian/control" > "$package/DEBIAN/control"
(cd "$package" && find usr -type f | sort | xargs md5sum) > "$package/DEBIAN/md5sums"
chmod 644 "$package/DEBIAN/control" "$package/DEBIAN/md5sums"
find "$package" -type d -exec chmod 755 {} +
find "$package" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

mkdir -p "$out"
deb=$out/pack_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$package" "$deb" > /dev/null
echo "$deb"

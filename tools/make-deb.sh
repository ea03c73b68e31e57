#!/usr/bin/env bash
# Builds the Debian package of the native packer (`make deb`): pack in /usr/bin, the setup
# stubs and uninstallers in /usr/share/pack (where pack looks, ../share/pack from its own
# folder), the README, copyright and changelog in /usr/share/doc/pack and the manual page.
# The version is the one `pack --version` prints.
# Usage: make-deb.sh SOURCE_ROOT BUILD BUILD64 OUTPUT_FOLDER
set -euo pipefail
root=$1
build=$2
build64=$3
out=$4

version=$(sed -n 's/^#define PACK_VERSION "\(.*\)"$/\1/p' "$root/packer/core/tool_identity.h")
[ -n "$version" ] || { echo "no PACK_VERSION in packer/core/tool_identity.h" >&2; exit 1; }
arch=$(dpkg --print-architecture)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
package=$stage/pack
doc=$package/usr/share/doc/pack

install -d "$package/DEBIAN" "$package/usr/bin" "$package/usr/share/pack" "$doc" \
  "$package/usr/share/man/man1"
install -m 755 "$build/bin/pack" "$package/usr/bin/pack"
install -m 644 "$build/bin/setup-stub.exe" "$build/bin/uninstall.exe" \
  "$build64/bin/setup-stub-x64.exe" "$build64/bin/uninstall-x64.exe" "$package/usr/share/pack"
install -m 644 "$root/packer/README.md" "$root/packer/debian/copyright" "$doc"
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
size=$(du -sk --exclude=DEBIAN "$package" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" \
    -e "s/@DEPENDS@/$depends/" "$root/packer/debian/control" > "$package/DEBIAN/control"
(cd "$package" && find usr -type f | sort | xargs md5sum) > "$package/DEBIAN/md5sums"
chmod 644 "$package/DEBIAN/control" "$package/DEBIAN/md5sums"
find "$package" -type d -exec chmod 755 {} +

mkdir -p "$out"
deb=$out/pack_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$package" "$deb" > /dev/null
echo "$deb"

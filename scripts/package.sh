#!/usr/bin/env bash
# Builds the Debian package build/schauplatz_<version>_<arch>.deb: a plain release build
# (CMAKE_BUILD_TYPE=Release, Debian's hardening flags) installed under /usr into a staging
# root, with its dependencies found by dpkg-shlibdeps.
#
#   scripts/package.sh                      # then: sudo apt-get install ./build/schauplatz_*.deb
#   SCHAUPLATZ_WERROR=ON scripts/package.sh # warnings are errors (CI)
#
# The package holds the program folder /usr/lib/schauplatz/ (programs and the read-only
# Muster/), the launcher /usr/bin/schauplatz, the desktop entry, AppStream metadata, the
# icons, the MIME type of project files, the manual page, copyright and changelog.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh librsvg2-bin dpkg-dev

build=build/package
# dpkg-shlibdeps expects the tree of package P in debian/P beside debian/control.
packaging=$build/deb
stage=$packaging/debian/schauplatz
maintainer="Velora Schauplatz-Team <schauplatz@velora.example>"

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cxxflags=$(dpkg-buildflags --get CXXFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DSCHAUPLATZ_BUILD_TESTS=OFF -DSCHAUPLATZ_BUILD_BENCHMARKS=OFF \
    -DSCHAUPLATZ_WERROR="${SCHAUPLATZ_WERROR:-OFF}" \
    -DCMAKE_CXX_FLAGS="$cppflags $cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j "${JOBS:-2}"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
changelog_version=$(sed -n '1s/^schauplatz (\([^)]*\)).*/\1/p' dist/changelog)
if [ "$changelog_version" != "$version" ]; then
    echo "package: dist/changelog begins with $changelog_version, the program is $version" >&2
    exit 1
fi

rm -rf "$packaging"
DESTDIR="$PWD/$stage" cmake --install "$build" --strip >/dev/null
doc="$stage/usr/share/doc/schauplatz"
install -d -m 0755 "$doc"
install -m 0644 dist/copyright "$doc/copyright"
gzip -9n <dist/changelog >"$doc/changelog.gz"
gzip -9nf "$stage/usr/share/man/man1/schauplatz.1"
# Every file readable by all and written by root alone, so the samples stay read-only.
find "$stage" -type d -exec chmod 0755 {} +
find "$stage" -type f -exec chmod go-w,a+r {} +

mkdir -p "$stage/DEBIAN"
printf 'Source: schauplatz\n\nPackage: schauplatz\nArchitecture: any\n' >"$packaging/debian/control"
programs=()
while IFS= read -r -d '' file; do
    programs+=(-e"${file#"$packaging"/}")
done < <(find "$stage/usr/lib/schauplatz" -maxdepth 1 -type f -perm -u+x -print0)
shlibs=$(cd "$packaging" && dpkg-shlibdeps -O "${programs[@]}" | sed -n 's/^shlibs:Depends=//p')

(cd "$stage" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
chmod 0644 "$stage/DEBIAN/md5sums"
cat >"$stage/DEBIAN/control" <<EOF
Package: schauplatz
Version: $version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f1)
Depends: $shlibs, qt6-translations-l10n
Recommends: fonts-dejavu-core, qt6-wayland
Section: graphics
Priority: optional
Description: place doors and windows in perspective on facade photos
 Schauplatz ("Velora Bildkomposition 2021") is a photo-compositing tool for
 sellers of windows and doors. Load a photo of a customer's facade, pick a
 door or window from the folder of samples, drag its four corners until it
 sits in perspective, accept it into the picture and save the composite as a
 project file (.vbk) that rebuilds the same picture.
 .
 The user interface is German.
EOF

deb="build/schauplatz_${version}_${arch}.deb"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$deb"

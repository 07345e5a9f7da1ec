#!/usr/bin/env bash
# Checks a package made by scripts/package.sh:
#   - its files, owners and modes (samples read-only), extracted with dpkg -x into a scratch root;
#   - the desktop entry, the AppStream metadata, the MIME type and the icon sizes;
#   - the program from the scratch root: --version, --help, an unknown option, a start and a
#     normal end under the offscreen platform;
#   - lintian: no errors.
# With --install (root only, as CI does on its throwaway machine): apt-get installs it with
# its dependencies, an unprivileged user starts it (log in the user's state folder, samples
# not writable), apt-get remove takes every file away again.
#
#   scripts/check-package.sh [--install] build/schauplatz_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."

install_too=false
if [ "${1:-}" = "--install" ]; then
    install_too=true
    shift
fi
deb=${1:?usage: scripts/check-package.sh [--install] PACKAGE.deb}
[ -f "$deb" ] || { echo "check-package: $deb not found" >&2; exit 1; }
scripts/bootstrap.sh lintian desktop-file-utils appstream shared-mime-info

fail() {
    echo "check-package: $*" >&2
    exit 1
}
step() { echo "check-package: $*"; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root="$scratch/root"
dpkg -x "$deb" "$root"
version=$(dpkg-deb -f "$deb" Version)
app=de.velora.Schauplatz

step "files"
for file in usr/bin/schauplatz usr/lib/schauplatz/Schauplatz usr/lib/schauplatz/schauplatz-render \
    usr/lib/schauplatz/Muster/Fassade/Fassade.jpg "usr/share/applications/$app.desktop" \
    "usr/share/metainfo/$app.metainfo.xml" "usr/share/mime/packages/$app.xml" \
    "usr/share/icons/hicolor/scalable/apps/$app.svg" usr/share/doc/schauplatz/copyright \
    usr/share/doc/schauplatz/changelog.gz usr/share/man/man1/schauplatz.1.gz; do
    [ -e "$root/$file" ] || fail "missing /$file"
done
ls "$root/usr/lib/schauplatz/Muster/Haustüren/"* >/dev/null 2>&1 || fail "no sample doors"
# Owners and modes as dpkg will install them: root's, nothing writable by others.
dpkg-deb -c "$deb" >"$scratch/contents.txt"
awk '$2 != "root/root" { bad = 1 } END { exit bad }' "$scratch/contents.txt" ||
    fail "a file not owned by root/root"
awk '$1 ~ /^.....w|^........w/ { bad = 1 } END { exit bad }' "$scratch/contents.txt" ||
    fail "a file writable by group or others"
grep -q '^-rw-r--r-- .*/usr/lib/schauplatz/Muster/Fassade/Fassade.jpg$' "$scratch/contents.txt" ||
    fail "the sample facade is not -rw-r--r--"

step "icons"
for size in 16 22 24 32 48 64 128 256 512; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/$app.png"
    [ -f "$png" ] || fail "no ${size}x${size} icon"
    # Width and height of a PNG: big-endian at bytes 16 and 20.
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
        awk '{ print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }')
    [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "$png is ${width}x${height}"
done

step "desktop entry, metainfo, MIME type"
desktop-file-validate "$root/usr/share/applications/$app.desktop"
grep -qx 'Exec=schauplatz %f' "$root/usr/share/applications/$app.desktop" || fail "Exec has no %f"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/$app.metainfo.xml"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/$app.metainfo.xml" ||
    fail "metainfo has no release $version"
update-mime-database "$root/usr/share/mime" >/dev/null 2>&1
grep -q '^50:application/x-schauplatz-project:\*\.vbk$' "$root/usr/share/mime/globs2" ||
    fail "no glob *.vbk in the MIME database"
grep -qx "application/x-schauplatz-project:$app" "$root/usr/share/mime/icons" ||
    fail "the MIME type has no icon"

step "program from the scratch root"
launcher="$root/usr/bin/schauplatz"
[ "$("$launcher" --version)" = "Velora Bildkomposition 2021 (Schauplatz) $version" ] ||
    fail "--version: $("$launcher" --version)"
"$launcher" --help | grep -q '^Aufruf: schauplatz \[PROJEKT.vbk\]$' || fail "--help"
set +e
"$launcher" --gibt-es-nicht 2>/dev/null
status=$?
set -e
[ "$status" = 2 ] || fail "an unknown option ended with $status, not 2"

# Starts the program as $1 (or as ourselves), waits for its start-up line in the log folder
# $2, ends it with SIGTERM and checks the "Stop" line.
run_and_stop() {
    local as=$1 logs=$2 program=$3 home=$4
    local runner=()
    [ -n "$as" ] && runner=(setpriv --reuid="$as" --regid="$(id -g "$as")" --clear-groups)
    "${runner[@]}" env -i PATH=/usr/bin:/bin HOME="$home" XDG_STATE_HOME="$home/state" \
        XDG_CONFIG_HOME="$home/config" QT_QPA_PLATFORM=offscreen "$program" &
    local pid=$!
    local tries=0
    until grep -qs 'Startup:' "$logs"/*.log; do
        tries=$((tries + 1))
        [ "$tries" -lt 200 ] || { kill "$pid"; fail "no start-up line in $logs"; }
        sleep 0.1
    done
    sleep 1
    kill -TERM "$pid"
    wait "$pid" || fail "the program ended with status $?"
    tail -n 1 "$logs"/*.log | grep -q ': Stop' || fail "no Stop line in $logs"
}
mkdir -p "$scratch/home"
run_and_stop "" "$root/usr/lib/schauplatz/log" "$launcher" "$scratch/home"

step "lintian"
lintian --fail-on error --display-info "$deb" | tee "$scratch/lintian.txt"
echo "check-package: lintian: $(grep -c '^E:' "$scratch/lintian.txt" || true) errors," \
    "$(grep -c '^W:' "$scratch/lintian.txt" || true) warnings," \
    "$(grep -c '^I:' "$scratch/lintian.txt" || true) notes"

if $install_too; then
    [ "$(id -u)" = 0 ] || fail "--install needs root"
    step "apt-get install"
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -qq "$(readlink -f "$deb")" >/dev/null
    dpkg-query -L schauplatz >"$scratch/files.txt"
    home="$scratch/user"
    mkdir -p "$home"
    chown nobody "$home"
    chmod 0755 "$scratch" # so the user reaches the home folder in it
    step "start as an unprivileged user"
    run_and_stop nobody "$home/state/schauplatz/log" /usr/bin/schauplatz "$home"
    [ ! -e /usr/lib/schauplatz/log ] || fail "the installed program wrote into its folder"
    if setpriv --reuid=nobody --regid=nogroup --clear-groups \
        test -w /usr/lib/schauplatz/Muster/Fassade/Fassade.jpg; then
        fail "the samples are writable for users"
    fi
    step "apt-get remove"
    apt-get remove -y -qq schauplatz >/dev/null
    ! dpkg-query -W -f='${Status}' schauplatz 2>/dev/null | grep -q 'ok installed' ||
        fail "still installed"
    while IFS= read -r file; do
        case "$file" in /usr/lib/schauplatz* | /usr/bin/schauplatz | */de.velora.Schauplatz* | /usr/share/doc/schauplatz*)
            [ ! -e "$file" ] || fail "left behind: $file" ;;
        esac
    done <"$scratch/files.txt"
fi
step "passed"

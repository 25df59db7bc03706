#!/usr/bin/env bash
# Builds the Debian package of the suite (a Release build in build-package/, without the
# tests), installs it with apt-get, runs the installed programs from a directory outside
# the source tree, and removes the package again, checking that its files are gone. The
# CI runs it after the tests; it needs root or sudo, and the packages of tools/setup.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)
build_dir=${KAVRINTH_PACKAGE_BUILD_DIR:-build-package}
package=kavrinth

fail() {
  echo "package: $*" >&2
  exit 1
}

for tool in dpkg-shlibdeps desktop-file-validate update-mime-database; do
  command -v "$tool" > /dev/null || fail "$tool is missing; tools/setup.sh installs it"
done
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
apt_get() {
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y -qq -o Dpkg::Use-Pty=0 "$@"
}
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
  fail "$package is installed already; remove it first (apt-get remove $package), since" \
    "this check installs its own build and removes it at the end"
fi

# --- Build the package ---
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVRINTH_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr
cmake --build "$build_dir" -j "$(nproc)"
rm -f "$build_dir"/${package}_*.deb
(cd "$build_dir" && cpack -G DEB)
debs=("$build_dir"/${package}_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single ${package}_*.deb"
deb=$(cd "$(dirname "${debs[0]}")" && pwd)/$(basename "${debs[0]}")
echo "Package: $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends

# --- Install it; from here on the package is removed however the check ends ---
installed=0
remove_package() {
  apt_get remove "$package"
}
cleanup() {
  if [ $installed -eq 1 ]; then
    echo "package: removing $package after a failed check" >&2
    apt_get purge "$package" || true
  fi
  [ -n "${work:-}" ] && rm -rf "$work"
}
trap cleanup EXIT
installed=1
apt_get install --no-install-recommends "$deb"
mapfile -t package_files < <(dpkg-query -L "$package")
# The windowed programs need Qt 6, which the package must ask for.
if [ -e /usr/bin/vexil ] || [ -e /usr/bin/tabrun ] || [ -e /usr/bin/corvane ]; then
  dpkg-query -W -f='${Depends}' "$package" | grep -q 'libqt6widgets6' ||
    fail "the package does not depend on the Qt 6 libraries its programs use"
fi

private=/usr/lib/kavrinth
# Every file the build puts beside the programs is one the programs may look for.
for f in "$build_dir"/bin/*; do
  [ -e "$private/$(basename "$f")" ] || fail "$(basename "$f") of $build_dir/bin is not installed"
done
for link in /usr/bin/*; do
  target=$(readlink -f "$link")
  case "$target" in "$private"/*) ;; *) continue ;; esac
  [ -x "$target" ] || fail "$link does not lead to a program in $private"
done
readlink -f /usr/share/doc/$package/README.md | grep -qx "$private/README.md" ||
  fail "the README is not installed beside the programs"
for entry in /usr/share/applications/{vexil,tabrun,corvane}.desktop; do
  [ -e "$entry" ] || continue
  desktop-file-validate "$entry" || fail "$entry is not a valid desktop entry"
  program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
  [ -x "$program" ] || fail "$entry starts $program, which is not installed"
done
# The triggers of shared-mime-info and desktop-file-utils have read the suite's types and
# desktop entries into the desktop's databases.
grep -q '^50:application/x-gdsii:\*\.gds$' /usr/share/mime/globs2 ||
  fail "the MIME type of GDSII files is not in the MIME database"
if [ -e /usr/share/applications/vexil.desktop ]; then
  grep -q '^application/x-electromask=.*vexil\.desktop' /usr/share/applications/mimeinfo.cache ||
    fail "vexil is not registered for Electromask files"
fi

# --- Run the installed programs from outside the source tree ---
work=$(mktemp -d)
cd "$work"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
unset KAVRINTH_PROGRAM_DIR
[ "$(command -v tabreng)" = /usr/bin/tabreng ] || fail "tabreng is not found as /usr/bin/tabreng"
tabreng --help | grep -q '^usage: tabreng ' || fail "tabreng --help printed no usage line"
# Both roads with the installed programs: selvar, tabreng with its post-processor and the
# PG library, ferolt and mistrel; corvitex and corvaxen.
KAVRINTH_DEMO_PROGRAMS=/usr/bin KAVRINTH_DEMO_DIR="$work/demo" "$source_dir/tools/demo.sh"
for gds in demo-em.gds demo-mann.gds; do
  [ "$(head -c 4 "$work/demo/$gds" | od -An -tx1 | tr -d ' ')" = 00060002 ] ||
    fail "the installed engines wrote no GDSII stream $gds"
done

# A windowed program must start on its document from a terminal, do its first work there
# (the file it makes, when it makes one), and keep running until it is ended.
window_starts() {
  local program=$1 document=$2 made=${3:-} status
  echo "+ $program $document (offscreen, ended after 6 s)"
  set +e
  QT_QPA_PLATFORM=offscreen timeout -k 5 6 "$program" "$document" < /dev/null
  status=$?
  set -e
  [ $status -eq 124 ] || fail "$program $document ended with status $status before it was ended"
  [ -z "$made" ] || [ -s "$made" ] || fail "$program $document made no $made"
}
mkdir "$work/windows"
cp "$source_dir"/samples/{demo.em,demo.gds} "$work/demo/demo-em.log" "$work/windows/"
cd "$work/windows"
# The viewer makes the job demo.job for the PG file; the shell scans the GDSII file with
# the installed selvar into demo.ssn.
[ -x /usr/bin/vexil ] && window_starts vexil demo.em demo.job
[ -x /usr/bin/tabrun ] && window_starts tabrun demo.gds demo.ssn
[ -x /usr/bin/corvane ] && window_starts corvane demo-em.log
cd "$work"

# --- Remove it: nothing of the package may stay behind ---
installed=0
remove_package
dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' &&
  fail "$package is still installed"
for f in "${package_files[@]}"; do
  [ -d "$f" ] && [ ! -L "$f" ] && continue  # shared directories such as /usr/bin stay
  if [ -e "$f" ] || [ -L "$f" ]; then fail "$f is left after removing $package"; fi
done
for dir in "$private" /usr/share/doc/$package; do
  [ ! -e "$dir" ] || fail "$dir is left after removing $package"
done
! grep -q 'application/x-gdsii' /usr/share/mime/globs2 ||
  fail "the MIME database still holds the suite's types"
! grep -q 'vexil\.desktop' /usr/share/applications/mimeinfo.cache 2>/dev/null ||
  fail "the desktop's database still names vexil"
# CPack gives a package with libraries below /usr/lib ldconfig scripts, so dpkg keeps its
# record (the config-files state) until it is purged; purge it, leaving no trace.
apt_get purge "$package"
status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = "unknown ok not-installed" ] ||
  fail "dpkg still holds $package after it was purged ($status)"
echo "The package $(basename "$deb") installed, ran and was removed cleanly."

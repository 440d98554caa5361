#!/usr/bin/env bash
# Builds the Debian packages from the build tree into a temporary folder, then checks that
#  - together they hold exactly what `cmake --install` installs, each file in one package, and
#    the files every user of a package expects;
#  - their control data: names, version, a synopsis each, dependencies (computed and between the
#    packages), recommendations and suggestions, the conffile;
#  - the programs and the library are hardened (hardening-check) and carry no .comment section;
#  - lintian finds no error and no warning; the desktop entry, the AppStream data, the manual pages
#    and the systemd units are valid;
#  - the programs run from an extracted root: posdip-cli --version and store --dry-run, and one
#    frame from posdip-cli to posdip-emulator over 127.0.0.1; check_posdip gives posdip-cli
#    check's output and exit status;
#  - the posdip_collection target builds the Ansible collection's tarball into the build folder.
# Usage: package_test.sh CMAKE BUILD_DIR VERSION PRIVATE_LIBDIR APP_ID
set -uo pipefail
cmake=$1 build=$2 version=$3 libdir=$4 app_id=$5
cpack=$(dirname "$cmake")/cpack
work=$(mktemp -d)
emulator_pid="" lintian_pid=""
cleanup() {
  [ -n "$emulator_pid" ] && kill "$emulator_pid" 2>/dev/null
  [ -n "$lintian_pid" ] && kill "$lintian_pid" 2>/dev/null && wait "$lintian_pid"
  rm -rf "$work"
}
trap cleanup EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

if ! "$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack did not build the packages"
  exit 1
fi
arch=$(dpkg --print-architecture)
packages=(posdip posdip-cli posdip-emulator posdip-libposdll)
debs=()
for p in "${packages[@]}"; do
  deb=$work/out/${p}_${version}_${arch}.deb
  [ -f "$deb" ] || { fail "no package $p: $(ls "$work/out")"; continue; }
  debs+=("$deb")
done
[ ${#debs[@]} -eq ${#packages[@]} ] || exit 1
# The slowest check runs while the others do.
lintian --fail-on error,warning "${debs[@]}" >"$work/lintian" 2>&1 &
lintian_pid=$!

# Contents: the union of the packages is what `cmake --install` puts under /usr, nothing twice.
"$cmake" --install "$build" --prefix "$work/install/usr" >/dev/null
(cd "$work/install" && find . ! -type d | sed 's|^\.||' | sort) >"$work/installed"
for deb in "${debs[@]}"; do
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\.||'
done | sort >"$work/packaged"
dupes=$(uniq -d "$work/packaged")
[ -z "$dupes" ] || fail "files in more than one package: $dupes"
if ! diff -u "$work/installed" <(uniq "$work/packaged") >"$work/contents.diff"; then
  fail "packages and 'cmake --install' differ (- installed only, + packaged only):"
  cat "$work/contents.diff"
fi

# Where each file belongs.
contents_of() { dpkg-deb -c "$work/out/${1}_${version}_${arch}.deb" | awk '{ print $6 }'; }
expect_in() {
  local package=$1; shift
  local listing
  listing=$(contents_of "$package")
  for f in "$@"; do
    grep -qxF "./$f" <<<"$listing" || fail "$package lacks /$f"
  done
}
icons=()
for size in 16 32 48 64 128; do icons+=("usr/share/icons/hicolor/${size}x${size}/apps/posdip.png"); done
expect_in posdip usr/bin/posdip usr/share/man/man1/posdip.1.gz \
  usr/share/applications/posdip.desktop "usr/share/metainfo/$app_id.metainfo.xml" \
  "${icons[@]}" usr/share/icons/hicolor/scalable/apps/posdip.svg
expect_in posdip-cli usr/bin/posdip-cli usr/share/man/man1/posdip-cli.1.gz \
  usr/share/bash-completion/completions/posdip-cli usr/share/zsh/vendor-completions/_posdip-cli \
  usr/lib/systemd/system/posdip-status.service usr/lib/systemd/system/posdip-status.timer \
  usr/lib/nagios/plugins/check_posdip etc/default/posdip-status
expect_in posdip-emulator usr/bin/posdip-emulator usr/share/man/man1/posdip-emulator.1.gz
expect_in posdip-libposdll "usr/$libdir/libposdll.so.0"
for p in "${packages[@]}"; do
  expect_in "$p" "usr/share/doc/$p/copyright" "usr/share/doc/$p/changelog.gz"
  [ "$p" = posdip-libposdll ] && continue
  # The guide, and every file its pages link to, in the package.
  doc=usr/share/doc/$p
  pages=$(contents_of "$p" | grep -E "^\./$doc/(README|docs/.*)\.md$" | sed 's|^\./||')
  expect_in "$p" "$doc/README.md" "$doc/docs/RESULTS.md"
  for page in $pages; do
    while read -r link; do
      expect_in "$p" "$(realpath -m --relative-to=/ "/$(dirname "$page")/$link")"
    done < <(dpkg-deb --fsys-tarfile "$work/out/${p}_${version}_${arch}.deb" |
      tar -xO "./$page" | grep -oE '\]\([^)#:]+' | sed 's/^](//' | sort -u)
  done
done
for size in 16 32 48 64 128; do
  got=$(dpkg-deb --fsys-tarfile "$work/out/posdip_${version}_${arch}.deb" |
    tar -xO "./usr/share/icons/hicolor/${size}x${size}/apps/posdip.png" | file -)
  [[ $got == *"PNG image data, $size x $size"* ]] || fail "the ${size}px icon is: $got"
done

# Control data: computed library dependencies, and the programs' dependency on the library's
# package at exactly this version.
field() { dpkg-deb -f "$work/out/${1}_${version}_${arch}.deb" "$2"; }
for p in "${packages[@]}"; do
  [ "$(field "$p" Package)" = "$p" ] || fail "$p is called $(field "$p" Package)"
  [ "$(field "$p" Version)" = "$version" ] || fail "$p has version $(field "$p" Version)"
  [ -n "$(field "$p" Maintainer)" ] || fail "$p has no maintainer"
  [[ $(field "$p" Depends) == *libc6* ]] || fail "$p: no computed dependencies: $(field "$p" Depends)"
done
for p in posdip posdip-cli; do
  [[ $(field "$p" Depends) == *"posdip-libposdll (= $version)"* ]] ||
    fail "$p does not depend on its library: $(field "$p" Depends)"
done
[[ $(field posdip Depends) == *libqt6widgets6* ]] || fail "posdip does not depend on Qt Widgets"
[[ $(field posdip-emulator Depends) != *posdip-libposdll* ]] ||
  fail "posdip-emulator depends on the library it does not load"
while read -r p name want; do
  [ "$(field "$p" "$name")" = "$want" ] || fail "$p $name: '$(field "$p" "$name")', not '$want'"
done <<'FIELDS'
posdip Recommends posdip-cli
posdip Suggests posdip-emulator
posdip-cli Suggests posdip-emulator, prometheus-node-exporter
posdip-libposdll Recommends libcups2
FIELDS
synopses=$(for p in "${packages[@]}"; do field "$p" Description | head -n 1; done)
[ "$(sort -u <<<"$synopses" | wc -l)" = ${#packages[@]} ] || fail "synopses not distinct: $synopses"
conffiles=$(dpkg-deb -I "$work/out/posdip-cli_${version}_${arch}.deb" conffiles)
[ "$conffiles" = /etc/default/posdip-status ] || fail "posdip-cli's conffiles: $conffiles"

# From an extracted root, in an empty folder, the library found only through the runpath.
root=$work/root
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$root"; done
cd "$work"
cli=$root/usr/bin/posdip-cli
lib=$(realpath -e "$(ldd "$cli" | awk '$1 == "libposdll.so.0" { print $3 }')")
[[ $lib == "$root/usr/$libdir/"* ]] || fail "posdip-cli loads libposdll from '$lib'"
out=$("$cli" --version 2>&1)
[ "$out" = "posdip-cli $version" ] || fail "posdip-cli --version printed: $out"
# Control-flow protection is not among Debian 12's build flags.
for elf in "$root"/usr/bin/* "$root/usr/$libdir"/libposdll.so.0.*; do
  hardening-check --nocfprotection --quiet "$elf" >/dev/null ||
    fail "hardening-check: $(hardening-check --nocfprotection "$elf")"
  ! readelf -S "$elf" | grep -qF .comment || fail "$elf has a .comment section"
done
# The plugin wrapper run with this root's posdip-cli, not /usr/bin's.
sed "s|/usr/bin/|$root/usr/bin/|" "$root/usr/lib/nagios/plugins/check_posdip" >"$work/check_posdip"
# Compared without the time each run took.
untimed() { sed 's/ time=[0-9.]*s$//'; }
want=$("$cli" check --ip 127.0.0.1:1 -t 1 2>&1 | untimed; echo "exit ${PIPESTATUS[0]}")
got=$(sh "$work/check_posdip" --ip 127.0.0.1:1 -t 1 2>&1 | untimed; echo "exit ${PIPESTATUS[0]}")
[ "$got" = "$want" ] || fail "check_posdip gave '$got', posdip-cli check '$want'"
out=$("$cli" store --dry-run 2>&1)
[[ $out == "1F 1B 1F A1 10 11 12 13 14 15 FD"* ]] || fail "posdip-cli store --dry-run printed: $out"

: >"$work/emulator.err" # before the child's redirection, which the first look may precede
"$root/usr/bin/posdip-emulator" --listen 127.0.0.1:0 --count 1 --hex >"$work/frames" 2>"$work/emulator.err" &
emulator_pid=$!
address=""
for _ in $(seq 100); do
  address=$(sed -n 's/.*listening on //p' "$work/emulator.err")
  [ -n "$address" ] && break
  sleep 0.1
done
if [ -z "$address" ]; then
  fail "posdip-emulator did not listen: $(cat "$work/emulator.err")"
else
  out=$("$cli" enable --ip "$address" 2>&1) || fail "posdip-cli enable --ip $address: $out"
  wait "$emulator_pid" || fail "posdip-emulator ended with status $?: $(cat "$work/emulator.err")"
  emulator_pid=""
  grep -qx "enable DIP switch | 1F 1B 1F C0 15 14 13 12 11 10 AA" "$work/frames" || fail "posdip-emulator did not see the enable frame: $(cat "$work/frames")"
fi

# Metadata validators and lintian.
desktop-file-validate "$root/usr/share/applications/posdip.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" ||
  fail "appstreamcli validate"
for page in posdip posdip-cli posdip-emulator; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done
# The units beside this system's own, with this root's posdip-cli and manual page.
units=$root/usr/lib/systemd/system
cp -rn /usr/lib/systemd/system/. "$units"
out=$(MANPATH=$root/usr/share/man systemd-analyze verify --root="$root" \
  "$units/posdip-status.service" "$units/posdip-status.timer" 2>&1) && [ -z "$out" ] ||
  fail "systemd-analyze verify: $out"
wait "$lintian_pid" || fail "lintian reports errors or warnings:"
lintian_pid=""
cat "$work/lintian"

rm -f "$build"/posdip-printers-*.tar.gz
"$cmake" --build "$build" --target posdip_collection >"$work/galaxy.log" 2>&1 ||
  fail "$(cat "$work/galaxy.log")"
tarball=$(ls "$build"/posdip-printers-*.tar.gz)
listing=$(tar -tzf "$tarball")
for f in LICENSE meta/runtime.yml changelogs/changelog.yaml plugins/modules/dip.py; do
  grep -qxF "$f" <<<"$listing" || fail "the collection's tarball '$tarball' lacks $f: $listing"
done
exit $status

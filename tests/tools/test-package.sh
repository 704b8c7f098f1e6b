#!/usr/bin/env bash
# The Debian package: built with scripts/package, unpacked into a scratch root with dpkg-deb -x,
# its files and .desktop entry checked, and the installed station started once with a scratch
# HOME: it must keep its writable files in the per-user folder and ~/RolvanDAP, never beside
# the program.
#   test-package.sh <source folder> <build folder>      exit 77: skipped (a tool is missing)
set -euo pipefail
src="$1"; build="$2"
for tool in dpkg-deb dpkg-shlibdeps desktop-file-validate; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (Debian packages dpkg-dev, desktop-file-utils)"; exit 77
  fi
done

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

ROLVAN_BUILD_DIR="$build" bash "$src/scripts/package" > "$scratch/package.log" 2>&1 \
  || { cat "$scratch/package.log"; fail "scripts/package"; }
version="$(sed -n 's/^project(Rolvan VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")"
deb="$build/rolvan_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no package $deb"

# Declared dependencies: the libraries found by dpkg-shlibdeps and the plugins named by hand.
depends="$(dpkg-deb -f "$deb" Depends)"
for dep in libqt6core6 libqt6widgets6 libsqlite3-0 libqt6sql6-sqlite qt6-qpa-plugins fonts-noto-cjk; do
  grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
lib="$root/usr/lib/rolvan"
for f in usr/lib/rolvan/Rolvan usr/lib/rolvan/rolvanctl usr/lib/rolvan/SampleQuorin.db \
         usr/lib/rolvan/RolvanOK.wav usr/lib/rolvan/RolvanDup.wav usr/lib/rolvan/RolvanError.wav \
         usr/lib/rolvan/unSign.jpg usr/lib/rolvan/NoSign.jpg usr/lib/rolvan/rolvan-installed \
         usr/share/applications/rolvan.desktop usr/share/icons/hicolor/scalable/apps/rolvan.svg; do
  [ -f "$root/$f" ] || fail "missing $f"
done
for size in 16 24 32 48 64 128 256; do
  [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/rolvan.png" ] || fail "missing ${size}px icon"
done
[ "$(readlink "$root/usr/bin/rolvan")" = "../lib/rolvan/Rolvan" ] || fail "usr/bin/rolvan is no link to the program"
[ "$(readlink "$root/usr/bin/rolvanctl")" = "../lib/rolvan/rolvanctl" ] || fail "usr/bin/rolvanctl is no link"
# Nothing writable is shipped: no settings file, no database.
if dpkg-deb -c "$deb" | grep -E 'Rolvan\.ini|/Quorin\.db'; then fail "the package ships writable files"; fi
# Files are not writable by others.
if find "$root/usr" -perm -o+w ! -type l | grep .; then fail "world-writable files"; fi

desktop="$root/usr/share/applications/rolvan.desktop"
desktop-file-validate "$desktop" > "$scratch/validate.log" 2>&1 || { cat "$scratch/validate.log"; fail "desktop-file-validate"; }
grep -E ' error: ' "$scratch/validate.log" && fail "desktop entry errors"
grep -q '^Name=講習教育 簽到退作業$' "$desktop" || fail "desktop entry name"
grep -q '^Categories=Office;Education;$' "$desktop" || fail "desktop entry categories"

# The installed station, once, with a scratch HOME and no ROLVAN_HOME. Its settings name a
# time server on this machine (no request leaves it); the station adds its version records.
# A scratch TMPDIR keeps it apart from stations already running for this user.
home="$scratch/home"
mkdir -p "$home/.local/share/rolvan" "$scratch/tmp"
printf '[Base]\n校時伺服器=127.0.0.1\n' > "$home/.local/share/rolvan/Rolvan.ini"
before="$(cd "$lib" && ls -A | sort)"
shot="$scratch/shot.png"
run=(env -u ROLVAN_HOME -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$home" TMPDIR="$scratch/tmp" ROLVAN_SYNTHETIC_CAMERA=1
     ROLVAN_SCREENSHOT="$shot" ROLVAN_SCREENSHOT_DELAY=4000)
if command -v xvfb-run >/dev/null; then
  timeout 120 "${run[@]}" xvfb-run -a -s "-screen 0 1280x800x24" "$lib/Rolvan" > "$scratch/run.log" 2>&1 \
    || { cat "$scratch/run.log"; fail "the installed station did not run"; }
else
  timeout 120 "${run[@]}" QT_QPA_PLATFORM=offscreen "$lib/Rolvan" > "$scratch/run.log" 2>&1 \
    || { cat "$scratch/run.log"; fail "the installed station did not run"; }
fi
[ -s "$shot" ] || fail "the installed station showed nothing"
grep -q '^DB Version =' "$home/.local/share/rolvan/Rolvan.ini" \
  || { cat "$scratch/run.log"; fail "the station did not write ~/.local/share/rolvan/Rolvan.ini"; }
[ -f "$home/RolvanDAP/Quorin.db" ] || fail "no working database in ~/RolvanDAP"
for d in Backup CSV 查核資料檔案; do [ -d "$home/RolvanDAP/$d" ] || fail "no data folder $d"; done
after="$(cd "$lib" && ls -A | sort)"
[ "$before" = "$after" ] || fail "the station wrote beside the program: $(diff <(echo "$before") <(echo "$after"))"

# The installed command line finds the same station.
env -u ROLVAN_HOME -u XDG_DATA_HOME HOME="$home" "$root/usr/bin/rolvanctl" check > "$scratch/check.log" 2>&1 \
  || { cat "$scratch/check.log"; fail "rolvanctl check on the installed station"; }
echo "PASS: $(basename "$deb")"

#!/usr/bin/env bash
# An installation from the build folder given: the programs, the plug-in where the
# program looks for it, and the desktop files, icons and manual pages in their places;
# then the Debian package made of the same, with the libraries it links as dependencies.
set -euo pipefail
build="$1"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
cmake --install "$build" --prefix "$root/usr" >/dev/null
fail=0
for f in bin/zorvendal bin/zorvendal-analyse bin/zorvendal-mix \
    lib/zorvendal/plugins/dsp_zorvendal.so \
    share/applications/org.zorvendal.Zorvendal.desktop \
    share/metainfo/org.zorvendal.Zorvendal.metainfo.xml \
    share/icons/hicolor/{16x16,32x32,48x48,128x128,256x256}/apps/zorvendal.png \
    share/man/man1/zorvendal.1 share/man/man1/zorvendal-analyse.1 share/man/man1/zorvendal-mix.1; do
    [[ -e "$root/usr/$f" ]] || { echo "missing: $f"; fail=1; }
done
# The desktop entry starts the installed program with the files it opens.
grep -q '^Exec=zorvendal %F$' "$root/usr/share/applications/org.zorvendal.Zorvendal.desktop" ||
    { echo "the desktop entry does not pass files"; fail=1; }
"$root/usr/bin/zorvendal-mix" --help >/dev/null 2>&1 || { echo "zorvendal-mix does not run"; fail=1; }
[[ $fail -eq 0 ]] && echo "ok: installed in place"

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$root/package" >/dev/null ||
    { echo "no package"; exit 1; }
deb="$(ls "$root"/package/zorvendal_*.deb)"
contents="$(dpkg-deb -c "$deb")"
for f in usr/bin/zorvendal usr/bin/zorvendal-mix usr/lib/zorvendal/plugins/dsp_zorvendal.so \
    usr/share/applications/org.zorvendal.Zorvendal.desktop; do
    grep -q "\./$f\$" <<<"$contents" || { echo "not in the package: $f"; fail=1; }
done
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libasound2 libmpg123-0 libportaudio2 libavcodec59 libavformat59 libswresample4 \
    libqt6widgets6; do
    grep -q "$lib" <<<"$depends" || { echo "the package does not depend on $lib"; fail=1; }
done
[[ $fail -eq 0 ]] && echo "ok: packaged"
exit $fail

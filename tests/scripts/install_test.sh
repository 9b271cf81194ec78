#!/usr/bin/env bash
# An installation from the build folder given: the programs, the plug-in where the
# program looks for it, and the desktop files, icons and manual pages in their places.
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
exit $fail

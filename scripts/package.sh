#!/usr/bin/env bash
# package.sh [BUILD-DIR]: builds (default build-package/), makes the Debian package
# halden_<version>_amd64.deb there with CPack, checks it with lintian (no errors), and
# runs the programs unpacked from it: halden --version, and an update of the unpacked
# sample on the built-in simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-package}
scripts/build.sh "$dir" -DHALDEN_WEB=OFF  # the package holds no web page
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls "$dir"/halden_*_amd64.deb)
echo "Packaged $deb"
desktop-file-validate packaging/linux/com.tarnwick.Halden.desktop
appstreamcli validate --no-net --pedantic packaging/linux/com.tarnwick.Halden.metainfo.xml >/dev/null
lintian --fail-on error,warning --suppress-tags-from-file packaging/linux/lintian-overrides.txt "$deb"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
"$unpacked/usr/bin/halden" --version
"$unpacked/usr/bin/halden" update "$unpacked/usr/share/halden/examples/halden-1.5.hfi" \
    --simulate --baud 0
"$unpacked/usr/bin/halden-gui" --version

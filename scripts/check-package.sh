#!/usr/bin/env bash
# Builds the Debian package and checks it: the desktop entry and the AppStream metainfo
# validate, the package holds every file an installation needs, and lintian finds no error.
# Deliberate lintian warnings are listed in CHANGELOG.md.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== desktop entry and metainfo"
desktop-file-validate packaging/*.desktop
appstreamcli validate --no-net packaging/*.metainfo.xml

echo "== package"
rm -f build/package/qelpserver_*.deb
cmake --workflow --preset package
deb=$(ls build/package/qelpserver_*.deb)
echo "$deb"

contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}' | sed 's#^\./#/#')
missing=0
for path in \
    /usr/bin/qelpserver /usr/bin/qelpsim /usr/bin/qelp-profile /usr/bin/qelp-reg /usr/bin/qelp-check \
    /usr/share/qelpserver/graphics/1.ico /usr/share/qelpserver/graphics/4.ico \
    /usr/share/applications/invalid.qelp.qelpserver.desktop \
    /usr/share/metainfo/invalid.qelp.qelpserver.metainfo.xml \
    /usr/share/icons/hicolor/16x16/apps/qelpserver.png \
    /usr/share/icons/hicolor/48x48/apps/qelpserver.png \
    /usr/share/icons/hicolor/256x256/apps/qelpserver.png \
    /usr/share/icons/hicolor/scalable/apps/qelpserver.svg \
    /usr/share/man/man1/qelpserver.1.gz /usr/share/man/man1/qelpsim.1.gz \
    /usr/share/man/man1/qelp-profile.1.gz /usr/share/man/man1/qelp-reg.1.gz /usr/share/man/man1/qelp-check.1.gz \
    /usr/share/doc/qelpserver/copyright; do
    if ! grep -qxF "$path" <<<"$contents"; then
        echo "missing from the package: $path" >&2
        missing=1
    fi
done
control=$(dpkg-deb --info "$deb")
for script in postinst postrm; do
    grep -q " $script" <<<"$control" || { echo "missing maintainer script: $script" >&2; missing=1; }
done
# The libraries come from dpkg-shlibdeps: Qt's widgets library must be among them.
grep -q "^ Depends:.*libqt6widgets6" <<<"$control" || { echo "no computed dependencies" >&2; missing=1; }
((missing == 0))

echo "== lintian"
# Errors fail the check; warnings are shown and the deliberate ones are in CHANGELOG.md.
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "The package is complete: $deb"

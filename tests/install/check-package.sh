#!/usr/bin/env bash
# Builds the Debian package from the build tree and has lintian check it: check-package.sh <build folder> <output folder>
# Fails on any error lintian reports; its warnings and notes are shown.
set -euo pipefail
rm -rf "$2"
cpack -G DEB --config "$1/CPackConfig.cmake" -B "$2"
package=("$2"/*.deb)
dpkg-deb --info "${package[0]}"
lintian --pedantic --display-info --fail-on error "${package[0]}"

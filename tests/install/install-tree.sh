#!/usr/bin/env bash
# Installs the build tree into a fresh prefix: install-tree.sh <build folder> <prefix>
set -euo pipefail
rm -rf "$2"
cmake --install "$1" --prefix "$2"

#!/usr/bin/env bash
# Installs what the build needs (Debian 12), builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
source tools/packages.sh
ensure_packages
cmake --preset default
cmake --build --preset default -j "$(nproc)"
ctest --preset default -j "$(nproc)"

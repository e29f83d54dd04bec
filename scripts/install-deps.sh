#!/usr/bin/env bash
# Installs the Debian packages the agent needs that are not installed yet.
# Usage: scripts/install-deps.sh build|test
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lists=("$here/packages-build.txt")
[ "${1:-build}" = test ] && lists+=("$here/packages-test.txt")

missing=()
for pkg in $(grep -hv '^\s*#' "${lists[@]}"); do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing missing packages: ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"

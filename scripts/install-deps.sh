#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the agent needs that are not installed yet.
# Usage: scripts/install-deps.sh build|test
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lists=("$here/packages-build.txt")
[ "${1:-build}" = test ] && lists+=("$here/packages-test.txt")

# Names that installed packages provide count as installed: a Node.js build that bundles
# npm provides "npm" and conflicts with Debian's own.
provided=" $(dpkg-query -W -f='${db:Status-Abbrev} ${Provides}\n' 2>/dev/null |
             awk '/^ii/ { $1 = ""; print }' | tr ',' '\n' | sed 's/(.*)//; s/ //g' |
             tr '\n' ' ') "

missing=()
for pkg in $(grep -hv '^\s*#' "${lists[@]}"); do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || [[ "$provided" == *" $pkg "* ]] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing missing packages: ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the npm packages of a folder of ours exactly as its lock file says, into another
# folder (a build folder), with the cache preferred over the network.
# Usage: scripts/install-node-deps.sh <folder with package.json and package-lock.json> <dest>
set -euo pipefail
source "$(dirname "$0")/programs.sh"
src=$1
dest=$2
if ! command -v npm >/dev/null; then
    echo "npm is missing: run scripts/install-deps.sh test" >&2
    exit 1
fi
node_major=$(listed node -p 'process.versions.node.split(".")[0]')
# Debian 12's own Node.js is 18.
if [ "$node_major" -lt 18 ]; then
    echo "Node.js 18 or later is needed for the page tests; this is $(node --version)" >&2
    exit 1
fi
mkdir -p "$dest"
cp "$src/package.json" "$src/package-lock.json" "$dest/"
cd "$dest"
# The tests use Debian's Chromium: no package may fetch a browser of its own.
PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 listed npm ci --prefer-offline --ignore-scripts --no-audit --no-fund

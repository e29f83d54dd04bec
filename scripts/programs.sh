# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by our shell scripts. `listed PROGRAM ARGS...` runs a program of
# scripts/programs.txt, and refuses any other, as the test harnesses do. The tools every Debian
# system has (coreutils, grep, sed...) are listed as well, and called directly.
programs_list="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/programs.txt"

listed() {
    if ! grep -qxF -- "$1" "$programs_list"; then
        echo "$1 is not in scripts/programs.txt: list it there, and its package in" \
            "scripts/packages-*.txt" >&2
        return 127
    fi
    # Started in the background, the program itself is the job, so that killing it stops it.
    if ((BASH_SUBSHELL)); then exec "$@"; fi
    "$@"
}

# SPDX-License-Identifier: GPL-3.0-or-later
"""Only the programs of scripts/programs.txt, which scripts/check-programs.py finds in the
package lists, may be started, by the name they are listed under; and our own builds."""
import os
import shutil
import sys

ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
LIST = os.path.join(ROOT, "scripts", "programs.txt")

with open(LIST) as f:
    LISTED = {word for word in (line.split("#", 1)[0].strip() for line in f) if word}
OURS = {os.path.realpath(os.environ[name]) for name in ("OLVANE_BINARY", "OLVANE_X11_WINDOW")
        if name in os.environ}


def copy_of(program, folder):
    """A listed program's copy, without the file capabilities that a container may refuse."""
    assert program in LISTED, program
    OURS.add(os.path.realpath(shutil.copy(program, folder)))
    return os.path.join(folder, os.path.basename(program))


def ours(program):
    path = os.path.realpath(program)
    return os.path.isabs(program) and (path in OURS or path.startswith(ROOT + os.sep))


def _refuse_unlisted(event, args):
    if event != "subprocess.Popen":
        return
    argv = [os.fsdecode(a) for a in ([args[1]] if isinstance(args[1], (str, bytes)) else args[1])]
    # `ip netns exec NAME program...` starts a program of its own.
    started = [argv[0]] + (argv[4:5] if argv[:3] == ["ip", "netns", "exec"] else [])
    for program in started:
        if program not in LISTED and not ours(program):
            raise RuntimeError("%s is not in %s: list it there, and its package in "
                               "scripts/packages-test.txt" % (program, LIST))


sys.addaudithook(_refuse_unlisted)

#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fails, naming the program and its package, when a program of programs.txt comes from a
Debian package that the package lists do not install (nor any package they depend on, nor one
every Debian system has): a fresh machine would not have it, whatever this one has.

Usage: check-programs.py [folder]   (the folder with programs.txt and packages-*.txt;
                                     by default this script's own)
"""
import glob
import os
import re
import shutil
import subprocess
import sys


def names(path):
    with open(path) as f:
        return [word for word in (line.split("#", 1)[0].strip() for line in f) if word]


def bare(name):
    """A package name without its version, architecture or qualifier."""
    return re.sub(r"[\s(:].*", "", name.strip())


def installed():
    """Installed packages: whether every system has them, and their dependencies (each a list
    of alternatives); and who provides each virtual package."""
    fields = "${Package}\t${db:Status-Abbrev}\t${Essential}\t${Priority}\t" \
             "${Pre-Depends}, ${Depends}\t${Provides}\n"
    out = subprocess.run(["dpkg-query", "-W", "-f=" + fields], capture_output=True, text=True,
                         check=True).stdout
    packages, providers = {}, {}
    for line in out.splitlines():
        name, status, essential, priority, depends, provides = line.split("\t")
        if not status.startswith("ii"):
            continue
        groups = [[bare(a) for a in group.split("|")] for group in depends.split(",")
                  if group.strip()]
        packages[name] = (essential == "yes" or priority == "required", groups)
        for virtual in filter(None, map(bare, provides.split(","))):
            providers.setdefault(virtual, []).append(name)
    return packages, providers


def closure(wanted, packages, providers):
    """The listed packages and everything they bring along, as installed here."""
    seen, todo = set(), list(wanted)
    while todo:
        name = todo.pop()
        for real in [name] + providers.get(name, []):
            if real in packages and real not in seen:
                seen.add(real)
                todo.extend(a for group in packages[real][1] for a in group)
    return seen


def merged(path):
    """The name dpkg may know a file of the merged /usr under."""
    return re.sub(r"^/usr/(s?bin|lib)/", r"/\1/", path)


def owners(paths):
    """The package that installed each file, asked of dpkg at once."""
    asked = sorted(set(paths) | {merged(p) for p in paths})
    out = subprocess.run(["dpkg", "-S"] + asked, capture_output=True, text=True).stdout
    found = {}
    for line in out.splitlines():
        if not line.startswith("diversion") and ": " in line:
            package, path = line.split(": ", 1)
            found[path] = bare(package.split(",")[0])
    return lambda path: found.get(path) or found.get(merged(path))


def problem(program, path, owner, listed, packages):
    if not path or not os.access(path, os.X_OK):
        return "%s is not installed: no package of the lists provides it" % program
    package = owner(os.path.realpath(path)) or owner(path)
    if package is None:
        return "%s (%s) comes from no Debian package" % (program, os.path.realpath(path))
    if package in listed or packages.get(package, (False,))[0]:
        return None
    return "%s (%s) comes from the package %s, which no list installs" % (
        program, os.path.realpath(path), package)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    lists = sorted(glob.glob(os.path.join(folder, "packages-*.txt")))
    packages, providers = installed()
    listed = closure([p for path in lists for p in names(path)], packages, providers)
    programs = names(os.path.join(folder, "programs.txt"))
    paths = {p: p if os.path.isabs(p) else shutil.which(p) for p in programs}
    found = [path for path in paths.values() if path]
    owner = owners(found + [os.path.realpath(path) for path in found])
    problems = [p for p in (problem(program, paths[program], owner, listed, packages)
                            for program in programs) if p]
    for p in problems:
        print(p, file=sys.stderr)
    if problems:
        sys.exit("Add the packages to %s, or the tests fail on a fresh machine." %
                 " or ".join(os.path.basename(path) for path in lists))


main()

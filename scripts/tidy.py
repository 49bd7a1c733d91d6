#!/usr/bin/env python3
"""Runs clang-tidy's checks on every C++ source of the project, in combined translation units.

Most of clang-tidy's time goes into parsing and matching the standard library's, Qt's and
GoogleTest's headers, again for every file. So the sources that are compiled alike (the same
compile command but for the file) and checked alike (the same .clang-tidy) are checked as one
unit that includes them all: the headers are parsed and matched once per unit, and each project
header's findings are found once. Findings in the included sources are reported as in their
own files (the header filter is widened to them). A unit that does not compile as one, because
two of its sources define the same name, is split in halves until its parts do; a single source
is checked on its own, as clang-tidy would check it anyway. Programs (their main) and fuzz
targets are never combined with one another.

Usage: scripts/tidy.py BUILD-FOLDER SOURCE... (the build folder holds compile_commands.json)
"""

import concurrent.futures
import itertools
import json
import os
import re
import shlex
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
UNITS = os.path.join(ROOT, "build", "lint")
JOBS = 2
ENTRY_POINT = re.compile(r"^\s*(int\s+main|extern\s+\"C\"\s+int\s+LLVMFuzzerTestOneInput)\s*\(", re.M)
GENERATED_LINE = re.compile(r"^\d+ warnings? (and \d+ errors? )?generated\.$")


def config_folder(source):
    """The folder whose .clang-tidy applies to the source: the nearest one above it."""
    folder = os.path.dirname(source)
    while not os.path.exists(os.path.join(folder, ".clang-tidy")):
        folder = os.path.dirname(folder)
    return folder


def flags_without_file(entry):
    """The compile command less the source, the object and the dependency file it names."""
    arguments = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    kept, skip = [], False
    for argument in arguments:
        if skip:
            skip = False
        elif argument in ("-o", "-c", "-MF", "-MT", "-MQ"):
            skip = True
        elif argument not in ("-MD", "-MMD") and os.path.abspath(os.path.join(entry["directory"], argument)) != entry["file"]:
            kept.append(argument)
    return kept


def header_filter():
    """The root configuration's header filter, widened from headers to the sources included."""
    with open(os.path.join(ROOT, ".clang-tidy"), encoding="utf-8") as config:
        regex = re.search(r"^HeaderFilterRegex:\s*'(.*)'\s*$", config.read(), re.M).group(1)
    return regex.replace(r"\.h$", r"\.(h|cpp)$")


def groups_of(sources, database):
    """Sources compiled and checked alike, with at most one program or fuzz target in each."""
    ordinary, programs, groups = {}, {}, []
    for source in sources:
        entry = database.get(source)
        if entry is None:  # not built here: clang-tidy guesses its flags from its neighbours
            groups.append([source])
            continue
        key = (entry["directory"], tuple(flags_without_file(entry)), config_folder(source))
        with open(source, encoding="utf-8") as text:
            kind = programs if ENTRY_POINT.search(text.read()) else ordinary
        kind.setdefault(key, []).append(source)
    for key in sorted(set(ordinary) | set(programs)):
        mains = programs.get(key, [])
        groups.append(ordinary.get(key, []) + mains[:1])
        groups.extend([main] for main in mains[1:])
    return groups


class Checker:
    def __init__(self, build, database):
        self.build = build
        self.database = database
        self.filter = header_filter()
        self.unit_numbers = itertools.count(1)
        os.makedirs(UNITS, exist_ok=True)

    def run_alone(self, source):
        command = ["clang-tidy", "-p", self.build, "--quiet", source]
        return self.run(command)

    def run_unit(self, sources):
        if len(sources) == 1:
            return self.run_alone(sources[0])
        number = next(self.unit_numbers)
        folder = os.path.join(UNITS, os.path.relpath(config_folder(sources[0]), ROOT))
        os.makedirs(folder, exist_ok=True)
        unit = os.path.join(folder, "unit-%d.cpp" % number)
        with open(unit, "w", encoding="utf-8") as text:
            for source in sources:
                text.write('#include "%s"  // NOLINT(bugprone-suspicious-include)\n' % source)
        entry = self.database[sources[0]]
        arguments = flags_without_file(entry) + ["-c", unit]
        unit_database = os.path.join(folder, "unit-%d" % number)
        os.makedirs(unit_database, exist_ok=True)
        with open(os.path.join(unit_database, "compile_commands.json"), "w", encoding="utf-8") as text:
            json.dump([{"directory": entry["directory"], "file": unit, "arguments": arguments}], text)
        config = os.path.join(config_folder(sources[0]), ".clang-tidy")
        command = ["clang-tidy", "-p", unit_database, "--quiet", "--config-file=" + config,
                   "--header-filter=" + self.filter, unit]
        status, output = self.run(command)
        if "[clang-diagnostic-error]" in output:
            # Two sources clash when combined; check the halves apart.
            half = len(sources) // 2
            first = self.run_unit(sources[:half])
            second = self.run_unit(sources[half:])
            return max(first[0], second[0]), first[1] + second[1]
        return status, output

    @staticmethod
    def run(command):
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, check=False)
        lines = [line for line in done.stdout.splitlines() if not GENERATED_LINE.match(line)]
        return done.returncode, "\n".join(lines) + ("\n" if lines else "")


def main():
    build, sources = sys.argv[1], [os.path.abspath(source) for source in sys.argv[2:]]
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as text:
        database = {os.path.abspath(os.path.join(entry["directory"], entry["file"])): entry for entry in json.load(text)}
    checker = Checker(build, database)
    groups = sorted(groups_of(sources, database), key=len, reverse=True)
    failed = False
    seen = set()
    with concurrent.futures.ThreadPoolExecutor(max_workers=JOBS) as pool:
        for status, output in pool.map(checker.run_unit, groups):
            failed = failed or status != 0
            # A header's finding shows in every unit that includes it: once is enough.
            for block in re.split(r"\n(?=\S+:\d+:\d+: )", output.strip()):
                if block and block not in seen:
                    seen.add(block)
                    print(block)
    print("clang-tidy: %d files in %d units%s" % (len(sources), len(groups), ", with findings" if failed else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

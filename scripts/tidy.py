#!/usr/bin/env python3
"""Runs clang-tidy's checks on every C++ source of the project, in combined translation units.

Most of clang-tidy's time goes into parsing and matching the standard library's, Qt's and
GoogleTest's headers, again for every source. So the sources that are compiled alike and checked
alike (the same configuration, from whichever .clang-tidy files) are checked as one unit that holds them all: the headers are
parsed and matched once per unit, and each project header's findings are found once. Sources
of different targets join one unit when only their macros and include folders differ (the
unit gets all of them) and no macro differs in value. The unit holds the sources' text rather
than including them: the static analyser follows paths only through the functions of the main
file, so it would check no included source. Findings are reported in the sources' own files
and lines, translated from the unit's.

Sources can clash when combined: two files' helpers of the same name. A unit that does not
compile is checked again in parts: the sources its errors are in move to a unit of their own,
until every unit compiles. Each split checks those sources once more, so it is reported: the
unity build keeps clashes out of one target's batch, not across batches and targets. Programs
(their main) and fuzz targets share units too: in a unit, each entry point after the first is
renamed by a macro around its source, and a renamed main is named to the check that main
must not throw, so that every entry point is still checked as one.

The static analyser runs in its shallow mode (smaller path and inlining budgets), which still
follows each function's paths; with ZENIVOR_TIDY_DEEP=1 in the environment it runs deep, and
the whole lint takes about twice as long.

Usage: scripts/tidy.py BUILD-FOLDER SOURCE... (the build folder holds compile_commands.json)
"""

import bisect
import concurrent.futures
import itertools
import json
import os
import re
import shlex
import subprocess
import sys
import time
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
UNITS = None  # the build folder's lint/, where the units and their configurations are written
JOBS = 2
ENTRY_POINT = re.compile(r"^\s*(int\s+main|extern\s+\"C\"\s+int\s+LLVMFuzzerTestOneInput)\s*\(", re.M)
MAIN = re.compile(r"^\s*int\s+main\s*\(", re.M)
# What an entry point after a unit's first is renamed to, numbered by its source.
ENTRY_POINTS = {"main": "ZenivorEntryPoint", "LLVMFuzzerTestOneInput": "ZenivorFuzzEntryPoint"}
GENERATED_LINE = re.compile(r"^\d+ warnings? (and \d+ errors? )?generated\.$")
COMPILE_ERROR = re.compile(r"^(/[^:]+):\d+:\d+: error: .*\[clang-diagnostic-error\]$", re.M)
# A unity build compiles sources through generated files that include them.
UNITY_SOURCE = re.compile(r"/Unity/unity_\w+\.cxx$")
UNITY_INCLUDE = re.compile(r'^#include "([^"]+)"$', re.M)


CONFIGS = {}


def config_of(source):
    """The configuration that applies to the source, whole (its folder's .clang-tidy merged with
    those it inherits), as a file: folders whose configurations agree share it."""
    folder = os.path.dirname(source)
    if folder not in CONFIGS:
        dumped = subprocess.run(["clang-tidy", "--dump-config", os.path.join(folder, "any.cpp")],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, check=True).stdout
        # clang-tidy 14 dumps a HungarianPrefix option for every kind of name, then refuses those
        # of functions, methods, namespaces and a few more as invalid when it reads them back.
        dumped = re.sub(r"  - key: +readability-identifier-naming\.\w+HungarianPrefix\n +value: .*\n", "", dumped)
        path = os.path.join(UNITS, "config-%08x.yaml" % (zlib.crc32(dumped.encode()) & 0xFFFFFFFF))
        os.makedirs(UNITS, exist_ok=True)
        with open(path, "w", encoding="utf-8") as text:
            text.write(dumped)
        CONFIGS[folder] = path
    return CONFIGS[folder]


def with_mains_not_throwing(config, mains, folder):
    """The configuration, or a copy of it in folder naming the renamed mains to the check that
    no exception escapes main."""
    if not mains:
        return config
    with open(config, encoding="utf-8") as text:
        dumped = text.read()
    option = "  - key:             bugprone-exception-escape.FunctionsThatShouldNotThrow\n    value:           "
    dumped, count = re.subn(re.escape(option) + r"'([^'\n]*)'", lambda match: option + "'" + ",".join(
        ([match.group(1)] if match.group(1) else []) + mains) + "'", dumped)
    if count != 1:
        raise SystemExit("tidy.py: no FunctionsThatShouldNotThrow option in " + config)
    path = os.path.join(folder, "config.yaml")
    with open(path, "w", encoding="utf-8") as text:
        text.write(dumped)
    return path


class Command:
    """A source's compile command, split into its macros, its include folders and the rest."""

    def __init__(self, entry):
        arguments = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
        self.directory = entry["directory"]
        self.defines, self.includes, self.rest = {}, [], []
        taken = iter(arguments)
        for argument in taken:
            if argument in ("-o", "-c", "-MF", "-MT", "-MQ"):
                next(taken, None)
            elif argument in ("-MD", "-MMD", "-fPIC") or re.fullmatch(r"-O[0-3sgz]?", argument):
                # The optimisation level changes no check: a source built at another one still
                # joins its neighbours' unit.
                continue
            elif argument.startswith("-D"):
                name, _, value = argument[2:].partition("=")
                self.defines[name] = value
            elif argument.startswith("-I"):
                self.includes.append(("-I", argument[2:]))
            elif argument == "-isystem":
                self.includes.append(("-isystem", next(taken, "")))
            elif os.path.abspath(os.path.join(self.directory, argument)) != os.path.abspath(entry["file"]):
                self.rest.append(argument)

    def key(self):
        return (self.directory, tuple(self.rest))


class Group:
    """Sources checked as one unit, with the macros and include folders of all of them."""

    def __init__(self, command, config):
        self.command, self.config = command, config
        self.sources, self.defines, self.includes = [], {}, []

    def takes(self, command):
        return not any(self.defines.get(name, value) != value for name, value in command.defines.items())

    def add(self, source, command):
        self.sources.append(source)
        self.defines.update(command.defines)
        self.includes += [include for include in command.includes if include not in self.includes]

    def arguments(self, unit):
        compiler, *rest = self.command.rest
        defines = ["-D%s=%s" % item if item[1] else "-D" + item[0] for item in self.defines.items()]
        includes = [part for kind, folder in self.includes for part in ((kind + folder,) if kind == "-I" else (kind, folder))]
        return [compiler] + defines + includes + rest + ["-c", unit]

    def part(self, sources, database):
        """A group of some of these sources, for when they cannot all be one unit."""
        group = Group(self.command, self.config)
        for source in sources:
            group.add(source, Command(database[source]))
        return group


def groups_of(sources, database):
    """Sources compiled and checked alike; those not built here stand alone."""
    alone, groups = [], {}
    for source in sources:
        if source not in database:  # clang-tidy guesses its flags from its neighbours
            alone.append(source)
            continue
        command = Command(database[source])
        candidates = groups.setdefault((command.key(), config_of(source)), [])
        group = next((group for group in candidates if group.takes(command)), None)
        if group is None:
            group = Group(command, config_of(source))
            candidates.append(group)
        group.add(source, command)
    return alone, [group for candidates in groups.values() for group in candidates]


class Checker:
    def __init__(self, database):
        self.database = database
        self.numbers = itertools.count(1)
        depth = "deep" if os.environ.get("ZENIVOR_TIDY_DEEP") == "1" else "shallow"
        self.analyser = ["--extra-arg=-Xclang", "--extra-arg=-analyzer-config", "--extra-arg=-Xclang",
                         "--extra-arg=mode=" + depth]

    def check_alone(self, source):
        return self.run(["clang-tidy", "-p", UNITS, "--quiet"] + self.analyser + [source])

    def check_group(self, group):
        if len(group.sources) == 1:
            return self.check_alone(group.sources[0])
        number = next(self.numbers)
        folder = os.path.join(UNITS, "unit-%d" % number)
        os.makedirs(folder, exist_ok=True)
        unit = os.path.join(folder, "unit.cpp")
        starts, renamed_mains = write_unit(unit, group.sources)
        with open(os.path.join(folder, "compile_commands.json"), "w", encoding="utf-8") as text:
            json.dump([{"directory": group.command.directory, "file": unit, "arguments": group.arguments(unit)}], text)
        config = with_mains_not_throwing(group.config, renamed_mains, folder)
        command = ["clang-tidy", "-p", folder, "--quiet", "--config-file=" + config, *self.analyser, unit]
        status, checked = self.run(command[:-1] + ["--extra-arg=-ferror-limit=0", unit])
        checked = in_sources(checked, unit, starts)
        clashing = {path for path in COMPILE_ERROR.findall(checked) if path in group.sources}
        if "[clang-diagnostic-error]" in checked:
            # Each split checks the sources again: say so, so that the clash gets mended.
            sys.stderr.write("clang-tidy: %d sources did not compile as one unit (%s); checking them in parts\n"
                             % (len(group.sources), ", ".join(os.path.relpath(path, ROOT) for path in sorted(clashing)) or "no source named"))
            if not clashing or len(clashing) == len(group.sources):
                half = len(group.sources) // 2
                parts = [group.sources[:half], group.sources[half:]]
            else:
                parts = [[source for source in group.sources if source not in clashing], sorted(clashing)]
            results = [self.check_group(group.part(sources, self.database)) for sources in parts]
            return max(status for status, _ in results), "".join(output for _, output in results)
        return status, checked

    @staticmethod
    def run(command):
        start = time.monotonic()
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, check=False)
        if os.environ.get("ZENIVOR_TIDY_TIMES"):  # where the time goes, to keep the units cheap
            sys.stderr.write("%6.1f s  %s\n" % (time.monotonic() - start, " ".join(command[-2:])))
        lines = [line for line in done.stdout.splitlines() if not GENERATED_LINE.match(line)]
        return done.returncode, "\n".join(lines) + ("\n" if lines else "")


def write_unit(unit, sources):
    """Writes the sources' text into the unit, each entry point after the first renamed by a
    macro around its source. Gives, for each source, the unit's line where its part begins,
    the source and the unit's line of its own first; and the names the renamed mains took."""
    starts, renamed_mains, seen_entry_point, line = [], [], False, 1
    with open(unit, "w", encoding="utf-8") as text:
        for index, source in enumerate(sources):
            with open(source, encoding="utf-8") as code:
                content = code.read().rstrip("\n") + "\n"
            entry_point = bool(ENTRY_POINT.search(content))
            renamed, seen_entry_point = seen_entry_point and entry_point, seen_entry_point or entry_point
            renames = "".join("#define %s %s%d  // %s's, renamed for the lint\n"
                              % (name, alias, index, os.path.basename(source))
                              for name, alias in ENTRY_POINTS.items()) if renamed else ""
            undoes = "".join("#undef %s\n" % name for name in ENTRY_POINTS) if renamed else ""
            if renamed and MAIN.search(content):
                renamed_mains.append("%s%d" % (ENTRY_POINTS["main"], index))
            starts.append((line, source, line + renames.count("\n")))
            text.write(renames + content + undoes)
            line += (renames + content + undoes).count("\n")
    return starts, renamed_mains


def in_sources(output, unit, starts):
    """The output with the unit's lines named as the lines of the sources it holds (the lint's
    own lines before a source as its first)."""
    lines = [line for line, _, _ in starts]

    def located(match):
        line = int(match.group(1))
        _, source, first = starts[bisect.bisect_right(lines, line) - 1]
        return "%s:%d:" % (source, max(1, line - first + 1))

    return re.sub(re.escape(unit) + r":(\d+):", located, output)


def read_database(build):
    """The build's compile commands by source, a unity build's files taken apart into the
    sources they include, each with its unity file's command; kept in UNITS for clang-tidy."""
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as text:
        entries = json.load(text)
    database = {}
    for entry in entries:
        path = os.path.abspath(os.path.join(entry["directory"], entry["file"]))
        if not UNITY_SOURCE.search(path):
            database[path] = entry
            continue
        arguments = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
        with open(path, encoding="utf-8") as text:
            for source in UNITY_INCLUDE.findall(text.read()):
                database[source] = {"directory": entry["directory"], "file": source,
                                    "arguments": [source if argument == entry["file"] else argument
                                                  for argument in arguments]}
    os.makedirs(UNITS, exist_ok=True)
    with open(os.path.join(UNITS, "compile_commands.json"), "w", encoding="utf-8") as text:
        json.dump(list(database.values()), text)
    return database


def main():
    global UNITS
    build, sources = sys.argv[1], [os.path.abspath(source) for source in sys.argv[2:]]
    # Each build's own: two lints at once, the lint test's among them, never write one another's.
    UNITS = os.path.join(os.path.abspath(build), "lint")
    database = read_database(build)
    checker = Checker(database)
    alone, groups = groups_of(sources, database)
    # The largest first, so that both cores stay busy to the end.
    work = sorted([(len(group.sources), checker.check_group, group) for group in groups] +
                  [(1, checker.check_alone, source) for source in alone], key=lambda item: -item[0])
    failed, seen = False, set()
    with concurrent.futures.ThreadPoolExecutor(max_workers=JOBS) as pool:
        for status, output in pool.map(lambda item: item[1](item[2]), work):
            failed = failed or status != 0
            # A header's finding shows in every unit that includes it: once is enough.
            for block in re.split(r"\n(?=\S+:\d+:\d+: )", output.strip()):
                if block and block not in seen:
                    seen.add(block)
                    print(block)
    print("clang-tidy: %d files in %d units%s" % (len(sources), len(work), ", with findings" if failed else " without findings"))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

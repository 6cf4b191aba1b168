#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs clang-tidy (checks in .clang-tidy) and clazy (checks in .clazy) over every source file of
ours in a build's compile_commands.json, several files at a time.

A file that comes out clean is remembered by a digest of everything its compilation read (the
build's dependency record: the file, every header, generated ones included), the command that
compiled it, the checks and the tools' versions; next time it is skipped unless one of those
changed. The checkout's and the build's folders count as placeholders in the digest, so that
another clone of the same code on this machine (CI's) finds the files already clean. Findings
are printed once each, even when a header's finding shows in many files.

Usage: lint.py BUILD_DIR [--jobs N] [--no-cache] [FILE...]
"""
import argparse
import concurrent.futures
import hashlib
import json
import os
import re
import shlex
import subprocess
import sys
import time

ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", ".."))
OWN_FOLDERS = ("core", "app", "ui", "cli", "fileprovider", "service", "tests", "bench", "tools")
CLANG_TIDY = "clang-tidy-16"
CLAZY = "clazy-standalone"
FINDING = re.compile(r"^(\S+?):(\d+):(\d+): (warning|error): (.*)$")


def own_pattern():
    return "^" + re.escape(ROOT) + "/(" + "|".join(OWN_FOLDERS) + ")/"


def clazy_checks():
    with open(os.path.join(ROOT, ".clazy"), encoding="utf-8") as listing:
        lines = (line.split("#", 1)[0].strip() for line in listing)
        return ",".join(line for line in lines if line)


def version(tool):
    return subprocess.run([tool, "--version"], capture_output=True, text=True).stdout


def compiled_sources(build):
    """The build's compile commands for files of ours; generated sources (moc) are left out."""
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as database:
        entries = json.load(database)
    own = re.compile(own_pattern())
    sources = {}
    for entry in entries:
        path = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
        if own.match(path) and not path.startswith(os.path.realpath(build) + os.sep):
            sources[path] = entry
    return sources


def object_file(entry):
    """The object a compile command writes: its "output", or, where CMake leaves that out,
    the argument of -o."""
    if "output" in entry:
        return entry["output"]
    arguments = entry.get("arguments") or shlex.split(entry.get("command", ""))
    for option, value in zip(arguments, arguments[1:]):
        if option == "-o":
            return value
    return ""


def recorded_dependencies(build):
    """Object file -> the files its last compilation read, from ninja's dependency log."""
    log = subprocess.run(["ninja", "-C", build, "-t", "deps"], capture_output=True, text=True)
    dependencies, current = {}, None
    for line in log.stdout.splitlines():
        if not line.strip():
            current = None
        elif not line[0].isspace():
            output, _, state = line.partition(":")
            current = [] if "VALID" in state else None
            if current is not None:
                dependencies[output] = current
        elif current is not None:
            current.append(os.path.normpath(os.path.join(build, line.strip())))
    return dependencies


class Digests:
    def __init__(self, settings, build):
        self.settings = settings
        self.places = [(os.path.realpath(build), "<build>"), (ROOT, "<root>")]
        self.files = {}

    def placeless(self, text):
        for folder, placeholder in self.places:
            text = text.replace(folder, placeholder)
        return text

    def of_file(self, path):
        if path not in self.files:
            try:
                with open(path, "rb") as contents:
                    text = contents.read().decode("utf-8", "surrogateescape")
                self.files[path] = hashlib.sha256(
                    self.placeless(text).encode("utf-8", "surrogateescape")).hexdigest()
            except OSError:
                self.files[path] = "missing"
        return self.files[path]

    def of_compilation(self, entry, dependencies):
        digest = hashlib.sha256(self.settings.encode())
        digest.update(self.placeless(json.dumps(entry, sort_keys=True)).encode())
        for path in dependencies:
            digest.update(f"{self.placeless(path)}\0{self.of_file(path)}\0".encode())
        return digest.hexdigest()


def closing(text, start, opening, closing_character):
    """Index just past the bracket that closes the one at `start`."""
    depth = 0
    for index in range(start, len(text)):
        if text[index] == opening:
            depth += 1
        elif text[index] == closing_character:
            depth -= 1
            if depth == 0:
                return index + 1
    return len(text)


def top_level_parts(text):
    parts, depth, current = [], 0, ""
    for character in text:
        if character in "<([{":
            depth += 1
        elif character in ">)]}":
            depth -= 1
        if character == "," and depth == 0:
            parts.append(current)
            current = ""
        else:
            current += character
    return parts + [current] if current.strip() else parts


COROUTINE_NAME = re.compile(r"\s*([A-Za-z_][\w:~]*)\s*\(")
REFERENCE_RULE = "cppcoreguidelines-avoid-reference-coroutine-parameters"


def coroutine_reference_parameters(path):
    """A coroutine's reference parameter dangles across its first suspension. clang-tidy 16's
    check for it also reports every parameter declared inside a coroutine's body (lambdas', and
    the implicit constructors of every closure made there), so it is off in .clang-tidy and this
    reads the declarations instead: a function returning a Task<...> whose parameter is a
    reference, unless the line before says NOLINTNEXTLINE for the rule."""
    with open(path, encoding="utf-8", errors="replace") as source:
        text = source.read()
    findings = []
    for task in re.finditer(r"\bTask<", text):
        after = closing(text, task.end() - 1, "<", ">")
        name = COROUTINE_NAME.match(text, after)
        if not name:
            continue
        opening = name.end() - 1
        parameters = text[opening + 1:closing(text, opening, "(", ")") - 1]
        for parameter in top_level_parts(parameters):
            declared = parameter.split("=", 1)[0]
            if "&" not in re.sub(r"<.*>", "", declared):
                continue
            indent = len(parameter) - len(parameter.lstrip())
            offset = opening + 1 + parameters.index(parameter) + indent
            line = text.count("\n", 0, offset) + 1
            previous = text.split("\n")[line - 2] if line > 1 else ""
            if f"NOLINTNEXTLINE({REFERENCE_RULE})" in previous:
                continue
            column = offset - text.rfind("\n", 0, offset)
            findings.append(f"{path}:{line}:{column}: error: coroutine parameters should not be "
                            f"references ({declared.strip()}) [{REFERENCE_RULE}]")
    return findings


def own_files():
    for folder in OWN_FOLDERS:
        for directory, _, names in os.walk(os.path.join(ROOT, folder)):
            for name in sorted(names):
                if name.endswith((".cpp", ".h")):
                    yield os.path.join(directory, name)


def findings_of(output):
    return [line for line in output.splitlines() if FINDING.match(line)]


def lint_file(build, path, checks):
    header_filter = own_pattern()
    tidy = subprocess.run(
        [CLANG_TIDY, "-p", build, "--quiet", f"--header-filter={header_filter}",
         "--extra-arg=-Wno-unknown-warning-option", path],
        capture_output=True, text=True)
    clazy = subprocess.run(
        [CLAZY, "-p", build, f"-checks={checks}", f"-header-filter={header_filter}",
         f"-ignore-dirs=^({re.escape(os.path.realpath(build))}|/usr)/",
         "-extra-arg=-Wno-unknown-warning-option", path],
        capture_output=True, text=True)
    findings = findings_of(tidy.stdout) + findings_of(clazy.stdout + clazy.stderr)
    failed = not findings and (tidy.returncode != 0 or clazy.returncode != 0)
    if failed:  # the tool itself stopped: show why
        findings = [f"{path}: the linters stopped:\n{tidy.stdout}{tidy.stderr}{clazy.stderr}"]
    return findings


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--no-cache", action="store_true")
    parser.add_argument("files", nargs="*")
    arguments = parser.parse_intermixed_args()
    build = os.path.realpath(arguments.build)
    started = time.monotonic()

    sources = compiled_sources(build)
    if arguments.files:
        wanted = {os.path.realpath(name) for name in arguments.files}
        sources = {path: entry for path, entry in sources.items() if path in wanted}
    checks = clazy_checks()
    with open(os.path.join(ROOT, ".clang-tidy"), encoding="utf-8") as config:
        settings = version(CLANG_TIDY) + version(CLAZY) + config.read() + checks
    cache = os.path.join(os.environ.get("XDG_CACHE_HOME", os.path.expanduser("~/.cache")),
                         "nimbal-lint")
    os.makedirs(cache, exist_ok=True)
    dependencies = recorded_dependencies(build)
    digests = Digests(settings, build)

    pending = {}
    for path, entry in sorted(sources.items()):
        read = dependencies.get(object_file(entry))
        key = digests.of_compilation(entry, read) if read else None
        if key and not arguments.no_cache and os.path.exists(os.path.join(cache, key)):
            continue
        pending[path] = key

    print(f"lint: {len(sources)} files, {len(sources) - len(pending)} unchanged since they were "
          f"last clean, {len(pending)} to check on {arguments.jobs} cores", flush=True)
    findings = [line for path in own_files() for line in coroutine_reference_parameters(path)]
    for line in findings:
        print(f"  {line}", flush=True)
    with concurrent.futures.ThreadPoolExecutor(arguments.jobs) as pool:
        runs = {pool.submit(lint_file, build, path, checks): path for path in pending}
        for done, run in enumerate(concurrent.futures.as_completed(runs), 1):
            path = runs[run]
            found = run.result()
            if not found and pending[path]:
                open(os.path.join(cache, pending[path]), "w").close()
            new = [line for line in found if line not in findings]
            findings += new
            print(f"lint: [{done}/{len(pending)}] {os.path.relpath(path, ROOT)}: "
                  f"{len(found) or 'clean'}", flush=True)
            # Shown as they come, so that a long run can be acted on before it ends.
            for line in new:
                print(f"  {line}", flush=True)

    elapsed = time.monotonic() - started
    print(f"lint: {len(findings)} findings in {elapsed:.0f} s", flush=True)
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The package's lists against the sources.

No tool sees QML imports: a module imported by a view but installed by nothing fails only on a
machine that never had it. Here each import found in the sources is followed through the
installed modules' qmldir files (a module imports others in turn: QtQml brings QtQml.Models)
and each module's Debian package is asked of dpkg.

    check_packaging.py SOURCE_DIR QML_DIR
"""
import re
import subprocess
import sys
import unittest
from pathlib import Path

SOURCE = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parents[2]
QML_DIR = Path(sys.argv[2]) if len(sys.argv) > 2 else Path("/usr/lib/x86_64-linux-gnu/qt6/qml")

# The application's views: what the installed program loads. Previews and screenshots are the
# tests' own.
APPLICATION_QML = [p for p in (SOURCE / "ui").rglob("*.qml")
                   if not {"preview", "screenshots"} & set(p.relative_to(SOURCE / "ui").parts)]
IMPORT_LINE = re.compile(r'^\s*import\s+(Qt[\w.]*)', re.MULTILINE)
# An import inside a C++ string, as tests and benchmarks write QML of their own.
IMPORT_IN_STRING = re.compile(r'(?:"|\\n)import\s+(Qt[\w.]*)')
QMLDIR_IMPORT = re.compile(r'^(optional\s+)?(?:default\s+)?(?:import|depends)\s+([\w.]+)',
                           re.MULTILINE)


def imports_of(files, pattern):
    found = {}
    for path in files:
        for module in pattern.findall(path.read_text(encoding="utf-8")):
            found.setdefault(module, str(path.relative_to(SOURCE)))
    return found


def application_imports():
    return imports_of(APPLICATION_QML, IMPORT_LINE)


def all_imports():
    found = imports_of(sorted(SOURCE.rglob("*.qml")), IMPORT_LINE)
    sources = [p for folder in ("tests", "bench", "ui") for p in (SOURCE / folder).rglob("*.cpp")]
    for module, where in imports_of(sources, IMPORT_IN_STRING).items():
        found.setdefault(module, where)
    return found


def module_closure(imports):
    """Each module reached from `imports` (module -> who imports it), or the missing ones."""
    reached, missing, queue = {}, {}, list(imports.items())
    while queue:
        module, importer = queue.pop()
        if module in reached or module in missing:
            continue
        qmldir = QML_DIR.joinpath(*module.split(".")) / "qmldir"
        if not qmldir.is_file():
            missing[module] = importer
            continue
        reached[module] = qmldir
        for optional, needed in QMLDIR_IMPORT.findall(qmldir.read_text(encoding="utf-8")):
            if not optional:
                queue.append((needed, module))
    return reached, missing


def package_of(path):
    answer = subprocess.run(["dpkg-query", "-S", str(path)], capture_output=True, text=True)
    if answer.returncode != 0:
        return None
    return answer.stdout.split(":", 1)[0]


def packages_for(imports):
    reached, missing = module_closure(imports)
    return {module: package_of(qmldir) for module, qmldir in reached.items()}, missing


def runtime_packages():
    text = (SOURCE / "run").read_text(encoding="utf-8")
    body = re.search(r'^RUNTIME_PACKAGES=\(([^)]*)\)', text, re.MULTILINE).group(1)
    return set(body.split())


def control_fields(package):
    text = (SOURCE / "debian" / "control").read_text(encoding="utf-8")
    stanza = next(s for s in text.split("\n\n") if re.search(rf'^Package: {package}$', s, re.M))
    fields, name = {}, None
    for line in stanza.splitlines():
        if line[:1].isspace() and name:
            fields[name] += " " + line.strip()
        elif ":" in line:
            name, value = line.split(":", 1)
            fields[name] = value.strip()
    return fields


def depends_of(package):
    alternatives = [a.strip() for a in control_fields(package)["Depends"].split(",")]
    return {re.split(r'[\s(]', option.strip())[0]
            for alternative in alternatives for option in alternative.split("|")}


def guessed_package(module):
    return "qml6-module-" + module.lower().replace(".", "-")


def missing_message(missing):
    return "; ".join(f"{module} (imported by {importer}) is not installed: its package is "
                     f"likely {guessed_package(module)}" for module, importer in missing.items())


class QmlModules(unittest.TestCase):
    def test_every_import_is_installed_by_run(self):
        packages, missing = packages_for(all_imports())
        self.assertFalse(missing, missing_message(missing))
        unlisted = {m: p for m, p in packages.items() if p not in runtime_packages()}
        self.assertFalse(unlisted, f"QML modules whose package ./run does not install "
                                   f"(add it to RUNTIME_PACKAGES): {unlisted}")

    def test_application_imports_are_in_the_package_depends(self):
        self.assertIn("QtQuick", application_imports())  # the scan finds the views
        packages, missing = packages_for(application_imports())
        self.assertFalse(missing, missing_message(missing))
        unlisted = {m: p for m, p in packages.items() if p not in depends_of("orvelan-nimbal")}
        self.assertFalse(unlisted, f"QML modules the application loads whose package "
                                   f"debian/control does not depend on: {unlisted}")


def first(pattern, path):
    match = re.search(pattern, (SOURCE / path).read_text(encoding="utf-8"), re.MULTILINE)
    assert match, f"{pattern} not found in {path}"
    return match.group(1)


class AgreedValues(unittest.TestCase):
    def test_versions_agree(self):
        version = first(r'^project\(\w+ VERSION ([\d.]+)', "CMakeLists.txt")
        others = {
            "debian/changelog": first(r'^orvelan-nimbal \(([^)]+)\)', "debian/changelog"),
            "metainfo's newest release": first(r'<release version="([^"]+)"',
                                               "ui/desktop/net.orvelan.nimbal.metainfo.xml"),
        }
        for page in sorted(SOURCE.glob("*/man/*.1")):
            others[str(page.relative_to(SOURCE))] = first(r'^\.TH .*"Orvelan Nimbal ([\d.]+)"',
                                                          page.relative_to(SOURCE))
        for where, value in others.items():
            self.assertEqual(value, version, f"{where} says {value}, CMakeLists.txt {version}")

    def test_desktop_names_agree(self):
        entry = "net.orvelan.nimbal.desktop"
        self.assertTrue((SOURCE / "ui/desktop" / (entry + ".in")).is_file())
        self.assertEqual(first(r'fileName = QStringLiteral\("([^"]+)"\)',
                               "app/system/XdgAutostartEntry.h"), entry)
        self.assertEqual(first(r'setDesktopFileName\(QStringLiteral\("([^"]+)"\)', "ui/main.cpp")
                         + ".desktop", entry)
        self.assertEqual(first(r'<launchable type="desktop-id">([^<]+)<',
                               "ui/desktop/net.orvelan.nimbal.metainfo.xml"), entry)

    def test_bus_names_agree(self):
        name = first(r'fileProviderBundleIdentifier =\s*QStringLiteral\("([^"]+)"\)',
                     "core/config/OrvelanNimbal.h")
        activation = "fileprovider/dbus/" + name + ".service.in"
        self.assertEqual(first(r'^Name=(.+)$', activation), name)
        unit = first(r'^SystemdService=(.+)$', activation)
        self.assertEqual(first(r'^BusName=(.+)$', f"fileprovider/systemd/{unit}.in"), name)
        self.assertEqual(first(r'<dbus type="user">([^<]+)<',
                               "ui/desktop/net.orvelan.nimbal.metainfo.xml"), name)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)

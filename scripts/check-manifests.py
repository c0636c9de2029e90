#!/usr/bin/env python3
"""Checks the package manifests that scripts/package.sh filled in against the artifacts it built.

Usage: check-manifests.py DIST_DIR VERSION

DIST_DIR holds the setups, the portable zips, winget/*.yaml and scoop/vantorell.json. Checked:
the files parse (YAML, JSON); the fields winget's schema 1.6 requires, and the ones this project
relies on, are there with the right values (nullsoft, machine scope, silent switch /S, both
architectures); every URL names an artifact of this version, and its SHA-256 is that artifact's;
the Scoop manifest has bin, shortcuts, persist and a pre_uninstall that runs "vantorell.exe -u"
and stops when records remain; no placeholder is left. Prints one line per problem and exits 1
if there is any.
"""
import hashlib
import json
import os
import re
import sys

import yaml

WINGET_ID = "Vantorell.Vantorell"
MANIFEST_VERSION = "1.6.0"


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


class Checker:
    def __init__(self, dist, version):
        self.dist, self.version, self.problems = dist, version, []

    def expect(self, condition, message):
        if not condition:
            self.problems.append(message)
        return condition

    def artifact(self, where, url, digest, name):
        """The URL ends in the artifact's file name; the digest is that file's SHA-256."""
        self.expect(isinstance(url, str) and url.startswith("https://"), f"{where}: URL is not https: {url!r}")
        self.expect(isinstance(url, str) and url.endswith("/" + name), f"{where}: URL {url!r} does not name {name}")
        path = os.path.join(self.dist, name)
        if self.expect(os.path.isfile(path), f"{where}: {name} was not built"):
            actual = sha256(path)
            self.expect(isinstance(digest, str) and digest.lower() == actual,
                        f"{where}: SHA-256 {digest!r} is not {name}'s {actual}")

    def no_placeholder(self, where, text):
        self.expect(not re.search(r"@[A-Z0-9_]+@", text), f"{where}: a placeholder is left")

    def winget(self):
        folder = os.path.join(self.dist, "winget")
        docs = {}
        for kind, suffix in (("version", ""), ("installer", ".installer"), ("defaultLocale", ".locale.en-US")):
            name = f"{WINGET_ID}{suffix}.yaml"
            path = os.path.join(folder, name)
            if not self.expect(os.path.isfile(path), f"winget: {name} is missing"):
                continue
            text = open(path, encoding="utf-8").read()
            self.no_placeholder(name, text)
            try:
                doc = yaml.safe_load(text)
            except yaml.YAMLError as e:
                self.expect(False, f"{name}: not well-formed YAML: {e}")
                continue
            if not self.expect(isinstance(doc, dict), f"{name}: not a mapping"):
                continue
            docs[kind] = doc
            for key, value in (("PackageIdentifier", WINGET_ID), ("PackageVersion", self.version),
                               ("ManifestType", kind), ("ManifestVersion", MANIFEST_VERSION)):
                self.expect(str(doc.get(key)) == value, f"{name}: {key} is {doc.get(key)!r}, expected {value!r}")
            header = f"$schema=https://aka.ms/winget-manifest.{kind}.{MANIFEST_VERSION}.schema.json"
            self.expect(header in text, f"{name}: no schema header for {kind} {MANIFEST_VERSION}")

        if "version" in docs:
            self.expect(docs["version"].get("DefaultLocale") == "en-US", "version manifest: DefaultLocale is not en-US")
        if "defaultLocale" in docs:
            d = docs["defaultLocale"]
            for key in ("PackageLocale", "Publisher", "PackageName", "License", "ShortDescription"):
                self.expect(bool(d.get(key)), f"locale manifest: {key} is missing")
            self.expect(d.get("License") == "GPL-3.0-or-later", f"locale manifest: License is {d.get('License')!r}")
        if "installer" in docs:
            d = docs["installer"]
            self.expect(d.get("InstallerType") == "nullsoft", f"installer manifest: InstallerType {d.get('InstallerType')!r}")
            self.expect(d.get("Scope") == "machine", f"installer manifest: Scope {d.get('Scope')!r}")
            switches = d.get("InstallerSwitches") or {}
            self.expect(switches.get("Silent") == "/S", f"installer manifest: silent switch {switches.get('Silent')!r}")
            installers = d.get("Installers") or []
            arches = {i.get("Architecture"): i for i in installers if isinstance(i, dict)}
            self.expect(set(arches) == {"x64", "x86"}, f"installer manifest: architectures {sorted(arches)}")
            for arch, build in (("x64", "win64"), ("x86", "win32")):
                if arch in arches:
                    i = arches[arch]
                    digest = i.get("InstallerSha256")
                    self.expect(isinstance(digest, str) and re.fullmatch(r"[0-9A-F]{64}", digest),
                                f"installer manifest, {arch}: InstallerSha256 is not 64 upper-case hex digits")
                    self.artifact(f"installer manifest, {arch}", i.get("InstallerUrl"), digest,
                                  f"Vantorell-{self.version}-{build}-setup.exe")

    def scoop(self):
        path = os.path.join(self.dist, "scoop", "vantorell.json")
        if not self.expect(os.path.isfile(path), "scoop: vantorell.json is missing"):
            return
        text = open(path, encoding="utf-8").read()
        self.no_placeholder("vantorell.json", text)
        try:
            m = json.loads(text)
        except json.JSONDecodeError as e:
            self.expect(False, f"vantorell.json: not well-formed JSON: {e}")
            return
        self.expect(m.get("version") == self.version, f"vantorell.json: version {m.get('version')!r}")
        for key in ("description", "homepage", "license"):
            self.expect(bool(m.get(key)), f"vantorell.json: {key} is missing")
        self.expect(m.get("license") == "GPL-3.0-or-later", f"vantorell.json: license {m.get('license')!r}")
        arch = m.get("architecture") or {}
        self.expect(set(arch) == {"64bit", "32bit"}, f"vantorell.json: architectures {sorted(arch)}")
        for key, build in (("64bit", "win64"), ("32bit", "win32")):
            if key in arch:
                self.artifact(f"vantorell.json, {key}", arch[key].get("url"), arch[key].get("hash"),
                              f"Vantorell-{self.version}-{build}-portable.zip")
        self.expect(m.get("bin") == "vantorellc.exe", f"vantorell.json: bin {m.get('bin')!r}")
        shortcuts = m.get("shortcuts") or []
        self.expect(any(isinstance(s, list) and s[:1] == ["vantorell.exe"] for s in shortcuts),
                    f"vantorell.json: no shortcut to vantorell.exe: {shortcuts!r}")
        persist = m.get("persist") or []
        self.expect("StartupList.txt" in persist and "Shortcuts" in persist, f"vantorell.json: persist {persist!r}")
        script = "\n".join(m.get("pre_uninstall") or [])
        self.expect("vantorell.exe" in script and "'-u'" in script, "vantorell.json: pre_uninstall does not run vantorell.exe -u")
        self.expect("abort" in script and "StartupList.txt" in script,
                    "vantorell.json: pre_uninstall does not stop when the list still holds records")
        self.expect("$cmd -ne 'uninstall'" in script, "vantorell.json: pre_uninstall would give everything back on update")


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    c = Checker(sys.argv[1], sys.argv[2])
    c.winget()
    c.scoop()
    for p in c.problems:
        print("manifest check: " + p)
    if not c.problems:
        print(f"manifests OK: winget ({WINGET_ID} {c.version}, schema {MANIFEST_VERSION}) and scoop, hashes match")
    return 1 if c.problems else 0


if __name__ == "__main__":
    sys.exit(main())

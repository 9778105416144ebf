#!/usr/bin/env python3
"""Gathers a release's artefacts into one folder with what lets people check and install them:
SHA256SUMS, its detached signature made with the publisher's package-signing key
(kyrpack sign-file: RSA-SHA256, the form openssl checks), the multi-file winget manifest
for the MSI and a Scoop manifest for the ZIP.

  release.py --windows-build DIR --key private.pem --kyrpack PATH --url BASE --out DIR ARTEFACT...

ARTEFACT: the .deb, .zip and .msi files; --url: where they will be downloaded from. The
version, package identifier and publisher are those the Windows build was configured with.
"""

import argparse
import hashlib
import json
import os
import shutil
import subprocess

import yaml

WINGET_SCHEMA = "1.6.0"
DESCRIPTION = "Get, verify and run ransomware decryption tools"
LICENSE = "Apache-2.0"


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def msi_product_code(msi):
    table = subprocess.run(["msiinfo", "export", msi, "Property"], capture_output=True, text=True, check=True).stdout
    return dict(line.split("\t", 1) for line in table.splitlines()[3:] if "\t" in line)["ProductCode"].strip()


def write_yaml(path, kind, document):
    document = dict(document, ManifestType=kind, ManifestVersion=WINGET_SCHEMA)
    with open(path, "w", encoding="utf-8") as out:
        out.write(f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}.{WINGET_SCHEMA}.schema.json\n")
        yaml.safe_dump(document, out, sort_keys=False, allow_unicode=True)


def winget_manifests(out, identity, msi, url):
    folder = os.path.join(out, "winget")
    os.makedirs(folder, exist_ok=True)
    head = {"PackageIdentifier": identity["identifier"], "PackageVersion": identity["version"]}
    write_yaml(os.path.join(folder, f"{identity['identifier']}.yaml"), "version", dict(head, DefaultLocale="en-US"))
    write_yaml(os.path.join(folder, f"{identity['identifier']}.installer.yaml"), "installer", dict(
        head, InstallerType="msi", Scope="machine", UpgradeBehavior="install",
        Installers=[{"Architecture": "x64", "InstallerUrl": url + os.path.basename(msi),
                     "InstallerSha256": sha256(msi).upper(), "ProductCode": msi_product_code(msi),
                     "AppsAndFeaturesEntries": [{"UpgradeCode": "{" + identity["upgrade_code"] + "}"}]}]))
    write_yaml(os.path.join(folder, f"{identity['identifier']}.locale.en-US.yaml"), "defaultLocale", dict(
        head, PackageLocale="en-US", Publisher=identity["publisher"], PackageName="KyrDecrypt", License=LICENSE,
        ShortDescription=DESCRIPTION, Moniker="kyrdecrypt"))


def scoop_manifest(out, identity, archive, url):
    manifest = {"version": identity["version"], "description": DESCRIPTION, "license": LICENSE,
                "url": url + os.path.basename(archive), "hash": sha256(archive),
                "bin": ["KyrDecrypt.exe", "KyrIdentify.exe", "KyrBundle.exe"]}
    with open(os.path.join(out, f"{identity['identifier']}.json"), "w", encoding="utf-8") as f:
        json.dump(manifest, f, indent=2)
        f.write("\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--windows-build", required=True)
    parser.add_argument("--key", required=True, help="the publisher's private package-signing key")
    parser.add_argument("--kyrpack", default="kyrpack")
    parser.add_argument("--url", required=True, help="download base URL of the artefacts")
    parser.add_argument("--out", required=True)
    parser.add_argument("artefacts", nargs="+")
    given = parser.parse_args()
    with open(os.path.join(given.windows_build, "release-identity.json"), encoding="utf-8") as f:
        identity = json.load(f)
    url = given.url if given.url.endswith("/") else given.url + "/"
    os.makedirs(given.out, exist_ok=True)
    names = sorted(os.path.basename(path) for path in given.artefacts)
    if len(set(names)) != len(names):
        parser.error("two artefacts share a file name")
    copies = [shutil.copy(path, given.out) for path in given.artefacts]
    sums = os.path.join(given.out, "SHA256SUMS")
    with open(sums, "w", encoding="utf-8") as f:
        f.writelines(f"{sha256(os.path.join(given.out, name))}  {name}\n" for name in names)
    subprocess.run([given.kyrpack, "sign-file", "--key", given.key, sums], check=True, stdout=subprocess.DEVNULL)
    by_kind = {os.path.splitext(path)[1]: path for path in copies}
    if ".msi" in by_kind:
        winget_manifests(given.out, identity, by_kind[".msi"], url)
    if ".zip" in by_kind:
        scoop_manifest(given.out, identity, by_kind[".zip"], url)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Times `kyrdecrypt -get` of a large decryptor package against the same work done by standard tools.

One run: builds (or reuses) the publisher tools, makes a test CA, signing keys and a
client configured for them (tests/e2e/harness.py), packs a decryptor whose package is
about --size-mib MiB of incompressible random files, serves it with kyrdecrypt-server
on 127.0.0.1, and then measures, each under /usr/bin/time -v:

  client:    kyrdecrypt -get kyrbench -ver 1.0.0   (download, archive signature, unzip,
             manifest signature, install; a fresh install leaves each file's signature
             to the validation every -run does)
  baseline:  curl (download) + openssl dgst -sha1 -verify (archive signature)
             + unzip + openssl dgst -sha1 -verify for the manifest and for every file

The goal is set against that whole pipeline; the ratio against the pipeline without the
per-file checks (the same checks -get makes) is printed beside it.

It does so for each size asked for (default 256 MiB and 1 GiB) and prints wall-clock
seconds and peak resident memory of each step and the ratio client / baseline. It is a
benchmark, not a test, but it exits non-zero when a goal is missed: the client's peak
resident size must stay under 64 MiB whatever the package size, and its time at or
under half the baseline's.

Writing GiBs leaves the kernel writing them back long after the writer has exited, and
whoever runs next pays for it. So before each timed run (client or baseline) whatever the
previous one wrote is deleted, everything is synced, and the run waits (bounded) until the
kernel's Dirty + Writeback pages fall below --settle-mib. With --repeat N each size is
measured N times, client and baseline taking turns at going first, and the median round
of each is reported.

With --trust it times instead `-get` by two clients built alike but for signed repository
metadata: one with a first root (KYRDECRYPT_TRUST_ROOT), which fetches the root and the
snapshot and hashes every answer against it, and the harness's client without one, both
from the same tree (with its trust/ files) and server. The goal: the client with metadata
within 5 % of the time of the one without (median rounds; default 3 rounds, 256 MiB) and
its peak resident size no more than 1 MiB above. The clients' CPU seconds are printed beside.
With --link-mbit N (root) everything runs in a network namespace of its own whose loopback
is shaped to N Mbit/s, as a real link would be; without it the loopback sets no bound.
"""

import argparse
import base64
import json
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import harness  # noqa: E402  (shared TLS material, keys, client build and server runner)

NAME, VERSION = "kyrbench", "1.0.0"
PEAK_GOAL_MIB = 64
TIME_RATIO_GOAL = 0.5
TRUST_TIME_RATIO_GOAL = 1.05
TRUST_PEAK_GOAL_KIB = 1024  # above the client without metadata
PER_FILE_STEP = "openssl file signatures"
HEADER = struct.Struct("<BQI")  # format, payload length, signature length
SETTLE_TIMEOUT_SECONDS = 300


def publisher_tools(build):
    """kyrpack, kyrdecrypt-server and the sample decryptor library, built in `build`."""
    harness.build_publisher_targets(SOURCE, build, "kyrpack", "kyrdecrypt-server", "kyrsample_decryptor")
    module = os.path.join(build, "samples", "native", "decryptor", "libkyrsample_decryptor.so")
    return os.path.join(build, "kyrpack"), os.path.join(build, "kyrdecrypt-server"), module


def make_package(kyrpack, module, keys, repository, work, size_mib):
    """Publishes a decryptor package of `size_mib` MiB of random data in 16 MiB files; returns its size."""
    private_key, public_key = keys
    folder = os.path.join(work, "bench-package")
    os.makedirs(folder)
    shutil.copy(module, folder)
    chunk = 16 * 1024 * 1024
    for index in range(max(1, size_mib * 1024 * 1024 // chunk)):
        with open(os.path.join(folder, f"data{index:03}.bin"), "wb") as out:
            out.write(os.urandom(chunk))
    target = os.path.join(work, NAME + ".kpkg")
    subprocess.run([kyrpack, "pack", "--key", private_key, "--folder", folder, "--kind", "decryptor",
                    "--name", NAME, "--version", VERSION, "--runtime-type", "native", "--runtime-version", "1.0.0",
                    "--module", os.path.basename(module), "--run", "run", "--help", "help", "--out", target],
                   check=True, stdout=subprocess.DEVNULL)
    shutil.rmtree(folder)
    subprocess.run([kyrpack, "publish", "--public", public_key, "--repo", repository, target],
                   check=True, stdout=subprocess.DEVNULL)
    size = os.path.getsize(target)
    # The repository holds its own copy: this one would only be more pages to write back.
    os.unlink(target)
    return size


def pending_writeback_kib():
    """The kernel's Dirty + Writeback pages, in KiB."""
    fields = {}
    with open("/proc/meminfo", encoding="ascii") as meminfo:
        for line in meminfo:
            key, _, value = line.partition(":")
            fields[key] = int(value.split()[0])
    return fields["Dirty"] + fields["Writeback"]


def settle(bound_mib):
    """Syncs and waits (bounded) until the pages earlier steps wrote are on disk, so no run pays for another's."""
    deadline = time.monotonic() + SETTLE_TIMEOUT_SECONDS
    while True:
        os.sync()
        pending = pending_writeback_kib()
        if pending <= bound_mib * 1024:
            return
        if time.monotonic() > deadline:
            print(f"  (writeback did not settle within {SETTLE_TIMEOUT_SECONDS} s: {pending / 1024:.0f} MiB "
                  f"still dirty, above {bound_mib} MiB; the next figure may be slowed by it)", flush=True)
            return
        time.sleep(0.5)


def measured(command, env=None, cwd=None):
    """Runs a command under /usr/bin/time -v; returns (seconds, peak KiB, CPU seconds: user + system)."""
    report = tempfile.NamedTemporaryFile(prefix="kyr-time-", delete=False)
    report.close()
    try:
        subprocess.run(["/usr/bin/time", "-v", "-o", report.name, *command], check=True, env=env, cwd=cwd,
                       stdout=subprocess.DEVNULL)
        text = open(report.name, encoding="utf-8").read()
    finally:
        os.unlink(report.name)
    clock = re.search(r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\): (\S+)", text).group(1)
    seconds = 0.0
    for part in clock.split(":"):
        seconds = seconds * 60 + float(part)
    peak = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text).group(1))
    cpu = sum(float(re.search(rf"{kind} time \(seconds\): (\S+)", text).group(1)) for kind in ("User", "System"))
    return seconds, peak, cpu


def timed(command, env=None, cwd=None):
    """Runs a command under /usr/bin/time -v; returns (seconds, peak KiB)."""
    return measured(command, env, cwd)[:2]


def stored_signature(base64_text, path):
    """Stored signatures are least-significant byte first; openssl wants them the other way round."""
    with open(path, "wb") as out:
        out.write(base64.b64decode(base64_text)[::-1])


def signed_manifest_text(manifest):
    unsigned = dict(manifest, signature="")
    return json.dumps(unsigned, sort_keys=True, separators=(",", ":"), ensure_ascii=False).encode("utf-8")


def baseline(config, public_key, work):
    """The client's work done with curl, openssl and unzip; returns the list of (step, seconds, KiB)."""
    folder = os.path.join(work, "baseline")
    os.makedirs(folder)
    steps = []
    package = os.path.join(folder, NAME + ".kpkg")
    url = f"https://127.0.0.1:{config['port']}/package/download/64/{NAME}/{VERSION}"
    steps.append(("curl download",) + timed(["curl", "-sSf", "--cacert", config["ca_cert"], "-o", package,
                                               "-A", "KyrDecrypt/ORIN", url]))
    # Splitting the file into its parts is bookkeeping the tools have no command for.
    with open(package, "rb") as source:
        _, payload_length, signature_length = HEADER.unpack(source.read(HEADER.size))
        archive = os.path.join(folder, "payload.zip")
        with open(archive, "wb") as out:
            remaining = payload_length
            while remaining:
                block = source.read(min(remaining, 1 << 20))
                out.write(block)
                remaining -= len(block)
        with open(os.path.join(folder, "payload.sig"), "wb") as out:
            out.write(source.read(signature_length)[::-1])
    os.unlink(package)
    steps.append(("openssl archive signature",) + timed(
        ["openssl", "dgst", "-sha1", "-verify", public_key, "-signature", "payload.sig", "payload.zip"], cwd=folder))
    unpacked = os.path.join(folder, "unpacked")
    steps.append(("unzip",) + timed(["unzip", "-q", archive, "-d", unpacked]))
    os.unlink(archive)
    manifest_path = next(os.path.join(root, "manifest.json") for root, _, names in os.walk(unpacked)
                         if "manifest.json" in names)
    files_folder = os.path.dirname(manifest_path)
    with open(manifest_path, encoding="utf-8") as text:
        manifest = json.load(text)
    with open(os.path.join(folder, "manifest.signed"), "wb") as out:
        out.write(signed_manifest_text(manifest))
    stored_signature(manifest["signature"], os.path.join(folder, "manifest.sig"))
    checks = [(os.path.join(folder, "manifest.signed"), os.path.join(folder, "manifest.sig"))]
    for index, entry in enumerate(manifest["files"]):
        signature = os.path.join(folder, f"file{index}.sig")
        stored_signature(entry["signature"], signature)
        checks.append((os.path.join(files_folder, entry["name"].replace("\\", "/")), signature))
    data, signature = checks.pop(0)
    steps.append(("openssl manifest signature",) + timed(
        ["openssl", "dgst", "-sha1", "-verify", public_key, "-signature", signature, data]))
    seconds = peak = 0
    for data, signature in checks:
        s, p = timed(["openssl", "dgst", "-sha1", "-verify", public_key, "-signature", signature, data])
        seconds, peak = seconds + s, max(peak, p)
    steps.append((f"{PER_FILE_STEP} ({len(checks)})", seconds, peak))
    shutil.rmtree(folder)
    return steps


class SignedMetadata:
    """Root and snapshot keys and a first root, made once; each tree published gets them and a snapshot."""

    def __init__(self, kyrpack, work):
        self.kyrpack = kyrpack
        self.client = None  # the client built with the root
        self.keys = os.path.join(work, "trust-keys")
        self.first = os.path.join(work, "trust-first")
        self.root = os.path.join(self.first, "trust", "root", "1.json")
        if os.path.exists(self.root):  # a --work folder used before: its client embeds this root
            return
        shutil.rmtree(self.keys, ignore_errors=True)
        os.makedirs(self.keys)
        for role in ("root", "snapshot"):
            self._kyrpack("keygen", "--out", os.path.join(self.keys, role))
        self._kyrpack("trust", "init", "--repo", self.first, "--root-key", os.path.join(self.keys, "root-private.pem"),
                      "--snapshot-key", os.path.join(self.keys, "snapshot-public.pem"), "--expires-days", "30")

    def _kyrpack(self, *arguments):
        subprocess.run([self.kyrpack, *arguments], check=True, stdout=subprocess.DEVNULL)

    def sign(self, repository):
        shutil.copytree(os.path.join(self.first, "trust"), os.path.join(repository, "trust"))
        self._kyrpack("trust", "snapshot", "--repo", repository,
                      "--snapshot-key", os.path.join(self.keys, "snapshot-private.pem"))


def run_client(client, work):
    """One timed `kyrdecrypt -get` into a fresh data folder, removed afterwards; returns (seconds, KiB, CPU seconds)."""
    program_data = os.path.join(work, "programdata")
    os.makedirs(program_data)
    try:
        env = dict(os.environ, PROGRAMDATA=program_data)
        client = measured([client, "-get", NAME, "-ver", VERSION], env=env)
        installed = os.path.join(program_data, "Kyrowan", "KyrDecrypt", "decryptors", NAME, VERSION)
        if not os.path.isdir(installed):
            raise SystemExit("kyrdecrypt -get did not install the package: the figures would mean nothing")
    finally:
        shutil.rmtree(program_data, ignore_errors=True)
    return client


def measure(config, tools, work, size_mib, repeat, settle_mib, metadata=None):
    """One package size: each run's rounds by name (client and baseline, or with --trust the client
    with metadata) and the package size."""
    kyrpack, server_binary, module = tools
    repository = os.path.join(work, "repository")
    shutil.rmtree(repository, ignore_errors=True)
    size = make_package(kyrpack, module, (config["signing_private_key"], config["signing_public_key"]),
                        repository, work, size_mib)
    runs = {"client": lambda: run_client(config["client"], work)}
    if metadata:
        metadata.sign(repository)
        runs["metadata"] = lambda: run_client(metadata.client, work)
    else:
        runs["baseline"] = lambda: baseline(config, config["signing_public_key"], work)
    server = harness.ServerProcess([server_binary, "--address", "127.0.0.1", "--port", str(config["port"]),
                                    "--cert", config["server_cert"], "--key", config["server_key"],
                                    "--repo", repository, "--db", os.path.join(work, "telemetry.db")])
    rounds = {name: [] for name in runs}
    try:
        server.wait_ready()
        for index in range(repeat):
            # Taking turns at going first cancels what one run leaves the next (caches, writeback).
            for name in list(runs) if index % 2 == 0 else reversed(list(runs)):
                settle(settle_mib)
                rounds[name].append(runs[name]())
    finally:
        server.stop()
        # Each size leaves nothing behind: a 1 GiB run needs its disk space for itself.
        for folder in (repository, os.path.join(work, "programdata"), os.path.join(work, "baseline")):
            shutil.rmtree(folder, ignore_errors=True)
    return rounds, size


def median_round(rounds, seconds):
    """The round whose time is the median (the lower one of an even count), so its figures belong together."""
    middle = statistics.median_low(seconds(entry) for entry in rounds)
    return next(entry for entry in rounds if seconds(entry) == middle)


def baseline_seconds(steps):
    return sum(step[1] for step in steps)


def print_rounds(rounds):
    if len(next(iter(rounds.values()))) > 1:
        print("rounds (seconds): " + "; ".join(f"{name} {' '.join(f'{seconds:.2f}' for seconds in times)}"
                                             for name, times in rounds.items()) + "; medians below")


def print_package(size):
    load = " ".join(f"{value:.2f}" for value in os.getloadavg())
    print(f"\nPackage: {size / 2**20:.1f} MiB ({size} bytes), served from 127.0.0.1 over HTTPS; load average {load}")


def report_metadata(plain, signed, size):
    """Prints one size's -get with and without metadata (median rounds); returns (time ratio, extra peak KiB)."""
    (plain_seconds, _, _), (signed_seconds, _, _) = (median_round(runs, lambda entry: entry[0])
                                                       for runs in (plain, signed))
    # CPU time says what the checks cost whatever else the machine is doing; wall time is the goal.
    plain_cpu, signed_cpu = (statistics.median(entry[2] for entry in runs) for runs in (plain, signed))
    plain_peak, signed_peak = (max(entry[1] for entry in runs) for runs in (plain, signed))
    print_package(size)
    print_rounds({"without metadata": [entry[0] for entry in plain], "with": [entry[0] for entry in signed]})
    print(f"\n{'kyrdecrypt -get':44} {'seconds':>9} {'peak MiB':>9}")
    print(f"{'  without signed metadata':44} {plain_seconds:9.2f} {plain_peak / 1024:9.1f}")
    print(f"{'  with signed metadata':44} {signed_seconds:9.2f} {signed_peak / 1024:9.1f}")
    ratio = signed_seconds / plain_seconds
    print(f"\nratio with / without: time {ratio:.3f}, peak memory {signed_peak / plain_peak:.3f}; "
          f"median CPU seconds (user + system) {plain_cpu:.2f} without, {signed_cpu:.2f} with")
    return ratio, signed_peak - plain_peak


def report(clients, baselines, size):
    """Prints one size's table (median rounds); returns the (time ratio, client peak MiB)."""
    client_seconds = median_round(clients, lambda entry: entry[0])[0]
    client_peak = max(entry[1] for entry in clients)
    steps = median_round(baselines, baseline_seconds)
    base_seconds = baseline_seconds(steps)
    base_peak = max(step[2] for step in steps)
    print_package(size)
    print_rounds({"client": [entry[0] for entry in clients], "baseline": [baseline_seconds(e) for e in baselines]})
    print(f"\n{'step':44} {'seconds':>9} {'peak MiB':>9}")
    print(f"{'kyrdecrypt -get':44} {client_seconds:9.2f} {client_peak / 1024:9.1f}")
    for name, seconds, peak in steps:
        print(f"{'  baseline: ' + name:44} {seconds:9.2f} {peak / 1024:9.1f}")
    print(f"{'baseline total (sum; peak = largest step)':44} {base_seconds:9.2f} {base_peak / 1024:9.1f}")
    ratio = client_seconds / base_seconds
    same_checks = base_seconds - sum(step[1] for step in steps if step[0].startswith(PER_FILE_STEP))
    print(f"\nratio kyrdecrypt / baseline: time {ratio:.2f}, peak memory {client_peak / base_peak:.2f}; "
          f"time against the baseline without the per-file checks {client_seconds / same_checks:.2f}")
    return ratio, client_peak / 1024


def summary(results, trust):
    """Prints each size against its goals; returns whether every goal was met."""
    if trust:
        print(f"\n{'package':>10} {'time ratio':>11} {'extra peak MiB':>15}  goals: ratio <= {TRUST_TIME_RATIO_GOAL}, "
              f"extra peak <= {TRUST_PEAK_GOAL_KIB / 1024:.0f} MiB")
    else:
        print(f"\n{'package':>10} {'time ratio':>11} {'client peak MiB':>16}  goals: ratio <= {TIME_RATIO_GOAL}, "
              f"peak < {PEAK_GOAL_MIB} MiB")
    all_met = True
    for size_mib, ratio, peak in results:
        if trust:
            met, shown = ratio <= TRUST_TIME_RATIO_GOAL and peak <= TRUST_PEAK_GOAL_KIB, f"{peak / 1024:15.1f}"
        else:
            met, shown = ratio <= TIME_RATIO_GOAL and peak < PEAK_GOAL_MIB, f"{peak:16.1f}"
        all_met = all_met and met
        print(f"{size_mib:7} MiB {ratio:11.3f} {shown}  {'met' if met else 'MISSED'}")
    return all_met


LINK_ENVIRONMENT = "KYR_BENCH_LINK"


def run_over_link(mbit):
    """Runs this bench again inside a fresh network namespace whose loopback is shaped to `mbit`."""
    namespace = f"kyrbench{os.getpid()}"
    subprocess.run(["ip", "netns", "add", namespace], check=True)
    try:
        inside = ["ip", "netns", "exec", namespace]
        subprocess.run(inside + ["ip", "link", "set", "lo", "up"], check=True)
        # The bucket must hold a whole loopback frame (64 KiB).
        subprocess.run(inside + ["tc", "qdisc", "add", "dev", "lo", "root", "tbf", "rate", f"{mbit}mbit",
                                 "burst", "1mb", "latency", "50ms"], check=True)
        print(f"Over a link of {mbit} Mbit/s (loopback of network namespace {namespace})", flush=True)
        env = dict(os.environ, **{LINK_ENVIRONMENT: str(mbit)})
        return subprocess.run(inside + [sys.executable, *sys.argv], env=env).returncode
    finally:
        subprocess.run(["ip", "netns", "del", namespace])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size-mib", type=int, nargs="+",
                        help="package sizes in MiB (default 256 1024; with --trust 256)")
    parser.add_argument("--work", help="work folder (default: a new temporary folder, removed afterwards)")
    parser.add_argument("--repeat", type=int,
                        help="rounds per size, the two runs taking turns at going first; medians are "
                             "reported (default 1; with --trust 3)")
    parser.add_argument("--settle-mib", type=int, default=32,
                        help="before each timed run, wait until the kernel's Dirty + Writeback pages fall below "
                             "this (default 32 MiB; bounded wait)")
    parser.add_argument("--trust", action="store_true",
                        help="time -get by a client built with signed repository metadata against one without, "
                             "instead of against the tools")
    parser.add_argument("--link-mbit", type=int,
                        help="run in a network namespace of its own whose loopback carries at most this many "
                             "Mbit/s, as a real link would (needs root and iproute2)")
    arguments = parser.parse_args()
    if arguments.link_mbit and not os.environ.get(LINK_ENVIRONMENT):
        return run_over_link(arguments.link_mbit)
    sizes = arguments.size_mib or ([256] if arguments.trust else [256, 1024])
    repeat = arguments.repeat or (3 if arguments.trust else 1)
    if repeat < 1:
        parser.error("--repeat must be at least 1")
    # Absolute: the key and TLS steps run the tools from their own folders.
    work = os.path.abspath(arguments.work) if arguments.work else tempfile.mkdtemp(prefix="kyr-bench-")
    os.makedirs(work, exist_ok=True)
    results = []
    try:
        print(f"Preparing in {work} (builds the client and the publisher tools) ...", flush=True)
        harness.setup(SOURCE, os.path.join(work, "harness"), [])
        with open(os.path.join(work, "harness", "harness.json"), encoding="utf-8") as text:
            config = json.load(text)
        tools = publisher_tools(os.path.join(work, "publisher-build"))
        metadata = None
        if arguments.trust:
            metadata = SignedMetadata(tools[0], work)
            build = os.path.join(work, "trust-client-build")
            metadata.client = harness.build_client(SOURCE, build, config,
                                                   "-DKYRDECRYPT_TRUST_ROOT=" + metadata.root)["client"]
        for size_mib in sizes:
            rounds, size = measure(config, tools, work, size_mib, repeat, arguments.settle_mib, metadata)
            if metadata:
                results.append((size_mib,) + report_metadata(rounds["client"], rounds["metadata"], size))
            else:
                results.append((size_mib,) + report(rounds["client"], rounds["baseline"], size))
    finally:
        if not arguments.work:
            shutil.rmtree(work, ignore_errors=True)
    return 0 if summary(results, arguments.trust) else 1


if __name__ == "__main__":
    sys.exit(main())

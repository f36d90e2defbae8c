"""Install-throughput benchmark: builds our installer and two NSIS installers of the same payload, installs
each silently into the current Wine prefix (WINEPREFIX), checks every install and prints a comparison.
Run through run.sh, which prepares the Wine environment."""
import argparse
import json
import os
import resource
import shutil
import statistics
import subprocess
import sys
import time

import nsis
import payload
import velmora

# The loader for the prefix's architecture, as cmake/wine-env.sh exports it.
WINE = os.environ.get("VELMORA_WINE", "wine")
DESTINATION = r"C:\Program Files\VelBench"
REGISTRATION = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VelBench"
NSIS_COMPRESSORS = ("bzip2", "lzma")
# Package flag bit 2 in the trailer's flags byte (13 bytes into the last 16): entry checksums.
CHECKSUM_FLAG = 4
FLAGS_FROM_END = 3
TRASH_AGE_SECONDS = 65


class Installer:
    def __init__(self, name, label, path, kind):
        self.name = name
        self.label = label
        self.path = path
        # "velmora" and "nsis" are built here ("velmora" with velpack's default codec, "block" with
        # compression = "block"), "unchecked" is ours without entry checksums, "prebuilt" (one of ours) is
        # built elsewhere.
        self.kind = kind
        # Files the installer writes besides the payload.
        self.extras = {"uninst.exe"} if kind == "nsis" else {"uninst.exe", "Uninst.log"}
        self.build_seconds = None
        self.build_peak = None
        self.times = []
        self.cpu_times = []


def _timed(action):
    """Runs action; returns its wall time and what it returned."""
    start = time.perf_counter()
    result = action()
    return time.perf_counter() - start, result


def _parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--work", required=True, help="folder for the payload, the installers and the results")
    parser.add_argument("--velpack", help="host velpack binary")
    parser.add_argument("--stub", help="InstallCore.exe")
    parser.add_argument("--architecture", default="x86", choices=("x86", "x64"), help="the stub's (default x86)")
    parser.add_argument("--only", default="velmora,velmora-unchecked,nsis-bzip2,nsis-lzma",
                        help="comma-separated installers to build and run (default: these four; empty: none); "
                             "velmora-unchecked is velmora's installer with its entry checksums switched off, "
                             "velmora-block one built with compression = \"block\"")
    parser.add_argument("--repeat", type=int, default=3, help="timed installs of each installer (default 3)")
    parser.add_argument("--payload", default="generated", choices=("generated", "wine"),
                        help="generated (default: one big file and many small ones) or wine (Wine's 32-bit PE "
                             "libraries and Debian's copyright texts)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--big-mb", type=int, default=200, help="size of the large file in MiB (default 200)")
    parser.add_argument("--small-files", type=int, default=5000)
    parser.add_argument("--reuse", action="store_true",
                        help="reuse installers left by an earlier run with the same payload instead of building")
    parser.add_argument("--timeout", type=int, default=1200, help="seconds allowed for one install")
    parser.add_argument("--also", action="append", default=[], metavar="LABEL=INSTALLER",
                        help="also measure a Velmora installer of the same payload built elsewhere (for experiments)")
    args = parser.parse_args(argv)
    if args.repeat < 1:
        parser.error("--repeat must be at least 1")
    return args


def _plan(args, work):
    wanted = [name for name in args.only.split(",") if name]
    unknown = set(wanted) - {"velmora", "velmora-unchecked", "velmora-block"} - {f"nsis-{c}" for c in NSIS_COMPRESSORS}
    if unknown:
        sys.exit(f"bench: unknown installer {', '.join(sorted(unknown))}")
    plan = []
    missing = [p for p in (args.velpack, args.stub) if not p or not os.path.isfile(p)]
    if "velmora" in wanted:
        if missing:
            print(f"bench: skipping Velmora: not built ({', '.join(p or '?' for p in missing)})")
        else:
            plan.append(Installer("velmora", "Velmora", os.path.join(work, "velmora-setup.exe"), "velmora"))
            if "velmora-unchecked" in wanted:
                plan.append(Installer("velmora-unchecked", "Velmora unchecked",
                                      os.path.join(work, "velmora-unchecked-setup.exe"), "unchecked"))
        if "velmora-block" in wanted and not missing:
            plan.append(Installer("velmora-block", "Velmora block", os.path.join(work, "velmora-block-setup.exe"),
                                  "block"))
    for compressor in NSIS_COMPRESSORS:
        if f"nsis-{compressor}" in wanted:
            plan.append(Installer(f"nsis-{compressor}", f"NSIS {compressor}",
                                  os.path.join(work, f"nsis-{compressor}-setup.exe"), "nsis"))
    for also in args.also:
        label, _, path = also.partition("=")
        if not label or not os.path.isfile(path):
            sys.exit(f"bench: --also wants LABEL=INSTALLER, got {also}")
        plan.append(Installer(label, label, os.path.abspath(path), "prebuilt"))
    return plan


def _without_checksums(checked, unchecked):
    """A copy of our installer whose package says nothing of entry checksums: the same bytes installed,
    none of them checked."""
    shutil.copyfile(checked, unchecked)
    with open(unchecked, "r+b") as f:
        f.seek(-FLAGS_FROM_END, os.SEEK_END)
        flags = f.read(1)[0]
        if not flags & CHECKSUM_FLAG:
            sys.exit(f"bench: {checked} carries no entry checksums")
        f.seek(-FLAGS_FROM_END, os.SEEK_END)
        f.write(bytes([flags & ~CHECKSUM_FLAG]))


def _build(installer, args, work, payload_root):
    if installer.kind == "prebuilt":
        return
    if installer.kind == "unchecked":
        _without_checksums(os.path.join(work, "velmora-setup.exe"), installer.path)
        return
    if args.reuse and os.path.isfile(installer.path) \
            and os.path.getmtime(installer.path) > os.path.getmtime(os.path.join(work, "payload", payload.INDEX_NAME)):
        print(f"bench: reusing {installer.path}")
        return
    print(f"bench: building {installer.label} ...", flush=True)
    if installer.kind in ("velmora", "block"):
        text = velmora.manifest(payload_root, args.stub, DESTINATION.replace(r"C:\Program Files", "${ProgramsPath}"),
                                "block" if installer.kind == "block" else None)
        build = lambda: velmora.build(args.velpack, args.stub, args.architecture,
                                      os.path.join(work, f"{installer.name}.toml"), text, installer.path)
    else:
        compressor = installer.name.split("-", 1)[1]
        text = nsis.script(payload_root, installer.path, compressor, r"$PROGRAMFILES\VelBench", args.architecture)
        build = lambda: nsis.build(os.path.join(work, f"{installer.name}.nsi"), text)
    installer.build_seconds, installer.build_peak = _timed(build)


def _unix_path(windows_path):
    result = subprocess.run([WINE, "winepath.exe", "-u", windows_path], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True, check=True)
    return result.stdout.strip()


def _clean(folder, trash):
    """Moves what an earlier install left out of the way, so that every run installs onto a clean machine.
    Deleting it instead would slow the next run down: ext4 passes over recently freed inodes when it
    allocates new ones, which made the wine server's file creation several times dearer."""
    if os.path.exists(folder):
        os.makedirs(trash, exist_ok=True)
        os.rename(folder, os.path.join(trash, str(len(os.listdir(trash)))))
    subprocess.run([WINE, "reg", "delete", REGISTRATION, "/f"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Write back the previous run's files now rather than during the next timed install.
    subprocess.run(["sync"], check=True)


def _wineserver_pid():
    """The prefix's wine server: the process working in the server folder named after the prefix's device
    and inode numbers."""
    prefix = os.stat(os.environ["WINEPREFIX"])
    folder = f"server-{prefix.st_dev:x}-{prefix.st_ino:x}"
    for entry in os.listdir("/proc"):
        try:
            if entry.isdigit() and os.path.basename(os.readlink(f"/proc/{entry}/cwd")) == folder:
                return int(entry)
        except OSError:
            continue
    return None


def _process_cpu_seconds(pid):
    if pid is None:
        return 0.0
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return 0.0
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def _children_cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def _install(installer, log, timeout):
    """Runs the installer; returns its wall time and the processor time it and the wine server used, which
    other work on the machine disturbs less."""
    server = _wineserver_pid()
    cpu_before = _children_cpu_seconds() + _process_cpu_seconds(server)
    start = time.perf_counter()
    try:
        code = subprocess.run([WINE, installer.path], stdout=log, stderr=log, timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        sys.exit(f"bench: {installer.label} did not finish within {timeout} s")
    seconds = time.perf_counter() - start
    cpu = _children_cpu_seconds() + _process_cpu_seconds(server) - cpu_before
    if code != 0:
        sys.exit(f"bench: {installer.label} exited with code {code} (see {log.name})")
    return seconds, cpu


def logged_files(log_path):
    """The paths of the type 3 lines (files written) of an uninstall log."""
    with open(log_path, "rb") as f:
        lines = f.read().decode("cp1252").split("\r\n")
    return {line[2:] for line in lines[1:] if line.startswith("3 ")}


def _problems(installer, folder, files, check_registration):
    problems = payload.compare_tree(folder, files, installer.extras)
    problems.extend(f"missing file {name}" for name in sorted(installer.extras)
                    if not os.path.isfile(os.path.join(folder, name)))
    if installer.kind != "nsis" and not problems:
        logged = logged_files(os.path.join(folder, "Uninst.log"))
        unlogged = [e["path"] for e in files if DESTINATION + "\\" + e["path"].replace("/", "\\") not in logged]
        problems.extend(f"{p} not in Uninst.log" for p in unlogged[:10])
    if check_registration:
        query = subprocess.run([WINE, "reg", "query", REGISTRATION, "/v", "UninstallString"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if query.returncode != 0:
            problems.append(f"no registration under {REGISTRATION}")
    return problems


def _empty_trash(trash):
    """Deletes the moved-away installs and notes when, so that timed runs can wait for the freed inodes to
    age: ext4 stops passing over them a minute after they are written back."""
    if os.path.exists(trash):
        shutil.rmtree(trash)
        subprocess.run(["sync"], check=True)
        with open(trash + ".deleted", "w"):
            pass


def _wait_for_trash_to_age(trash):
    try:
        age = time.time() - os.path.getmtime(trash + ".deleted")
    except OSError:
        return
    if age < TRASH_AGE_SECONDS:
        print(f"bench: waiting {TRASH_AGE_SECONDS - age:.0f} s for deleted files to age ...", flush=True)
        time.sleep(TRASH_AGE_SECONDS - age)


def _run_once(installer, folder, trash, files, log, args, check_registration=False):
    _clean(folder, trash)
    seconds, cpu = _install(installer, log, args.timeout)
    problems = _problems(installer, folder, files, check_registration)
    if problems:
        shown = "\n  ".join(problems[:20])
        sys.exit(f"bench: {installer.label} installed incompletely ({len(problems)} problems):\n  {shown}")
    return seconds, cpu


def _mib(size):
    return size / payload.MB


def _report(plan, files, work):
    total = sum(e["size"] for e in files)
    print()
    print(f"Payload: {len(files)} files, {total} bytes ({_mib(total):.1f} MiB); "
          f"medians of {len(plan[0].times)} runs after a warm-up; Install is the wall time, CPU the processor "
          "time of the installer and the wine server.")
    print()
    print(f"{'Installer':<18} {'Size (bytes)':>14} {'Size (MiB)':>11} {'Install (s)':>12} {'CPU (s)':>8} "
          f"{'Build (s)':>10} {'Build peak (MB)':>16}  Runs (s)")
    rows = []
    for inst in plan:
        size = os.path.getsize(inst.path)
        median, cpu = statistics.median(inst.times), statistics.median(inst.cpu_times)
        build = f"{inst.build_seconds:.1f}" if inst.build_seconds is not None else "-"
        peak = f"{inst.build_peak / 1e6:.0f}" if inst.build_peak else "-"
        runs = " ".join(f"{t:.2f}" for t in inst.times)
        print(f"{inst.label:<18} {size:>14} {_mib(size):>11.1f} {median:>12.2f} {cpu:>8.2f} {build:>10} {peak:>16}  {runs}")
        rows.append({"name": inst.name, "size": size, "install_seconds": median, "cpu_seconds": cpu,
                     "runs": inst.times, "cpu_runs": inst.cpu_times, "build_seconds": inst.build_seconds,
                     "build_peak_bytes": inst.build_peak})
    by_name = {row["name"]: row for row in rows}
    ours, unchecked = by_name.get("velmora"), by_name.get("velmora-unchecked")
    if ours and unchecked:
        print()
        extra, extra_cpu = (ours["install_seconds"] - unchecked["install_seconds"],
                            ours["cpu_seconds"] - unchecked["cpu_seconds"])
        print(f"Entry checksums: {extra:+.2f} s install time ({extra / unchecked['install_seconds']:+.1%}), "
              f"{extra_cpu:+.2f} s CPU ({extra_cpu / unchecked['cpu_seconds']:+.1%}) against the same installer "
              "without them")
    if ours:
        print()
        for peer_name, what, key, target in (("nsis-bzip2", "size", "size", 1.0),
                                             ("nsis-bzip2", "install time", "install_seconds", 1.0),
                                             ("nsis-lzma", "size", "size", 1.0),
                                             ("nsis-lzma", "install time", "install_seconds", 0.5),
                                             ("nsis-lzma", "build time", "build_seconds", 0.75)):
            peer = by_name.get(peer_name)
            if peer and ours[key] is not None and peer[key] is not None:
                ratio = ours[key] / peer[key]
                verdict = "met" if ratio <= target else "MISSED"
                print(f"Target: {what} no more than {target:.2f}x {peer_name}: {ratio:.2f}x, {verdict}")
        if ours["build_peak_bytes"]:
            peak = ours["build_peak_bytes"] / 1e6
            print(f"Target: velpack's peak memory under 1000 MB: {peak:.0f} MB, {'met' if peak < 1000 else 'MISSED'}")
    with open(os.path.join(work, "results.json"), "w") as f:
        json.dump({"files": len(files), "bytes": total, "installers": rows}, f, indent=2)


def main(argv):
    args = _parse_args(argv)
    # Each payload has its own folder, so that installers of both can be kept and reused.
    work = os.path.abspath(args.work if args.payload == "generated" else os.path.join(args.work, args.payload))
    os.makedirs(work, exist_ok=True)
    if args.payload == "wine":
        print("bench: payload (Wine's PE libraries and Debian's copyright texts) ...", flush=True)
        payload_root, files, fresh = payload.ensure_wine(os.path.join(work, "payload"))
    else:
        print(f"bench: payload (seed {args.seed}, {args.big_mb} MiB + {args.small_files} small files) ...",
              flush=True)
        payload_root, files, fresh = payload.ensure(os.path.join(work, "payload"), args.seed,
                                                    args.big_mb * payload.MB, args.small_files)
    print(f"bench: payload {'generated' if fresh else 'cached'} in {payload_root}")
    plan = _plan(args, work)
    if not plan:
        sys.exit("bench: nothing to run")
    for installer in plan:
        _build(installer, args, work, payload_root)
    folder = _unix_path(DESTINATION)
    # On the prefix's own drive, so that moving an install there is a rename.
    trash = os.path.join(os.environ["WINEPREFIX"], "drive_c", "velbench-trash")
    _empty_trash(trash)
    with open(os.path.join(work, "wine.log"), "w") as log:
        for installer in plan:
            print(f"bench: warm-up install of {installer.label} ...", flush=True)
            _run_once(installer, folder, trash, files, log, args, check_registration=True)
        _wait_for_trash_to_age(trash)
        for round_number in range(args.repeat):
            for installer in plan:
                seconds, cpu = _run_once(installer, folder, trash, files, log, args)
                installer.times.append(seconds)
                installer.cpu_times.append(cpu)
            print(f"bench: round {round_number + 1}: "
                  + ", ".join(f"{i.label} {i.times[-1]:.2f} s" for i in plan), flush=True)
    _clean(folder, trash)
    _empty_trash(trash)
    _report(plan, files, work)


if __name__ == "__main__":
    main(sys.argv[1:])

"""The benchmark payloads. The generated one: one large file of mixed content and many small files in
nested folders. The Wine one: a real product's kind of payload, Wine's own 32-bit PE libraries (those under
1,000,000 bytes, some 117 MB) with a few MB of text (Debian's copyright files under 16 KiB).

Content comes from the machine's own Debian files (texts, Windows and ELF binaries) plus seeded
random bytes and runs, so the same seed on the same Debian files gives the same bytes. Missing
source folders are skipped, which changes the mix but never the sizes.
"""
import gzip
import hashlib
import json
import math
import os
import random
import shutil
import struct
import zlib

MB = 1024 * 1024
TEXT_ROOTS = ("/usr/share/common-licenses", "/usr/share/doc", "/usr/share/man", "/usr/include")
BINARY_ROOTS = ("/usr/lib/i386-linux-gnu/wine/i386-windows", "/usr/bin", "/usr/lib/x86_64-linux-gnu")
BIG_NAME = "big.dat"
INDEX_NAME = "index.json"
# Every payload file gets this time, so that installers built from it are reproducible.
FILE_TIME = 1704067200  # 2024-01-01 00:00:00 UTC

# (kind, weight): the big file is mostly binaries and text, like a real product's archive.
BIG_MIX = (("binary", 45), ("text", 30), ("random", 15), ("fill", 10))
SMALL_MIX = (("text", 45), ("binary", 35), ("random", 12), ("fill", 8))
EXTENSIONS = {"text": ".txt", "binary": ".dll", "random": ".bin", "fill": ".dat"}


def _files_under(roots):
    """Regular files of at least 1 KB under roots, in a fixed order (symlinks are skipped)."""
    found = []
    for root in roots:
        for folder, dirs, names in os.walk(root):
            dirs.sort()
            for name in sorted(names):
                path = os.path.join(folder, name)
                try:
                    if not os.path.islink(path) and os.path.isfile(path) and os.path.getsize(path) >= 1024:
                        found.append(path)
                except OSError:
                    continue
    return found


def _read_text(path):
    try:
        with open(path, "rb") as f:
            data = f.read()
        if path.endswith(".gz"):
            data = gzip.decompress(data)
    except (OSError, EOFError, zlib.error, gzip.BadGzipFile):
        return None
    return None if b"\0" in data[:4096] else data


def _read_binary(path):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return None
    return data if data[:4] == b"\x7fELF" or data[:2] == b"MZ" else None


class Pool:
    """Hands out slices of source files, each file once per pass in a seeded order."""

    def __init__(self, paths, reader, rng):
        self._paths = paths
        self._reader = reader
        self._rng = rng
        self._order = []

    def take(self, size):
        """Up to size bytes from the next usable file; None when no file is usable."""
        for _ in range(2 * len(self._paths)):
            if not self._order:
                self._order = list(self._paths)
                self._rng.shuffle(self._order)
            data = self._reader(self._order.pop())
            if data:
                start = self._rng.randrange(len(data) - size + 1) if len(data) > size else 0
                return data[start:start + size]
        return None


def _fill(rng, size):
    """Highly compressible data: zeros, a byte run, a short repeated pattern or a counting table."""
    style = rng.randrange(4)
    if style == 0:
        return bytes(size)
    if style == 1:
        return bytes([rng.randrange(256)]) * size
    if style == 2:
        pattern = rng.randbytes(rng.randint(2, 16))
        return (pattern * (size // len(pattern) + 1))[:size]
    base, step = rng.randrange(1 << 32), rng.randint(1, 64)
    count = size // 4 + 1
    table = struct.pack(f"<{count}I", *((base + i * step) & 0xFFFFFFFF for i in range(count)))
    return table[:size]


class ContentSource:
    """Produces chunks of a requested kind; falls back to random bytes when a pool is empty."""

    def __init__(self, seed, text_roots=TEXT_ROOTS, binary_roots=BINARY_ROOTS):
        rng = random.Random(f"velbench-{seed}")
        self.rng = rng
        self._pools = {
            "text": Pool(_files_under(text_roots), _read_text, rng),
            "binary": Pool(_files_under(binary_roots), _read_binary, rng),
        }

    def chunk(self, kind, size):
        if kind == "fill":
            return _fill(self.rng, size)
        if kind in self._pools:
            data = self._pools[kind].take(size)
            if data:
                return data
        return self.rng.randbytes(size)

    def pick(self, mix):
        kinds, weights = zip(*mix)
        return self.rng.choices(kinds, weights)[0]


def _log_uniform(rng, low, high):
    return int(math.exp(rng.uniform(math.log(low), math.log(high))))


def small_file_folders():
    """The nested folders that hold the small files, as relative paths."""
    folders = []
    for group in range(8):
        folders.append(f"res/group{group}")
        for part in range(4):
            folders.append(f"res/group{group}/part{part}")
        folders.append(f"res/group{group}/part0/deep/er")
    return folders


def write_file(root, relative, data):
    path = os.path.join(root, relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.utime(path, (FILE_TIME, FILE_TIME))
    return {"path": relative, "size": len(data), "sha256": hashlib.sha256(data).hexdigest()}


def _write_big(root, source, size):
    path = os.path.join(root, BIG_NAME)
    digest = hashlib.sha256()
    written = 0
    with open(path, "wb") as f:
        while written < size:
            kind = source.pick(BIG_MIX)
            want = _log_uniform(source.rng, 16 * 1024, MB) if kind in ("text", "binary") \
                else _log_uniform(source.rng, 4 * 1024, 512 * 1024)
            data = source.chunk(kind, min(want, size - written))
            f.write(data)
            digest.update(data)
            written += len(data)
    os.utime(path, (FILE_TIME, FILE_TIME))
    return {"path": BIG_NAME, "size": size, "sha256": digest.hexdigest()}


def generate(root, source, big_bytes, small_count, small_min=100, small_max=20 * 1024):
    """Writes the payload into root (emptied first) and returns its file list."""
    if os.path.exists(root):
        shutil.rmtree(root)
    os.makedirs(root)
    rng = source.rng
    files = [_write_big(root, source, big_bytes)]
    folders = small_file_folders()
    for n in range(small_count):
        kind = source.pick(SMALL_MIX)
        size = _log_uniform(rng, small_min, small_max)
        data = source.chunk(kind, size)
        # A slice of a short source file may come up short: pad so the size stays what was drawn.
        data += source.chunk("random", size - len(data)) if len(data) < size else b""
        relative = f"{rng.choice(folders)}/item{n:04d}{EXTENSIONS[kind]}"
        files.append(write_file(root, relative, data))
    return files


WINE_LIBRARIES = "/usr/lib/i386-linux-gnu/wine/i386-windows"
WINE_LIBRARY_MAX = 1000000
DOC_ROOT = "/usr/share/doc"
DOC_MAX = 16 * 1024


def _wine_sources():
    """(relative path in the payload, source path) of the Wine payload, in byte order of the sources."""
    sources = []
    for name in sorted(os.listdir(WINE_LIBRARIES)):
        path = os.path.join(WINE_LIBRARIES, name)
        if name.endswith(".dll") and os.path.isfile(path) and os.path.getsize(path) < WINE_LIBRARY_MAX:
            sources.append((f"bin/{name}", path))
    for package in sorted(os.listdir(DOC_ROOT)):
        path = os.path.join(DOC_ROOT, package, "copyright")
        if os.path.isfile(path) and not os.path.islink(path) and os.path.getsize(path) < DOC_MAX:
            sources.append((f"doc/{package}.txt", path))
    return sources


def ensure_wine(cache_dir):
    """The Wine payload under cache_dir/files, copied unless an intact copy of the same sources is there.

    Returns (root folder, file list, whether it was copied now)."""
    if not os.path.isdir(WINE_LIBRARIES):
        raise SystemExit(f"bench: no {WINE_LIBRARIES} (the wine32 package installs it)")
    sources = _wine_sources()
    key = {"wine": [(relative, os.path.getsize(path)) for relative, path in sources]}
    index = _cached_index(cache_dir, key)
    root = os.path.join(cache_dir, "files")
    if index:
        return root, index["files"], False
    if os.path.exists(root):
        shutil.rmtree(root)
    files = []
    for relative, path in sources:
        with open(path, "rb") as f:
            files.append(write_file(root, relative, f.read()))
    with open(os.path.join(cache_dir, INDEX_NAME), "w") as f:
        json.dump({"key": key, "files": files}, f)
    return root, files, True


def _generator_key(seed, big_bytes, small_count):
    with open(__file__, "rb") as f:
        code = hashlib.sha256(f.read()).hexdigest()
    return {"seed": seed, "big_bytes": big_bytes, "small_count": small_count, "generator": code}


def _cached_index(cache_dir, key):
    try:
        with open(os.path.join(cache_dir, INDEX_NAME)) as f:
            index = json.load(f)
    except (OSError, ValueError):
        return None
    if index.get("key") != key:
        return None
    root = os.path.join(cache_dir, "files")
    for entry in index["files"]:
        path = os.path.join(root, entry["path"])
        if not os.path.isfile(path) or os.path.getsize(path) != entry["size"]:
            return None
    return index


def ensure(cache_dir, seed, big_bytes, small_count):
    """The payload under cache_dir/files, generated unless an intact copy with the same key is there.

    Returns (root folder, file list, whether it was generated now)."""
    key = _generator_key(seed, big_bytes, small_count)
    index = _cached_index(cache_dir, key)
    root = os.path.join(cache_dir, "files")
    if index:
        return root, index["files"], False
    index_path = os.path.join(cache_dir, INDEX_NAME)
    if os.path.exists(index_path):
        os.remove(index_path)
    files = generate(root, ContentSource(seed), big_bytes, small_count)
    with open(index_path, "w") as f:
        json.dump({"key": key, "files": files}, f)
    return root, files, True


def file_digest(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(MB), b""):
            digest.update(block)
    return digest.hexdigest()


def compare_tree(folder, files, extras=()):
    """Problems of an installed folder against the payload's file list: missing, extra, wrong size
    or wrong content (relative names listed in extras may also be there). Empty when it matches."""
    expected = {entry["path"]: entry for entry in files}
    problems = []
    found = set()
    for current, dirs, names in os.walk(folder):
        dirs.sort()
        for name in sorted(names):
            relative = os.path.relpath(os.path.join(current, name), folder).replace(os.sep, "/")
            if relative in extras:
                continue
            found.add(relative)
            entry = expected.get(relative)
            path = os.path.join(current, name)
            if entry is None:
                problems.append(f"unexpected file {relative}")
            elif os.path.getsize(path) != entry["size"]:
                problems.append(f"{relative}: {os.path.getsize(path)} bytes, expected {entry['size']}")
            elif file_digest(path) != entry["sha256"]:
                problems.append(f"{relative}: content differs")
    problems.extend(f"missing file {p}" for p in sorted(expected.keys() - found))
    return problems

"""Our installer of the payload: a generated manifest for an unattended install, built with velpack."""
import os

import tools


def toml_string(text):
    """text as a TOML basic string."""
    escaped = text.replace("\\", "\\\\").replace('"', '\\"')
    return '"' + "".join(c if c >= " " and c != "\x7f" else f"\\u{ord(c):04x}" for c in escaped) + '"'


def manifest(payload_root, uninstaller, destination, compression=None):
    """An unattended product that installs every file under payload_root into destination (a Windows
    path, variables allowed) and carries uninstaller, so that the run writes the log and registration;
    compression, when given, is the manifest's codec for file data."""
    return "\n".join([
        "[product]",
        'name = "VelBench"',
        *([f"compression = {toml_string(compression)}"] if compression else []),
        f"destination = {toml_string(destination)}",
        "unattended = true",
        f"uninstaller = {toml_string(os.path.abspath(uninstaller))}",
        "",
        "[[component]]",
        'name = "Payload"',
        "",
        "  [[component.action]]",
        '  kind = "files"',
        f"  source = {toml_string(os.path.abspath(payload_root))}",
        "",
    ])


def build(velpack, stub, architecture, manifest_path, text, output):
    return tools.build_from(manifest_path, text,
                     [velpack, "build", manifest_path, "-o", output, "--stub", stub, "--architecture", architecture])

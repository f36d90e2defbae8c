"""The peer installers: NSIS scripts for the payload, one per compressor, built with makensis."""
import tools

UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\VelBench"


def _path_literal(path):
    """A build-machine path as an NSIS literal. makensis takes "$" in such paths as it stands, so only the
    quote needs choosing: one of the three kinds that the path does not contain."""
    for quote in "\"'`":
        if quote not in path:
            return quote + path + quote
    raise ValueError(f"NSIS cannot quote the path {path!r}")


def script(payload_root, output, compressor, install_dir, architecture="x86"):
    """A silent installer of everything under payload_root into install_dir (an NSIS path such as
    $PROGRAMFILES\\VelBench), with an uninstaller and its registration, like our installer writes;
    for architecture "x64" a 64-bit one, so that both peers run where only 64-bit programs do."""
    target = ["Target amd64-unicode"] if architecture == "x64" else []
    return "\n".join(target + [
        "Unicode true",
        f"SetCompressor /SOLID {compressor}",
        'Name "VelBench"',
        f"OutFile {_path_literal(output)}",
        f'InstallDir "{install_dir}"',
        "RequestExecutionLevel admin",
        "SilentInstall silent",
        "SilentUnInstall silent",
        'Section "Main"',
        '  SetOutPath "$INSTDIR"',
        f"  File /r {_path_literal(payload_root.rstrip('/') + '/*')}",
        r'  WriteUninstaller "$INSTDIR\uninst.exe"',
        f'  WriteRegStr HKLM "{UNINSTALL_KEY}" "DisplayName" "VelBench"',
        f'  WriteRegStr HKLM "{UNINSTALL_KEY}" "UninstallString" \'"$INSTDIR\\uninst.exe"\'',
        "SectionEnd",
        'Section "Uninstall"',
        '  RMDir /r "$INSTDIR"',
        f'  DeleteRegKey HKLM "{UNINSTALL_KEY}"',
        "SectionEnd",
        "",
    ])


def build(script_path, text):
    return tools.build_from(script_path, text, ["makensis", "-V2", "-NOCD", script_path])

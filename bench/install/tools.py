"""Running the build tools of the benchmark."""
import os
import subprocess
import tempfile


def build_from(source_path, text, command):
    """Writes text (a script or manifest) to source_path and runs the tool that builds it, under GNU time;
    returns the tool's peak resident memory in bytes. Raises with the tool's output when it fails."""
    with open(source_path, "w") as f:
        f.write(text)
    with tempfile.NamedTemporaryFile("r", suffix=".time") as peak:
        result = subprocess.run(["/usr/bin/time", "-q", "-f", "%M", "-o", peak.name] + command,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if result.returncode != 0:
            raise RuntimeError(f"{' '.join(command)} failed (exit code {result.returncode}):\n{result.stdout}")
        return int(peak.read().split()[-1]) * 1024 if os.path.getsize(peak.name) else None

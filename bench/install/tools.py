"""Running the build tools of the benchmark."""
import subprocess


def build_from(source_path, text, command):
    """Writes text (a script or manifest) to source_path and runs the tool that builds it; raises with the
    tool's output when it fails."""
    with open(source_path, "w") as f:
        f.write(text)
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        raise RuntimeError(f"{' '.join(command)} failed (exit code {result.returncode}):\n{result.stdout}")

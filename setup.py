"""pip install . : builds lozengia._core with the project's own CMake build
(nothing is downloaded) and installs it with the package python/lozengia.

Offline, with Debian's interpreter and its setuptools:
    /usr/bin/python3 -m pip install --no-build-isolation --no-deps .
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent
# setuptools' own folder, apart from the CMake build in build/.
BUILD = ROOT / "build-pip"


def project_version():
    """The one version, CMakeLists.txt's project(... VERSION ...)."""
    text = (ROOT / "CMakeLists.txt").read_text()
    found = re.search(r"project\(\s*Lozengia\s+VERSION\s+([0-9.]+)", text)
    if not found:
        raise RuntimeError("no project(Lozengia VERSION ...) in CMakeLists.txt")
    return found.group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        tree = BUILD / "cmake"
        args = [
            f"-DPython3_EXECUTABLE={sys.executable}",
            "-DCMAKE_BUILD_TYPE=Release",
            "-DLOZENGIA_GUI=OFF",
            "-DLOZENGIA_BENCH=OFF",
            "-DLOZENGIA_PYTHON=ON",
            # No help2man needed: pip builds only the module.
            "-DLOZENGIA_MAN_PAGES=OFF",
        ]
        if shutil.which("ninja"):
            args += ["-G", "Ninja"]
        if shutil.which("ccache"):
            args.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(tree), *args], check=True)
        subprocess.run(["cmake", "--build", str(tree), "--target", "_core"], check=True)
        built = sorted((tree / "python" / "lozengia").glob("_core*.so"))
        if not built:
            raise RuntimeError("the CMake build made no lozengia._core")
        dest = pathlib.Path(self.get_ext_fullpath(ext.name))
        dest.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], dest)


BUILD.mkdir(exist_ok=True)
os.chdir(ROOT)
setup(
    name="lozengia",
    version=project_version(),
    description="Exact random lozenge tilings of a hexagon under six models, as NumPy arrays",
    packages=["lozengia"],
    package_dir={"lozengia": "python/lozengia"},
    ext_modules=[Extension("lozengia._core", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": str(BUILD)}, "egg_info": {"egg_base": str(BUILD)}},
    python_requires=">=3.9",
    zip_safe=False,
)

"""Builds the reader library and the two modules with CMake and puts them
into the package, beside its Python files, where it loads them from."""

import glob
import os
import shutil
import subprocess
import sys

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

ROOT = os.path.dirname(os.path.abspath(__file__))
LIBRARIES = ("libzelbrant_reader.so", "zelbrant.so", "morvista.so")


class BuildWithCMake(build_py):
    def run(self):
        super().run()
        build = os.path.join(os.path.abspath(self.get_finalized_command("build").build_temp),
                             "cmake")
        jobs = os.environ.get("ZB_JOBS", str(os.cpu_count() or 2))
        # zelbrant._texts is built for the Python that runs this, where its
        # headers are (python3-dev); without them the package copies columns
        # of str instead.
        subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
                        "-DZB_TESTS=OFF", "-DZB_BENCH=OFF", f"-DZB_PYTHON={sys.executable}"],
                       check=True)
        subprocess.run(["cmake", "--build", build, "-j", jobs, "--target", "zelbrant_reader",
                        "zelbrant", "morvista"], check=True)
        subprocess.run(["cmake", "--build", build, "-j", jobs, "--target", "zelbrant_texts"],
                       check=False)
        target = os.path.join(self.build_lib, "zelbrant")
        os.makedirs(target, exist_ok=True)
        for name in LIBRARIES:
            shutil.copy2(os.path.join(build, name), target)
        for path in glob.glob(os.path.join(build, "_texts*.so")):
            shutil.copy2(path, target)


class BinaryDistribution(Distribution):
    """The wheel holds shared libraries: it is for this platform alone."""

    def has_ext_modules(self):
        return True


setup(cmdclass={"build_py": BuildWithCMake}, distclass=BinaryDistribution)

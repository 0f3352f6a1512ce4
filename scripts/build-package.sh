#!/usr/bin/env bash
# Builds the Debian package: a release build (no sanitizers) of what is installed
# into build-package/, then build-package/qelt-updater_<version>_<arch>.deb.
# On a fresh Debian 12 machine (as root) it first installs what is missing.
# Prints the package's path as its last line.
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/lib/packages.sh
# dpkg-dev (dpkg-shlibdeps) and file find the Qt 6 runtime packages to depend on.
install_missing_packages "== " "build-package.sh: " g++ cmake ninja-build libgtest-dev \
  libgmock-dev qt6-base-dev qt6-serialport-dev dpkg-dev file

echo "== Building (release) into build-package/"
# Release optimisation makes GCC 12 report -Wrestrict inside the C++ library's
# string code where there is no fault, so warnings stay warnings here; the
# sanitizer build of scripts/test.sh is the -Werror gate.
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DQELT_SANITIZE=OFF \
  -DQELT_WERROR=OFF -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build-package --target qelt-install-files -j "$(nproc)"

echo "== Packing"
rm -f build-package/qelt-updater_*.deb
(cd build-package && cpack -G DEB)
ls build-package/qelt-updater_*.deb

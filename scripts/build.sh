#!/usr/bin/env bash
# Configures and builds everything into build/, staging the bundles in build/lv2/.
# Extra arguments go to the CMake configure step. It installs nothing:
# scripts/setup.sh demo has what a build with -DZUL_CV_TESTS=OFF
# -DZUL_CV_BENCH=OFF needs, scripts/setup.sh tests what the default build needs.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZUL_CV_WERROR=ON "$@" >/dev/null
cmake --build build --parallel "$(nproc)"

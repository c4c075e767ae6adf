#!/usr/bin/env bash
# Configures and builds everything into build/, staging the bundles in build/lv2/.
# Extra arguments go to the CMake configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZUL_CV_WERROR=ON "$@" >/dev/null
cmake --build build --parallel "$(nproc)"

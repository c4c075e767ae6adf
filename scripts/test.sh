#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh -DZUL_CV_TESTS=ON
ctest --test-dir build --output-on-failure --parallel "$(nproc)"

#!/usr/bin/env bash
# Builds the library and runs the main job: the example program on the
# shipped example expressions.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target qvcmnexpr_example
build/default/examples/qvcmnexpr_example examples/expressions.txt

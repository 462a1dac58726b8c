#!/usr/bin/env bash
# Builds the library and runs the main job: the command-line program checks
# the shipped example expressions against the example catalog and describes
# each one (result type, precision, scale, aggregation level, constness,
# warnings). The last block of the examples holds deliberate mistakes, so
# xexpr's exit status 1 ("some expression is not valid") is the expected
# outcome; anything else fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target xexpr
status=0
build/default/tools/xexpr/xexpr check --catalog examples/orders_catalog.json \
    -f examples/orders_expressions.txt || status=$?
if [ "$status" -gt 1 ]; then
  echo "xexpr failed with status $status" >&2
  exit "$status"
fi

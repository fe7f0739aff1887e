#!/usr/bin/env bash
# The core never reaches the views or Qt; the test doubles never reach the views.
set -u
cd "$(dirname "$0")/../src"
bad=$(grep -rnE '#include\s*[<"](Q[A-Za-z]*|qt[^>"]*|ui/[^">]*)[>"]' core testing)
if [ -n "$bad" ]; then
    echo "layering: the core or the test doubles include a view or Qt header:"
    echo "$bad"
    exit 1
fi
echo "layering: core and testing include nothing of ui or Qt"

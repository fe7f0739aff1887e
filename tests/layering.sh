#!/usr/bin/env bash
# The core never reaches the views or Qt; the test doubles never reach the
# views; the start-up work main does before Qt exists reaches neither Qt, the
# views nor the core.
set -u
cd "$(dirname "$0")/../src"
bad=$(grep -rnE '#include\s*[<"](Q[A-Za-z]*|qt[^>"]*|ui/[^">]*)[>"]' core testing app)
if [ -n "$bad" ]; then
    echo "layering: the core, the test doubles or the start-up work include a view or Qt header:"
    echo "$bad"
    exit 1
fi
bad=$(grep -rnE '#include\s*[<"]core/[^">]*[>"]' app)
if [ -n "$bad" ]; then
    echo "layering: the start-up work includes the core:"
    echo "$bad"
    exit 1
fi
echo "layering: core, testing and app include nothing of ui or Qt; app nothing of the core"

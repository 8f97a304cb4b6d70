#!/bin/sh
# The core library exports its ABI and nothing else: every function whose signature
# pdflib/dynapdf_abi.h declares (typedef pfn_NAME), and no other symbol.
set -eu
library=$1
header=$2
exported=$(nm -D --defined-only "$library" | awk '{print $3}' | sort)
declared=$(grep -o 'PDF_CALL\* pfn_[a-zA-Z0-9_]*' "$header" | sed 's/.*pfn_//' | sort -u)
if [ "$exported" != "$declared" ]; then
  echo "exported but not declared:"; echo "$exported" | grep -vxF "$declared" || true
  echo "declared but not exported:"; echo "$declared" | grep -vxF "$exported" || true
  exit 1
fi
echo "$(echo "$exported" | wc -l) functions exported, all of the ABI"

#!/bin/sh
# Regenerates the help documents from docs/ into a scratch folder and compares them byte for byte with the
# committed ones (the generator's output is deterministic).
#
#   documents_match_sources.sh SOURCE_DIR SCRATCH_DIR
set -u
source_dir=$1
scratch=$2

rm -rf "$scratch"
mkdir -p "$scratch" || exit 1
"$source_dir/tools/make_documents.py" --out "$scratch" || { echo "FAIL: the generator failed" >&2; exit 1; }

status=0
for name in Instruction Instruction_eng Changes; do
  if ! cmp -s "$scratch/$name.pdf" "$source_dir/resources/documents/$name.pdf"; then
    echo "FAIL: resources/documents/$name.pdf differs from what its source makes;" \
         "run tools/make_documents.py and commit the result" >&2
    status=1
  fi
done
[ $status -eq 0 ] && echo "ok: the committed documents match their sources"
exit $status

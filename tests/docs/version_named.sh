#!/bin/sh
# The release's file names in the documents a technician reads (README.md and docs/*.md) name the project
# version of CMakeLists.txt: a new version that leaves one of them behind fails here, with its file and line.
#
#   version_named.sh SOURCE_DIR
set -u
cd "$1" || exit 1
version=$(sed -n 's/^project(scaleboot VERSION \([0-9][0-9.]*\)[ )].*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "FAIL: no project version in CMakeLists.txt" >&2; exit 1; }
names='ScaleBoot-[0-9][0-9.]*-windows|scaleboot(-cli)?_[0-9][0-9.]*_amd64'
found=$(grep -noE "$names" README.md docs/*.md)
[ -n "$found" ] || { echo "FAIL: no release file named in README.md or docs/*.md" >&2; exit 1; }
stale=$(printf '%s\n' "$found" | grep -vE "(ScaleBoot-$version-windows|scaleboot(-cli)?_${version}_amd64)\$")
if [ -n "$stale" ]; then
  echo "FAIL: these name another version than $version (CMakeLists.txt):" >&2
  printf '%s\n' "$stale" >&2
  exit 1
fi
echo "ok: $(printf '%s\n' "$found" | wc -l) release file names, all of version $version"

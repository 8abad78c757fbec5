#!/bin/sh
# Checks one committed help document the way a reader's viewer meets it: the file parses without complaint,
# has the expected PDF version and number of pages, embeds every font it uses (so Cyrillic renders on any
# machine), and carries the given sentence in its extractable text.
#
#   check_document.sh FILE PDF_VERSION PAGES SENTENCE
#
# Needs pdfinfo, pdffonts and pdftotext from poppler-utils.
set -u

if [ $# -ne 4 ]; then
  echo "usage: $0 FILE PDF_VERSION PAGES SENTENCE" >&2
  exit 2
fi
file=$1
version=$2
pages=$3
sentence=$4

for tool in pdfinfo pdffonts pdftotext; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "FAIL: $tool is missing; install poppler-utils (apt-get install poppler-utils) to check the documents" >&2
    exit 1
  fi
done

fail() {
  echo "FAIL: $file: $*" >&2
  exit 1
}

[ -f "$file" ] || fail "no such file"

errors=$(mktemp)
trap 'rm -f "$errors"' EXIT

# pdfinfo repairs some damage silently but reports it on stderr: any such report is a failure here.
info=$(pdfinfo "$file" 2>"$errors") || fail "pdfinfo cannot read it: $(cat "$errors")"
[ -s "$errors" ] && fail "pdfinfo reports problems: $(cat "$errors")"

found=$(printf '%s\n' "$info" | sed -n 's/^PDF version: *//p')
[ "$found" = "$version" ] || fail "PDF version is '$found', expected $version"

found=$(printf '%s\n' "$info" | sed -n 's/^Pages: *//p')
[ "$found" = "$pages" ] || fail "has '$found' pages, expected $pages"

# pdffonts prints two header lines, then one line per font ending in: emb sub uni object-number generation.
fonts=$(pdffonts "$file" 2>"$errors") || fail "pdffonts cannot read it: $(cat "$errors")"
[ -s "$errors" ] && fail "pdffonts reports problems: $(cat "$errors")"
count=$(printf '%s\n' "$fonts" | tail -n +3 | grep -c .)
[ "$count" -gt 0 ] || fail "uses no fonts, so it has no text"
missing=$(printf '%s\n' "$fonts" | tail -n +3 | awk '$(NF-4) != "yes" { print $1 }')
[ -z "$missing" ] || fail "fonts not embedded: $missing"

# Extracted text with every run of white space made one blank, as lines may break anywhere in a sentence.
text=$(pdftotext -enc UTF-8 "$file" - 2>"$errors" | tr -s '[:space:]' ' ') || fail "pdftotext cannot read it"
[ -s "$errors" ] && fail "pdftotext reports problems: $(cat "$errors")"
case "$text" in
  *"$sentence"*) ;;
  *) fail "its text does not contain: $sentence" ;;
esac

echo "ok: $file: PDF $version, $pages pages, $count embedded fonts, sentence found"

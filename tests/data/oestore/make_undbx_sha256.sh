#!/bin/sh
# Regenerates undbx_sha256.txt: the SHA-256 of every message that undbx
# (Debian package undbx) extracts from the reference .dbx files, one line
# per message: "<file relative to refdata/dbx> <sha256>", sorted.
# Usage: make_undbx_sha256.sh [REFDATA_DBX_DIR]  (run from this directory)
set -eu
ref=${1:-../../../../shared/refdata/dbx}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
out=undbx_sha256.txt
: > "$out.new"
for f in "$ref"/*/*.dbx; do
  rel=${f#"$ref"/}
  d="$tmp/$(echo "$rel" | tr / _)"
  mkdir -p "$d"
  undbx -v 0 "$f" "$d" >/dev/null 2>&1 || true
  find "$d" -type f -name '*.eml' -exec sha256sum {} + | awk -v r="$rel" '{print r, $1}' >> "$out.new"
done
LC_ALL=C sort "$out.new" > "$out"
rm -f "$out.new"

#!/usr/bin/env bash
# Fails when code outside the store and library folders reaches the library connection: SQLiteStore
# by name, its header, or the store's detail header. Everything else asks LinkStore's named operations.
# Usage: store_surface.sh <src dir>
set -euo pipefail
src=$1

status=0
while IFS= read -r hit; do
  text=${hit#*:*:}
  # A comment may name the class (a log category's example, say).
  [[ $text =~ ^[[:space:]]*// ]] && continue
  echo "$hit"
  status=1
done < <(grep -rnE --include='*.h' --include='*.cpp' --exclude-dir=store --exclude-dir=library \
           '\bSQLiteStore\b|"store/LinkStoreDetail\.h"' "$src" || true)
if [[ $status -ne 0 ]]; then
  echo "the lines above reach the library connection outside src/store and src/library: use LinkStore's named operations"
fi
exit $status

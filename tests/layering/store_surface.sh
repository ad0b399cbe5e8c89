#!/usr/bin/env bash
# Fails when code outside the store and library folders reaches the library connection: SQLiteStore
# by name, its header, or the store's detail header. Everything else asks LinkStore's named operations.
# Inside the store, the operations' headers take the library's parts they use (its reads, writes,
# transactions...): only LinkStore and its detail header hold the whole database.
# Usage: store_surface.sh <src dir>
set -euo pipefail
src=$1

status=0
# Prints the grep hits given on stdin that are code, not comments (a comment may name the class: a log
# category's example, say), and fails when there is one.
report() {
  local printed=0 hit text
  while IFS= read -r hit; do
    text=${hit#*:*:}
    [[ $text =~ ^[[:space:]]*// ]] && continue
    echo "$hit"
    printed=1
  done
  [[ $printed -eq 1 ]]
}

if grep -rnE --include='*.h' --include='*.cpp' --exclude-dir=store --exclude-dir=library \
     '\bSQLiteStore\b|"store/LinkStoreDetail\.h"' "$src" | report; then
  echo "the lines above reach the library connection outside src/store and src/library: use LinkStore's named operations"
  status=1
fi
if grep -nE '\bSQLiteStore\b' "$src"/store/*.h | grep -vE '^[^:]*/LinkStore(Detail)?\.h:' | report; then
  echo "the lines above give a store class the whole library database: give it the parts it uses"
  status=1
fi
exit $status

#!/usr/bin/env bash
# Fails when a source file includes a header of a layer built after its own, or when a layer that
# must stay free of windows includes a QtGui, QtWidgets or QtMultimedia header outside its widgets/ folder.
# Usage: layer_includes.sh <src dir> "<layers in build order>" "<layers limited to QtCore>"
set -euo pipefail
src=$1
read -r -a layers <<<"$2"
read -r -a coreOnly <<<"$3"

declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done

status=0
for layer in "${layers[@]}"; do
  [[ -d $src/$layer ]] || continue
  while IFS=: read -r file line target; do
    other=${target%%/*}
    if [[ -n ${rank[$other]+set} && ${rank[$other]} -gt ${rank[$layer]} ]]; then
      echo "$file:$line: $layer includes $target, a header of the later layer $other"
      status=1
    fi
  done < <(grep -rnoE --include='*.h' --include='*.cpp' '^#include "[^"]+/[^"]+"' "$src/$layer" |
           sed -E 's/#include "([^"]+)"/\1/')
done

guiHeaders='^#include <(Qt(Gui|Widgets|Multimedia)/|Q(Application|Widget|Painter|Pixmap|Icon|Color|Image|Font|Palette|GuiApplication|Clipboard|Window|Screen|MessageBox|FileDialog|Menu|SystemTrayIcon|SoundEffect|MediaDevices|KeyEvent|Action)\b)'
for layer in "${coreOnly[@]}"; do
  [[ -d $src/$layer ]] || continue
  if grep -rnE --include='*.h' --include='*.cpp' --exclude-dir=widgets "$guiHeaders" "$src/$layer"; then
    echo "the $layer layer links QtCore only: the lines above reach for windows or painting"
    status=1
  fi
done
exit $status

#!/usr/bin/env bash
# Fails when a source file includes a header of a layer built after its own, when a layer that must
# stay free of windows includes a QtGui, QtWidgets or QtMultimedia header outside its widgets/ folder,
# when a file outside the desktop layer talks to the X server itself, or when a foundation header
# serves only the folders that paint (it belongs in the desktop layer then).
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
# The X server is reached through the desktop layer only: one place knows its connections.
if grep -rnE --include='*.h' --include='*.cpp' '^#include <(xcb|X11)/' "$src" | grep -v "^$src/desktop/"; then
  echo "the lines above talk to the X server outside the desktop layer"
  status=1
fi

# Folders that paint: the desktop layer, the preferences window, the application and every widgets/ folder.
paints() { [[ $1 =~ ^$src/(desktop|preferences|app)/ || $1 =~ /widgets/ ]]; }
for header in "$src"/foundation/*.h; do
  name=$(basename "$header")
  used=0
  while read -r user; do
    [[ $user == "${header%.h}.cpp" ]] && continue
    paints "$user" || { used=1; break; }
  done < <(grep -rlE --include='*.h' --include='*.cpp' "^#include \"(foundation/)?$name\"" "$src")
  if [[ $used == 0 ]]; then
    echo "$header: only folders that paint include it: it belongs in the desktop layer"
    status=1
  fi
done
exit $status

#!/usr/bin/env bash
# Installs what is missing, builds Quelvane and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

build=${QUELVANE_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUELVANE_TESTS=OFF
cmake --build "$build"
# A desktop entry and the icon for this build, so that the program shows in the desktop's menu.
programme=$(realpath "$build/src/app/quelvane")
donnees=${XDG_DATA_HOME:-$HOME/.local/share}
mkdir -p "$donnees/applications" "$donnees/icons/hicolor/256x256/apps"
install -m 644 src/ui/icones/quelvane-256.png "$donnees/icons/hicolor/256x256/apps/quelvane.png"
entree="$donnees/applications/quelvane.desktop"
sed "s|^Exec=.*|Exec=\"$programme\" %F|" src/app/quelvane.desktop > "$entree.tmp"
mv "$entree.tmp" "$entree"

exec "$programme" "$@"

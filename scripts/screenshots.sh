#!/usr/bin/env bash
# Takes the pictures under docs/ from real windows on a virtual X server (Xvfb), with the
# built-in skin and an in-process demo trade server. Installs Xvfb if it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/setup.sh
for p in xvfb xauth; do
  if ! dpkg -s "$p" >/dev/null 2>&1; then
    SUDO=; [ "$(id -u)" -ne 0 ] && SUDO=sudo
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends xvfb xauth
    break
  fi
done

build=${HALVORN_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target halvorn_ui_screenshots

mkdir -p docs
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" \
  "$root/$build/tests/ui/halvorn_ui_screenshots" "$root/docs"
# The main window on a high-density screen: twice the pixels, everything at twice the size.
QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 2560x1600x24 -dpi 96" \
  "$root/$build/tests/ui/halvorn_ui_screenshots" "$root/docs" main-window-2x
echo "Saved docs/login-dialog.png, lock-dialog.png, main-window.png, entrust-confirm.png, cur-entrust.png, about-box.png and main-window-2x.png"

#!/usr/bin/env bash
# Copies the windowed program's fallback icons from Debian's
# adwaita-icon-theme (CC-BY-SA-3.0 or LGPL-3, see app/icons/README.md) into
# app/icons/<size>/<freedesktop name>.png, and the program's own icon into
# app/icons/app/<size>.png. The copies are checked in; run this again only to
# change the set.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
ensure_packages adwaita-icon-theme
theme=/usr/share/icons/Adwaita
# name=source (relative to a size folder of the theme)
icons=(
  document-new=actions/document-new-symbolic.symbolic.png
  document-open=actions/document-open-symbolic.symbolic.png
  archive-extract=places/folder-download.png
  view-refresh=actions/view-refresh-symbolic.symbolic.png
  application-x-executable=mimetypes/application-x-executable.png
  list-add=actions/list-add-symbolic.symbolic.png
  list-remove=actions/list-remove-symbolic.symbolic.png
  dialog-password=status/dialog-password-symbolic.symbolic.png
  view-fullscreen=actions/view-fullscreen-symbolic.symbolic.png
  document-preview=actions/edit-find-symbolic.symbolic.png
  security-high=status/security-high-symbolic.symbolic.png
  tools-check-spelling=actions/tools-check-spelling-symbolic.symbolic.png
  help-contextual=legacy/help-browser-symbolic.symbolic.png
  dialog-error=status/dialog-error-symbolic.symbolic.png
  dialog-warning=status/dialog-warning-symbolic.symbolic.png
  dialog-question=status/dialog-question-symbolic.symbolic.png
  folder=places/folder.png
  folder-open=places/folder-open.png
  text-x-generic=mimetypes/text-x-generic.png
  computer=devices/computer.png
  network-workgroup=places/network-workgroup.png
  network-server=places/network-server.png
  drive-harddisk=devices/drive-harddisk.png
  drive-removable-media=devices/drive-removable-media.png
  media-floppy=devices/media-floppy-symbolic.symbolic.png
  media-optical=devices/media-optical.png
)
for size in 16 32; do
  mkdir -p "app/icons/$size"
  for pair in "${icons[@]}"; do
    cp "$theme/${size}x${size}/${pair#*=}" "app/icons/$size/${pair%%=*}.png"
  done
done
mkdir -p app/icons/app
{
  echo '<!DOCTYPE RCC><RCC version="1.0">'
  echo '<qresource prefix="/">'
  for file in app/icons/16/*.png app/icons/32/*.png app/icons/app/*.png; do
    echo "  <file>${file#app/}</file>"
  done
  echo '</qresource>'
  echo '</RCC>'
} >app/icons.qrc.new
for size in 16 22 24 32 48 512; do
  cp "$theme/${size}x${size}/mimetypes/package-x-generic.png" "app/icons/app/$size.png"
done
mv app/icons.qrc.new app/icons.qrc

#!/bin/sh
# Removes what `make install` put under PREFIX, as listed in the installed-files list
# beside the installed program:
#
#   dist/uninstall.sh PREFIX
#
# A shipped demo song that was changed since it was installed is the user's and stays,
# as do all other songs the user saved; the playback hand-off file songs/tmp.dat is the
# program's own and goes. The application's folder goes when nothing else is left in it,
# and so do the shared folders (bin, share/applications, ...) that the installation made.
set -eu

prefix=${1:?usage: uninstall.sh PREFIX}
list=$(ls "$prefix"/lib/tamo-tracker/installed-files "$prefix"/lib/*/tamo-tracker/installed-files \
       2>/dev/null | head -n1 || true)
if [ -z "$list" ]; then
    echo "Nothing of Tamo Tracker is installed in $prefix."
    exit 0
fi
app=$(dirname "$list")

folders=$(sed -n 's/^d //p' "$list")
while read -r sum path; do
    file=$prefix/$path
    if [ "$sum" = d ] || { [ ! -e "$file" ] && [ ! -L "$file" ]; }; then continue; fi
    if [ "$sum" != "-" ] && [ "$(sha256sum < "$file" | cut -d' ' -f1)" != "$sum" ]; then
        echo "Kept (changed since it was installed): $file"
        continue
    fi
    rm -f "$file"
done < "$list"
rm -f "$list" "$app/data/songs/tmp.dat"
find "$app" -depth -type d -empty -delete

# The desktop's databases that the installation updated: brought up to date without the
# song type and the menu entry, and gone where the installation made their folder and
# nothing of anyone else's is left in it (the MIME database is made from its packages/).
made() { echo "$folders" | grep -qx "$1"; }
mime=$prefix/share/mime
if [ -d "$mime" ]; then
    if [ -z "$(ls -A "$mime/packages" 2>/dev/null)" ] && made share/mime; then
        rm -rf "$mime"
    elif command -v update-mime-database >/dev/null; then
        update-mime-database "$mime"
    fi
fi
apps=$prefix/share/applications
if [ -d "$apps" ] && command -v update-desktop-database >/dev/null; then
    update-desktop-database "$apps"
fi
if made share/applications && [ "$(ls -A "$apps" 2>/dev/null)" = mimeinfo.cache ]; then
    rm -f "$apps/mimeinfo.cache"
fi
# The shared folders the installation created, deepest first, when they are empty.
echo "$folders" | while read -r path; do
    [ -n "$path" ] && rmdir "$prefix/$path" 2>/dev/null || true
done
[ -d "$app" ] && echo "Kept your songs in $app/data/songs."
echo "Uninstalled Tamo Tracker from $prefix."

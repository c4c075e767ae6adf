#!/usr/bin/env bash
# windows_zip.sh ZIP STRIP README LICENSE STAGE_DIR FORM...
# The Windows release from the staged bundles: ZIP (an absolute path) holds
# one folder, its own name without .zip, with README.txt, LICENSE.txt and
# each FORM's bundle under cv/ (the CV plugins) or audio/ (the -audio forms),
# every DLL stripped by STRIP. The same bytes from every build of one commit:
# every file dated SOURCE_DATE_EPOCH (the stripped DLLs' headers too), 0644,
# the entries in byte order, no extra fields (zip -X), times written in UTC.
set -euo pipefail
zip=$1 strip=$2 readme=$3 license=$4 stage=$5
shift 5
: "${SOURCE_DATE_EPOCH:?windows_zip.sh dates the files by SOURCE_DATE_EPOCH}"
unset ZIP ZIPOPT # zip would take options from them
name=$(basename "$zip" .zip)
work=$zip.d
rm -rf "$work" "$zip"
mkdir -p "$work/$name/cv" "$work/$name/audio"
for form in "$@"; do
  case $form in
    *-audio) kind=audio ;;
    *) kind=cv ;;
  esac
  cp -R "$stage/$form.lv2" "$work/$name/$kind/"
  "$strip" "$work/$name/$kind/$form.lv2/$form.dll"
done
cp "$readme" "$work/$name/README.txt"
cp "$license" "$work/$name/LICENSE.txt"
find "$work/$name" -type f -exec chmod 0644 {} + -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$work" && find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -X -9 -q -@ "$work/out.zip")
mv "$work/out.zip" "$zip"
rm -rf "$work"

#!/usr/bin/env bash
# check_package.sh BUILD_DIR URI_BASE NAME VERSION MAINTAINER HOMEPAGE PLUGIN...
# Builds the Debian packages of the build tree into a scratch directory, NAME
# with the PLUGINs and NAME-audio with their audio-port forms, and holds each
# against what cmake --install puts in its bundles: a package must hold those
# bundles under /usr/lib/lv2, each with its manifest, Turtle and library and
# every file its staged manifest names (the factory presets), the
# copyright file and the two changelogs under /usr/share/doc/<package>, and
# nothing else, owned by root with Debian's modes, the libraries without the
# compiler's .comment. The copyright file carries
# LICENSE's copyright line and text; changelog.Debian.gz is
# packaging/changelog and changelog.gz NEWS.md as gzip -9n writes them, dated
# by the changelog's newest entry, which is VERSION (with its Debian
# revision, as in the package's name and Version). Its control
# fields name the project, its version and the Debian architecture of the
# compiler's target, and it depends on libc6 from the first release with
# every symbol version that the libraries need. Every library is an ELF file
# of that architecture's class and machine, stripped. lintian finds no error
# and no warning in it (its notes, I: and below, are shown but pass).
# Unpacked, lilv finds exactly our plugins in it, and for this machine's
# architecture lv2bench runs them. Built again from the same sources in
# another directory, the packages come out the same, byte for byte.
# CXX names the build's compiler, READELF the binutils' readelf (the
# target's, for a cross build); the machine's by default. PACKAGES names every
# package cpack must write (NAME alone by default); with NAME-tools among
# them, that one must hold zul-render, its manual page and the same doc,
# depend on lilv and libsndfile, recommend gnuplot, pass lintian, and run
# from the unpacked packages, through EMULATOR (a command, such as qemu-user's)
# where the architecture is not this machine's.
set -uo pipefail
build=$(cd "$1" && pwd)
base=$2
name=$3
version=$4
maintainer=$5
homepage=$6
shift 6
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0
failed=0
check() {  # check WHAT COMMAND...: counts one check, and prints what failed
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL ${current:-}$what"
  fi
}
equal() {  # equal ACTUAL EXPECTED, showing both when they differ
  [ "$1" = "$2" ] && return
  printf 'got:\n%s\nexpected:\n%s\n' "$1" "$2"
  return 1
}

readelf=${READELF:-readelf}
# The compiler's target as dpkg names it, independently of how the build
# names it for cpack.
triplet=$("${CXX:-c++}" -dumpmachine)
arch=$(dpkg-architecture -t "$triplet" -qDEB_HOST_ARCH 2>/dev/null)
[ -n "$arch" ] || { echo "FAIL no Debian architecture for $triplet"; exit 1; }
# readelf -h's Class and Machine of each architecture's libraries; for armhf
# also the hard-float calling convention in Flags.
case $arch in
  amd64) elf="ELF64 Advanced Micro Devices X86-64" ;;
  arm64) elf="ELF64 AArch64" ;;
  armhf) elf="ELF32 ARM hard-float" ;;
  *) echo "FAIL no ELF class and machine known for $arch"; exit 1 ;;
esac
lv2=usr/lib/lv2
source=$(cd "$here/.." && pwd)
plugins=("$@")
audio_forms=("${plugins[@]/%/-audio}")

if ! timeout 240 cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" \
  >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  echo "FAIL cpack"
  echo "$passed passed, 1 failed"
  exit 1
fi
packages=${PACKAGES:-$name $name-audio}
check "cpack writes the packages $packages, no more" \
  equal "$(cd "$scratch/out" && ls -d ./*.deb | LC_ALL=C sort)" \
  "$(for p in $packages; do echo "./${p}_${version}_$arch.deb"; done | LC_ALL=C sort)"
DESTDIR="$scratch/install" cmake --install "$build" --prefix /usr >/dev/null

elf_of() {  # "CLASS MACHINE", and hard-float if the flags say so
  "$readelf" -h "$1" | awk -F ': *' '
    $1 ~ /Class$/ { class = $2 } $1 ~ /Machine$/ { machine = $2 }
    $1 ~ /Flags$/ && $2 ~ /hard-float ABI/ { abi = " hard-float" }
    END { print class " " machine abi }'
}

# lintian exits non-zero on an error or a warning, and says why in E: and W:
# lines; either fails the check. Run as root it says so on stderr, and goes on.
lintian_clean() {  # lintian_clean DEB
  local status=0
  lintian --info --display-info --fail-on error,warning "$1" >"$scratch/lintian.log" 2>&1 ||
    status=$?
  if [ "$status" -ne 0 ] || grep -q '^[EW]: ' "$scratch/lintian.log"; then
    cat "$scratch/lintian.log"
    return 1
  fi
  grep '^[^N]: ' "$scratch/lintian.log" || true  # the tags alone, without their explanations
}

# check_deb PACKAGE BUNDLE...: the checks of one package, each named after it.
check_deb() {
  local package=$1
  shift
  local deb=$scratch/out/${package}_${version}_${arch}.deb
  local doc=usr/share/doc/$package
  local root=$scratch/root-$package
  current="$package: "
  [ -f "$deb" ] || { check "cpack wrote $deb" false; return; }

  # What the package must hold: every file and directory that cmake --install
  # lays into our bundles, under /usr/lib/lv2, and the directories above it.
  for p in "$@"; do
    for f in manifest.ttl "$p.ttl" "$p.so" $("$here/bundle_files.sh" "$build/lv2/$p.lv2"); do
      check "cmake --install lays $p.lv2/$f" test -f "$scratch/install/$lv2/$p.lv2/$f"
    done
  done
  check "cmake --install lays the copyright file and the changelogs, and no other doc" \
    equal "$(ls "$scratch/install/$doc")" "$(printf '%s\n' changelog.Debian.gz changelog.gz copyright)"
  local expected
  expected=$(
    printf './%s/\n' usr usr/lib $lv2 usr/share usr/share/doc
    cd "$scratch/install" &&
      for p in "$@"; do
        find "$lv2/$p.lv2" -type d -printf './%p/\n' -o -printf './%p\n'
      done &&
      find "$doc" -type d -printf './%p/\n' -o -printf './%p\n'
  )

  # dpkg-deb -c: "MODE OWNER/GROUP SIZE DATE TIME PATH".
  local listing libraries glibc copyright license_text changelog changelog_date description
  listing=$(dpkg-deb -c "$deb")
  check "the package holds exactly the bundles and the doc" \
    equal "$(awk '{ print $6 }' <<<"$listing" | sort)" "$(sort <<<"$expected")"
  check "every entry is owned by root" \
    equal "$(awk '$2 != "root/root"' <<<"$listing")" ""
  check "directories are drwxr-xr-x, files -rw-r--r--, and nothing else is there" \
    equal "$(awk '!($1 == "drwxr-xr-x" && $6 ~ /\/$/) && !($1 == "-rw-r--r--" && $6 !~ /\/$/)' \
      <<<"$listing")" ""

  dpkg-deb -x "$deb" "$root"
  libraries=("$root/$lv2"/*/*.so)
  check "every library is $elf" \
    equal "$(for so in "${libraries[@]}"; do elf_of "$so"; done | sort -u)" "$elf"
  # The newest symbol version of the C library (libc.so.6, libm.so.6) that any
  # library needs: natively dpkg-shlibdeps worked out the Depends, which this
  # checks; a cross build's own comes from the same script.
  glibc=$("$source/cmake/newest_glibc.sh" "$readelf" "${libraries[@]}")
  check "the libraries need some version of the C library" test -n "$glibc"
  check "the libraries are stripped of their symbol table, .debug_* and .comment, as dh_strip would" \
    equal "$(for so in "${libraries[@]}"; do
      "$readelf" -S -W "$so" | grep -qE ' \.(symtab|debug_[a-z_]*|comment) ' && echo "$so"
    done)" ""

  # The copyright file: LICENSE's copyright line, and its text in each License
  # paragraph, indented by one space with " ." for an empty line.
  copyright=$root/$doc/copyright
  check "copyright is in Debian's machine-readable format" \
    equal "$(head -n 1 "$copyright")" \
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
  check "copyright names LICENSE's copyright holders" \
    equal "$(sed -n 's/^Copyright: //p' "$copyright")" \
    "$(sed -n 's/^Copyright (c) //p' "$source/LICENSE")"
  license_text=$(sed '1,/^Copyright (c) /d' "$source/LICENSE" | sed '1{/^$/d}')
  check "copyright carries LICENSE's text" \
    equal "$(awk '/^License: ISC$/ { text = 1; next }
                  text && /^ / { sub(/^ /, ""); if ($0 == ".") $0 = ""; print; next }
                  { text = 0 }' "$copyright")" "$license_text"

  check "copyright is packaging/debian/copyright" cmp "$copyright" "$source/packaging/debian/copyright"
  changelog=$root/$doc/changelog.Debian.gz
  check "changelog.Debian.gz is packaging/changelog as gzip -9n compresses it" \
    cmp "$changelog" <(gzip -9nc "$source/packaging/changelog")
  check "changelog.gz is NEWS.md as gzip -9n compresses it" \
    cmp "$root/$doc/changelog.gz" <(gzip -9nc "$source/NEWS.md")
  check "the changelog's newest entry is $name $version" \
    equal "$(zcat "$changelog" | head -n 1 | cut -d ' ' -f 1,2)" "$name ($version)"
  changelog_date=$(zcat "$changelog" | sed -n 's/^ -- .*>  //p' | head -n 1)
  check "both changelogs are dated by the newest entry" \
    equal "$(stat -c %Y "$changelog" "$root/$doc/changelog.gz" | sort -u)" \
    "$(date -d "$changelog_date" +%s)"

  field() { dpkg-deb -f "$deb" "$1"; }
  check "Package" equal "$(field Package)" "$package"
  check "Version" equal "$(field Version)" "$version"
  check "Architecture" equal "$(field Architecture)" "$arch"
  check "Maintainer" equal "$(field Maintainer)" "$maintainer"
  check "Homepage" equal "$(field Homepage)" "$homepage"
  check "Section" equal "$(field Section)" sound
  check "Depends" equal "$(field Depends)" "libc6 (>= $glibc)"
  description=$(field Description)
  check "Description has a summary and a long description" \
    test "$(grep -c '^ [^ ]' <<<"$description")" -gt 0 -a -n "$(head -n 1 <<<"$description")"
  check "Description lines fit in 80 columns" \
    equal "$(awk 'length > 80' <<<"$description")" ""
  if [ "$package" = "$name" ]; then
    check "Description names every architecture the results are exact on" \
      grep -q 'x86-64 (with and without FMA), AArch64 and 32-bit ARM' <<<"$(tr '\n' ' ' <<<"$description" | tr -s ' ')"
  fi

  check "lintian finds no error and no warning" lintian_clean "$deb"

  if [ "$arch" = "$(dpkg --print-architecture)" ]; then
    check "lilv finds exactly our plugins in the unpacked package, and lv2bench runs them" \
      "$here/expect_lilv.sh" "$root/$lv2" "$build/lv2" "$base" "$@"
  else
    echo "SKIP lv2bench: $arch libraries do not load on $(dpkg --print-architecture);" \
      "lv2ls and lv2info read the Turtle alone"
    check "lilv finds exactly our plugins in the unpacked package" \
      "$here/expect_lilv.sh" --no-load "$root/$lv2" "$build/lv2" "$base" "$@"
  fi
}

check_deb "$name" "${plugins[@]}"
check_deb "$name-audio" "${audio_forms[@]}"

if [[ " $packages " == *" $name-tools "* ]]; then
  source "$here/check_tools_package.sh"
fi

# Reproducible: the same commit built again, in another directory and later,
# with the same toolchain, build type and flags (a distribution's too), gives
# the same packages byte for byte.
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
again=$scratch/again
rebuilt() {
  local toolchain
  toolchain=$(cache_value CMAKE_TOOLCHAIN_FILE)
  cmake -S "$source" -B "$again" ${toolchain:+--toolchain "$toolchain"} \
    -DCMAKE_BUILD_TYPE="$(cache_value CMAKE_BUILD_TYPE)" -DZUL_CV_TOOLS="$(cache_value ZUL_CV_TOOLS)" \
    -DCMAKE_CXX_FLAGS="$(cache_value CMAKE_CXX_FLAGS)" \
    -DCMAKE_MODULE_LINKER_FLAGS="$(cache_value CMAKE_MODULE_LINKER_FLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(cache_value CMAKE_EXE_LINKER_FLAGS)" \
    -DZUL_CV_DOMAIN="$(cache_value ZUL_CV_DOMAIN)" -DZUL_CV_TESTS=OFF -DZUL_CV_BENCH=OFF \
    >"$scratch/again.log" 2>&1 &&
    cmake --build "$again" --parallel "$(nproc)" >>"$scratch/again.log" 2>&1 &&
    cpack -G DEB --config "$again/CPackConfig.cmake" -B "$scratch/again-out" \
      >>"$scratch/again.log" 2>&1 || { tail -n 20 "$scratch/again.log"; return 1; }
}
same_packages() {
  local deb status=0
  for deb in "$scratch"/out/*.deb; do
    cmp "$deb" "$scratch/again-out/$(basename "$deb")" || status=1
  done
  return $status
}
current=""
check "the same commit built again elsewhere gives the packages" rebuilt
check "the packages built again are the same, byte for byte" same_packages

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]

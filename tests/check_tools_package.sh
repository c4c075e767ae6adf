# Sourced by check_package.sh once the plugins' package passed its checks:
# the package NAME-tools beside it, with the variables and helpers there.
tools="$name-tools"
tools_deb=$scratch/out/${tools}_${version}_$arch.deb
tools_doc=usr/share/doc/$tools
tools_listing=$(dpkg-deb -c "$tools_deb")
check "$tools holds zul-render, its manual page and the doc, and nothing else" \
  equal "$(awk '{ print $6 }' <<<"$tools_listing" | sort)" "$(printf './%s\n' usr/ usr/bin/ \
    usr/bin/zul-render usr/share/ usr/share/doc/ "$tools_doc/" "$tools_doc/changelog.gz" "$tools_doc/changelog.Debian.gz" \
    "$tools_doc/copyright" usr/share/man/ usr/share/man/man1/ usr/share/man/man1/zul-render.1.gz |
    sort)"
check "$tools: owned by root, zul-render -rwxr-xr-x, the rest as in $name" \
  equal "$(awk '$2 != "root/root" || !(($1 == "drwxr-xr-x" && $6 ~ /\/$/) ||
    ($1 == "-rwxr-xr-x" && $6 == "./usr/bin/zul-render") ||
    ($1 == "-rw-r--r-- " && $6 !~ /\/$/) || ($1 == "-rw-r--r--" && $6 !~ /\/$/ && $6 !~ /bin/))' \
    <<<"$tools_listing")" ""

dpkg-deb -x "$tools_deb" "$scratch/tools"
for f in copyright changelog.gz changelog.Debian.gz; do
  check "$tools: $f is $name's" cmp "$scratch/tools/$tools_doc/$f" "$scratch/root-$name/usr/share/doc/$name/$f"
done
program=$scratch/tools/usr/bin/zul-render
check "zul-render is $elf, stripped of its symbol table and .comment" \
  equal "$(elf_of "$program")|$("$readelf" -S -W "$program" | grep -cE ' \.(symtab|comment) ')" \
  "$elf|0"

tools_field() { dpkg-deb -f "$tools_deb" "$1"; }
check "$tools: Package, Version, Architecture, Section" \
  equal "$(for f in Package Version Architecture Section; do tools_field $f; done)" \
  "$(printf '%s\n' "$tools" "$version" "$arch" sound)"
# dpkg-shlibdeps's: the C and C++ libraries, lilv and libsndfile, each with a version.
for library in libc6 libstdc++6 liblilv-0-0 libsndfile1; do
  check "$tools depends on $library" grep -qE "(^|, )${library//+/\\+} \(>= [^)]+\)" <<<"$(tools_field Depends)"
done
check "$tools recommends gnuplot" equal "$(tools_field Recommends)" "gnuplot-nox | gnuplot"
check "$tools: no Provides" equal "$(tools_field Provides)" ""
check "$tools: Description lines fit in 80 columns" \
  equal "$(tools_field Description | awk 'length > 80')" ""
check "lintian finds no error and no warning in $tools" lintian_clean "$tools_deb"

# The manual page and --help come from one table: the same options, in order.
man_terms=$(zcat "$scratch/tools/usr/share/man/man1/zul-render.1.gz" |
  sed -n 's/\\-/-/g; s/^\.B \(-.*\)/\1/p')
emulator=()
[ "$arch" = "$(dpkg --print-architecture)" ] || read -r -a emulator <<<"${EMULATOR:-}"
if [ "$arch" = "$(dpkg --print-architecture)" ] || [ ${#emulator[@]} -gt 0 ]; then
  zul_render() { "${emulator[@]}" "$program" "$@"; }
  help_terms=$(zul_render --help | sed -n 's/^  \(-.*\)/\1/p' |
    sed 's/  .*//')
  check "the manual page lists the options of --help" equal "$man_terms" "$help_terms"
  check "the unpacked zul-render says its version" \
    equal "$(zul_render --version | cut -d ' ' -f 1,2)" "zul-render ${version%-*}"
  if [ "${EMULATED_LILV_LISTS:-1}" = 1 ]; then
    check "the unpacked zul-render lists the unpacked plugins" \
      equal "$(LV2_PATH=$scratch/root-$name/$lv2 zul_render --list | sed "s|^$base/||; s/ .*//")" \
      "$(printf '%s\n' "$@" | sort)"
  else
    echo "SKIP zul-render --list: this lilv finds no plugin under qemu here (tests/CMakeLists.txt)"
  fi
  check "the installed zul-render does not look into the build tree" \
    equal "$(env -u LV2_PATH "${emulator[@]}" "$program" --help | grep -c "$build")" 0
else
  echo "SKIP running zul-render: $arch programs do not run on $(dpkg --print-architecture)"
fi

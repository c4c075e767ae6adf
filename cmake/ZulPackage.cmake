# The Debian packages, one per install component:
#   zul-cv (plugins): the nine bundles under /usr/lib/lv2 and nothing else;
#   zul-cv-audio (audio): their audio-port forms, for hosts without CV ports,
#     a package of their own so that a CV host's user does not see each
#     plugin twice;
#   zul-cv-tools (tools): zul-render and its manual page, with the tools on.
# Each also has the licence, the Debian changelog and NEWS.md (as the upstream
# changelog) under /usr/share/doc/<name>. cpack -G DEB --config
# build/CPackConfig.cmake writes build/<name>_<version>-<revision>_<arch>.deb,
# the revision that of packaging/changelog's newest entry.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};ALL;/")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}")
set(CPACK_PACKAGE_NAME "${PROJECT_NAME}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "${ZUL_CV_MAINTAINER_NAME}")
set(CPACK_PACKAGE_CONTACT "${ZUL_CV_MAINTAINER_EMAIL}")

# zul_package(COMPONENT NAME DESCRIPTION): the component's package; the
# description a summary line, then lines of at most 80 columns, as Debian wants.
macro(zul_package component name description)
  string(TOUPPER ${component} upper)
  list(APPEND CPACK_COMPONENTS_ALL ${component})
  list(APPEND ZUL_CV_PACKAGES ${name})
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${name})
  set(CPACK_DEBIAN_${upper}_DESCRIPTION "${description}")
endmacro()
string(JOIN "\n" description "real-time LV2 plugins for control-voltage signals"
  "Nine small LV2 plugins that route, rectify, round, scale, glide, gate,"
  "sort and smooth CV streams: a one-to-two and a two-to-one switch, an"
  "absolute value, a four-way rounding, a parameter modulation, a slew"
  "limiter, a gate with hysteresis, a range splitter and a smoothed control"
  "to CV. Each is its own bundle; none allocates, locks or calls a library"
  "function while it runs, and the results are bit-exact on x86-64 (with and"
  "without FMA), AArch64 and 32-bit ARM (armhf).")
zul_package(plugins "${PROJECT_NAME}" "${description}")
set(CPACK_DEBIAN_PLUGINS_PACKAGE_PROVIDES lv2-plugin)
string(JOIN "\n" description "real-time LV2 control-voltage plugins, audio-port forms"
  "The nine zul-cv plugins with audio ports in place of CV ports, for the LV2"
  "hosts that have no CV ports (Ardour, GStreamer, ffmpeg, ecasound, lv2apply"
  "and others): a one-to-two and a two-to-one switch, an absolute value, a"
  "four-way rounding, a parameter modulation, a slew limiter, a gate with"
  "hysteresis, a range splitter and a smoothed control to CV. Each gives the"
  "same results, bit for bit, as its CV plugin in the zul-cv package, and is"
  "listed beside it under its name followed by (audio).")
zul_package(audio "${PROJECT_NAME}-audio" "${description}")
set(CPACK_DEBIAN_AUDIO_PACKAGE_PROVIDES lv2-plugin)
if(ZUL_CV_TOOLS)
  string(JOIN "\n" description "offline render host for LV2 plugins, with CV ports"
    "zul-render runs one LV2 plugin offline, block by block, with its inputs fed"
    "from generators or sound files and its controls set or changed between"
    "blocks, and writes every audio, CV and control port as a WAV file (RF64"
    "past 4 GiB) and, with gnuplot, a plot. Outputs replace the earlier files"
    "only when the whole render succeeded.")
  zul_package(tools "${PROJECT_NAME}-tools" "${description}")
  set(CPACK_DEBIAN_TOOLS_PACKAGE_RECOMMENDS "gnuplot-nox | gnuplot")
endif()
# The package holds the bundles where every LV2 host looks, whatever prefix
# cmake --install would use; an absolute ZUL_CV_LV2_INSTALL_DIR would escape
# the package's root, so cpack refuses it.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_ERROR_ON_ABSOLUTE_INSTALL_DESTINATION ON)
# The libraries stripped, also of the .comment and .note that plain strip
# leaves (by the target's strip, for a cross build).
set(CPACK_STRIP_FILES ON)
set(CPACK_ZUL_STRIP "${CMAKE_STRIP}")
set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/ZulPackageStrip.cmake"
                            "${PROJECT_SOURCE_DIR}/cmake/ZulPackageDepends.cmake")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # <name>_<version>_<architecture>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZUL_CV_MAINTAINER_NAME} <${ZUL_CV_MAINTAINER_EMAIL}>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ZUL_CV_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(CMAKE_CROSSCOMPILING)
  # The target's Debian architecture; natively cpack asks dpkg for the machine's.
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")  # the toolchain is gnueabihf's
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  endif()
  # dpkg-shlibdeps knows the target's libc6 only from the target's packages,
  # which the plugins' packages do without: cmake/ZulPackageDepends.cmake
  # writes the same Depends from the staged libraries' symbol versions instead.
  # zul-render is built only where the target's lilv and libsndfile packages
  # are installed, and dpkg-shlibdeps reads its Depends from them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SHLIBDEPS ON)
  set(CPACK_ZUL_NEWEST_GLIBC "${PROJECT_SOURCE_DIR}/cmake/newest_glibc.sh")
  set(CPACK_ZUL_READELF "${CMAKE_READELF}")
else()
  # dpkg-shlibdeps reads the libraries' symbol versions: libc6 from the release
  # that has every symbol they use.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

# Debian wants both in every package, and the ISC licence wants its notice in
# every copy: they go with each component, so that cmake --install lays them
# too, under <prefix>/share/doc/<package>.
set(doc_dir "${PROJECT_BINARY_DIR}/doc")
file(MAKE_DIRECTORY "${doc_dir}")

# copyright: packaging/debian/copyright, in Debian's machine-readable format,
# the one file that both the source package and every build's packages carry
# (the package test holds it to LICENSE).
set(copyright "${PROJECT_SOURCE_DIR}/packaging/debian/copyright")

# changelog.Debian.gz from packaging/changelog and changelog.gz from NEWS.md,
# as Debian names a package's own changelog and its upstream one, byte for
# byte the same from any build: gzip -n leaves out the name and the time, and
# each file takes the date of the newest changelog entry, which the package
# records.
include(cmake/ZulChangelogDate.cmake)
set(CPACK_DEBIAN_PACKAGE_RELEASE "${debian_revision}")
function(zul_compressed_doc from to)
  add_custom_command(OUTPUT "${doc_dir}/${to}"
    COMMAND sh -c "gzip -9nc \"$0\" >\"$1\" && touch -d \"$2\" \"$1\""
            "${from}" "${doc_dir}/${to}" "${changelog_date}"
    DEPENDS "${from}" "${changelog}"
    COMMENT "Compressing ${to}"
    VERBATIM)
endfunction()
zul_compressed_doc("${changelog}" changelog.Debian.gz)
zul_compressed_doc("${PROJECT_SOURCE_DIR}/NEWS.md" changelog.gz)
set(doc_files "${copyright}" "${doc_dir}/changelog.Debian.gz" "${doc_dir}/changelog.gz")
add_custom_target(zul_changelog ALL DEPENDS "${doc_dir}/changelog.Debian.gz" "${doc_dir}/changelog.gz")

foreach(component name IN ZIP_LISTS CPACK_COMPONENTS_ALL ZUL_CV_PACKAGES)
  install(FILES ${doc_files}
          DESTINATION "share/doc/${name}" COMPONENT ${component}
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()

# Reproducible packages: cpack dates every entry of the archives by
# SOURCE_DATE_EPOCH where it is set, so that two builds of one commit give the
# same bytes. Unless the caller sets it, it is the newest changelog entry's
# date, set in cpack's own process when it reads its configuration.
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_BINARY_DIR}/CPackSourceDate.cmake")
file(WRITE "${CPACK_PROJECT_CONFIG_FILE}"
  "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n  set(ENV{SOURCE_DATE_EPOCH} ${source_date_epoch})\nendif()\n")

include(CPack)

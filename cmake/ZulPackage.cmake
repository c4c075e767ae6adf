# The Debian package: the nine bundles under /usr/lib/lv2, and nothing else.
# cpack -G DEB --config build/CPackConfig.cmake writes build/zul-cv_<version>_<arch>.deb.
#
# Only the install component "plugins" goes in: whatever else the build
# installs, with the tests or the tools on, stays out of the package.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};plugins;/")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}")
set(CPACK_PACKAGE_NAME "${PROJECT_NAME}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "${ZUL_CV_MAINTAINER_NAME}")
set(CPACK_PACKAGE_CONTACT "${ZUL_CV_MAINTAINER_EMAIL}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time LV2 plugins for control-voltage signals")
# Debian wants the long description in lines of at most 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Nine small LV2 plugins that route, rectify, round, scale, glide, gate,"
  "sort and smooth CV streams: a one-to-two and a two-to-one switch, an"
  "absolute value, a four-way rounding, a parameter modulation, a slew"
  "limiter, a gate with hysteresis, a range splitter and a smoothed control"
  "to CV. Each is its own bundle; none allocates, locks or calls a library"
  "function while it runs, and the results are bit-exact on x86-64 and AArch64.")
# The package holds the bundles where every LV2 host looks, whatever prefix
# cmake --install would use; an absolute ZUL_CV_LV2_INSTALL_DIR would escape
# the package's root, so cpack refuses it.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_ERROR_ON_ABSOLUTE_INSTALL_DESTINATION ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # <name>_<version>_<architecture>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZUL_CV_MAINTAINER_NAME} <${ZUL_CV_MAINTAINER_EMAIL}>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ZUL_CV_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_PROVIDES lv2-plugin)
# dpkg-shlibdeps reads the libraries' symbol versions: libc6 from the release
# that has every symbol they use.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)

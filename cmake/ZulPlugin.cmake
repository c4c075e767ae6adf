# What every plugin library is built with. The exact results and the
# real-time rules depend on these flags, so they are not left to the caller:
#  - no contraction into fused multiply-adds and no fast-math regrouping;
#  - no exceptions or RTTI, so nothing pulls in libstdc++ or the unwinder;
#  - no loop-to-memcpy/memset rewriting, so run() calls no library function
#    (GCC's and clang's own spelling);
#  - hidden visibility plus a version script: lv2_descriptor is the only export;
#  - --as-needed and -z defs: NEEDED lists exactly what the code uses (not in
#    a sanitizer build, whose runtime comes with the program that loads it).
# The fuzz build (ZUL_CV_FUZZ), a sanitizer build, adds libFuzzer's coverage.
add_library(zul_plugin_flags INTERFACE)
target_compile_options(zul_plugin_flags INTERFACE
  -ffp-contract=off -fno-fast-math -fno-exceptions -fno-rtti
  $<$<CXX_COMPILER_ID:GNU>:-fno-tree-loop-distribute-patterns>
  "$<$<CXX_COMPILER_ID:Clang>:SHELL:-mllvm -disable-loop-idiom-all>"
  -fvisibility=hidden -fvisibility-inlines-hidden)
target_link_options(zul_plugin_flags INTERFACE
  "LINKER:--version-script=${PROJECT_SOURCE_DIR}/cmake/exports.map"
  "LINKER:--as-needed" "LINKER:-z,now" -static-libgcc)
if(NOT ZUL_CV_SANITIZE)
  target_link_options(zul_plugin_flags INTERFACE "LINKER:-z,defs")
endif()
if(ZUL_CV_FUZZ)
  target_compile_options(zul_plugin_flags INTERFACE -fsanitize=fuzzer-no-link)
endif()
target_include_directories(zul_plugin_flags INTERFACE ${PROJECT_SOURCE_DIR})
target_link_libraries(zul_plugin_flags INTERFACE PkgConfig::LV2)

# Builds one plugin library into a staged bundle directory; libm links the
# mathematics library where it is true.
function(zul_stage_library target name stage libm)
  set(src_dir "${PROJECT_SOURCE_DIR}/plugins/${name}")
  set(bundle "${stage}/${name}.lv2")
  file(GLOB sources CONFIGURE_DEPENDS "${src_dir}/*.cpp")
  add_library(${target} MODULE ${sources})
  target_link_libraries(${target} PRIVATE zul_shell zul_plugin_flags zul_warnings
                        $<$<BOOL:${libm}>:m>)
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME "${name}" LIBRARY_OUTPUT_DIRECTORY "${bundle}"
    LINK_DEPENDS "${PROJECT_SOURCE_DIR}/cmake/exports.map")

  # One URI, carried into both the code and the Turtle.
  set(ZUL_PLUGIN_NAME "${name}")
  set(ZUL_PLUGIN_URI "${ZUL_CV_URI_BASE}/${name}")
  set(ZUL_PLUGIN_BINARY "${name}${CMAKE_SHARED_MODULE_SUFFIX}")
  target_compile_definitions(${target} PRIVATE ZUL_PLUGIN_URI="${ZUL_PLUGIN_URI}")
  configure_file("${PROJECT_SOURCE_DIR}/shell/manifest.ttl.in" "${bundle}/manifest.ttl" @ONLY)
  # The plugin's own description, followed by the project's that all share:
  # still one Turtle file in the bundle.
  set(plugin_ttl "${src_dir}/${name}.ttl.in")
  set(project_ttl "${PROJECT_SOURCE_DIR}/shell/project.ttl.in")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${plugin_ttl}" "${project_ttl}")
  file(READ "${plugin_ttl}" plugin_text)
  file(READ "${project_ttl}" project_text)
  file(CONFIGURE OUTPUT "${bundle}/${name}.ttl" CONTENT "${plugin_text}\n${project_text}" @ONLY)
endfunction()

# Directories that cmake --install creates are 0755 whatever the umask, as a
# package's must be.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# zul_add_plugin(<name> [LIBM])
# Builds plugins/<name>/*.cpp with the shell into <name>.so and stages the
# ready-to-use bundle build/lv2/<name>.lv2/ (manifest, Turtle, library).
# LIBM links the mathematics library, for a plugin that calls it outside run().
# For the tests each plugin is also staged in build/lv2-software-fma/ with
# ZUL_CV_FMA_SOFTWARE defined, which forces the baseline variant of its loops
# (and the software fused multiply-add), tested there under the software_fma.
# prefix on any machine.
function(zul_add_plugin name)
  cmake_parse_arguments(ARG "LIBM" "" "" ${ARGN})
  set(needed libc.so.6)
  if(ARG_LIBM)
    list(APPEND needed libm.so.6)
  endif()
  zul_stage_library(${name} ${name} "${ZUL_CV_STAGE_DIR}" "${ARG_LIBM}")
  # ZUL_NEEDED: the shared libraries the tests allow it to need, and no others.
  set_target_properties(${name} PROPERTIES ZUL_NEEDED "${needed}")
  zul_stage_library(${name}.software-fma ${name} "${ZUL_CV_SOFTWARE_FMA_STAGE_DIR}" "${ARG_LIBM}")
  target_compile_definitions(${name}.software-fma PRIVATE ZUL_CV_FMA_SOFTWARE=1)
  set(bundle "${ZUL_CV_STAGE_DIR}/${name}.lv2")

  # The bundles alone make up the install component "plugins", which is all
  # that the Debian package holds. A library is loaded, never run: 0644, as
  # Debian installs shared objects.
  install(TARGETS ${name} LIBRARY DESTINATION "${ZUL_CV_LV2_INSTALL_DIR}/${name}.lv2"
          COMPONENT plugins PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  install(FILES "${bundle}/manifest.ttl" "${bundle}/${name}.ttl"
          DESTINATION "${ZUL_CV_LV2_INSTALL_DIR}/${name}.lv2" COMPONENT plugins)
  set_property(GLOBAL APPEND PROPERTY ZUL_CV_PLUGINS ${name})
endfunction()

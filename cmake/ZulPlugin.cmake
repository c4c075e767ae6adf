# What every plugin library is built with. The exact results, the speed and
# the real-time rules depend on these flags, so they are not left to the
# caller: they come after the build type's and the caller's (a distribution's
# CXXFLAGS), and the last of two contrary flags wins.
#  - -O3, which the block loops need to vectorise, whatever -O the caller
#    gives (-O2 left them up to 28 times slower), and objects of machine code
#    rather than link-time optimisation's intermediate code, which the link
#    would compile again with its own flags in place of these;
#  - no contraction into fused multiply-adds and no fast-math regrouping,
#    nor any of the unsafe-math flags one by one;
#  - no exceptions or RTTI, so nothing pulls in libstdc++ or the unwinder;
#  - no loop-to-memcpy/memset rewriting, so run() calls no library function
#    (GCC's and clang's own spelling);
#  - hidden visibility plus a version script: lv2_descriptor is the only export;
#  - --as-needed and -z defs: NEEDED lists exactly what the code uses (not in
#    a sanitizer build, whose runtime comes with the program that loads it);
#  - on Windows, where LV2_SYMBOL_EXPORT is dllexport and so lv2_descriptor
#    the only export, the GCC and C++ runtimes linked in, so that a DLL needs
#    only what every Windows has (KERNEL32.dll and msvcrt.dll), and no link
#    time in the header, so that two links give the same bytes.
# The fuzz build (ZUL_CV_FUZZ), a sanitizer build, adds libFuzzer's coverage.
add_library(zul_plugin_flags INTERFACE)
target_compile_options(zul_plugin_flags INTERFACE
  -O3 -fno-lto
  -ffp-contract=off -fno-fast-math -fno-unsafe-math-optimizations -fno-associative-math
  -fno-reciprocal-math -fsigned-zeros -fno-finite-math-only -fno-exceptions -fno-rtti
  $<$<CXX_COMPILER_ID:GNU>:-fno-tree-loop-distribute-patterns>
  "$<$<CXX_COMPILER_ID:Clang>:SHELL:-mllvm -disable-loop-idiom-all>"
  -fvisibility=hidden -fvisibility-inlines-hidden)
if(WIN32)
  target_link_options(zul_plugin_flags INTERFACE
    -static-libgcc -static-libstdc++ -static "LINKER:--no-insert-timestamp")
else()
  target_link_options(zul_plugin_flags INTERFACE
    "LINKER:--version-script=${PROJECT_SOURCE_DIR}/cmake/exports.map"
    "LINKER:--as-needed" "LINKER:-z,now" -static-libgcc)
  if(NOT ZUL_CV_SANITIZE)
    target_link_options(zul_plugin_flags INTERFACE "LINKER:-z,defs")
  endif()
endif()
if(ZUL_CV_FUZZ)
  target_compile_options(zul_plugin_flags INTERFACE -fsanitize=fuzzer-no-link)
endif()
target_include_directories(zul_plugin_flags INTERFACE ${PROJECT_SOURCE_DIR})
target_link_libraries(zul_plugin_flags INTERFACE PkgConfig::LV2)

# Compiles plugins/<name>/*.cpp once into the object library <target>: both
# forms of the plugin link these same objects, so they share one run().
function(zul_plugin_objects target name)
  file(GLOB sources CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/plugins/${name}/*.cpp")
  add_library(${target} OBJECT ${sources})
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_link_libraries(${target} PRIVATE zul_plugin_flags zul_warnings)
endfunction()

# The audio-port form's Turtle from the plugin's own: a CV port that run()
# reads at element 0 only (a "value" in the plugin's port table) becomes a
# control port, without the CV signal property, and every other CV port an
# audio port; control ports belong to no group; the name says "(audio)", and
# the text says "signal" for "CV stream".
function(zul_audio_turtle text_var name)
  set(text "${${text_var}}")
  file(GLOB sources "${PROJECT_SOURCE_DIR}/plugins/${name}/*.cpp")
  set(code "")
  foreach(source IN LISTS sources)
    file(READ "${source}" source_text)
    string(APPEND code "${source_text}")
  endforeach()
  # Turtle's semicolons would split CMake's lists: set aside while matching.
  string(REPLACE ";" "<semicolon>" text "${text}")
  string(REGEX MATCHALL "lv2:CVPort <semicolon>[^\"]*lv2:symbol \"[a-z_]+\"[^]]*" cv_ports
         "${text}")
  foreach(port IN LISTS cv_ports)
    string(REGEX MATCH "lv2:symbol \"([a-z_]+)\"" _ "${port}")
    if(code MATCHES "{&[A-Za-z0-9_]+::${CMAKE_MATCH_1}, value}")
      string(REPLACE "lv2:CVPort" "lv2:ControlPort" form "${port}")
      string(REGEX REPLACE "\n\t\tlv2:portProperty pprops:(continuous|discrete)CV <semicolon>" ""
             form "${form}")
    else()
      string(REPLACE "lv2:CVPort" "lv2:AudioPort" form "${port}")
    endif()
    string(REPLACE "${port}" "${form}" text "${text}")
  endforeach()
  # GStreamer 1.22 takes any port group for an audio pad of several channels:
  # grouped control ports there become a channel, not properties. The audio
  # form keeps the groups of its audio ports only, and the definitions that
  # these still name.
  string(REGEX MATCHALL "lv2:ControlPort <semicolon>[^]]*pg:group [^]]*" grouped "${text}")
  foreach(port IN LISTS grouped)
    string(REGEX REPLACE "
		pg:group <[^>]*> <semicolon>" "" form "${port}")
    string(REPLACE "${port}" "${form}" text "${text}")
  endforeach()
  string(REGEX MATCHALL "
<@ZUL_PLUGIN_URI@#[a-z_]+>
	a pg:Group [^.]*\\." groups "${text}")
  foreach(group IN LISTS groups)
    string(REGEX MATCH "#([a-z_]+)>" _ "${group}")
    if(NOT text MATCHES "pg:group <@ZUL_PLUGIN_URI@#${CMAKE_MATCH_1}>")
      string(REPLACE "${group}" "" text "${text}")
    endif()
  endforeach()
  string(REPLACE "<semicolon>" ";" text "${text}")
  string(REGEX REPLACE "(doap:name \"[^\"]*)\"" "\\1 (audio)\"" text "${text}")
  string(REPLACE "CV stream" "signal" text "${text}")
  set(${text_var} "${text}" PARENT_SCOPE)
endfunction()

# zul_preset(<slug> <label> <comment> <symbol>=<value>...), called by a
# plugin's presets.cmake: one factory preset, the values of the control
# inputs it names, written for the form being staged (its URI, its bundle)
# into <bundle>/presets/<slug>.ttl and named in that bundle's manifest.
function(zul_preset slug label comment)
  set(where "plugins/${name}/presets.cmake, preset ${slug}")
  if(NOT slug MATCHES "^[a-z0-9-]+$" OR "${label}${comment}" MATCHES "[\"\\]")
    message(FATAL_ERROR "${where}: a slug of a-z, 0-9 and -; no quote or backslash in the text")
  endif()
  set(ports "")
  foreach(setting IN LISTS ARGN)
    if(NOT setting MATCHES "^([a-z_]+)=(-?[0-9]+)(\\.[0-9]+)?$")
      message(FATAL_ERROR "${where}: \"${setting}\" is not <symbol>=<number>")
    endif()
    # A float literal, as the port's own values are written.
    set(value "${CMAKE_MATCH_2}${CMAKE_MATCH_3}")
    if(NOT CMAKE_MATCH_3)
      string(APPEND value ".0")
    endif()
    if(ports)
      string(APPEND ports "\n\t] , [\n")
    endif()
    string(APPEND ports "\t\tlv2:symbol \"${CMAKE_MATCH_1}\" ;\n\t\tpset:value ${value}")
  endforeach()
  set(ZUL_PRESET_URI "${ZUL_PLUGIN_URI}/presets/${slug}")
  set(ZUL_PRESET_LABEL "${label}")
  set(ZUL_PRESET_COMMENT "${comment}")
  set(ZUL_PRESET_PORTS "${ports}")
  configure_file("${PROJECT_SOURCE_DIR}/shell/preset.ttl.in" "${bundle}/presets/${slug}.ttl" @ONLY)
  set(preset_files ${preset_files} "${bundle}/presets/${slug}.ttl" PARENT_SCOPE)
  string(APPEND ZUL_PLUGIN_PRESETS "\n<${ZUL_PRESET_URI}>\n\ta pset:Preset ;\n"
         "\tlv2:appliesTo <${ZUL_PLUGIN_URI}> ;\n\trdfs:seeAlso <presets/${slug}.ttl> .\n")
  set(ZUL_PLUGIN_PRESETS "${ZUL_PLUGIN_PRESETS}" PARENT_SCOPE)
endfunction()

# Links one plugin library from the plugin's objects into a staged bundle
# directory: the CV plugin, or with AUDIO its audio-port form, whose name and
# URI end in -audio. The URI, which is
# all that tells the two forms apart in the code, is compiled into the
# library's own copy of shell/uri.cpp.
function(zul_stage_library target objects name stage)
  cmake_parse_arguments(ARG "AUDIO" "" "" ${ARGN})
  set(form "${name}")
  if(ARG_AUDIO)
    set(form "${name}-audio")
  endif()
  set(bundle "${stage}/${form}.lv2")
  add_library(${target} MODULE "${PROJECT_SOURCE_DIR}/shell/uri.cpp")
  target_link_libraries(${target} PRIVATE ${objects} zul_shell zul_plugin_flags zul_warnings)
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME "${form}" LIBRARY_OUTPUT_DIRECTORY "${bundle}"
    LINK_DEPENDS "${PROJECT_SOURCE_DIR}/cmake/exports.map")

  # One URI, carried into both the code and the Turtle.
  set(ZUL_PLUGIN_NAME "${form}")
  set(ZUL_PLUGIN_URI "${ZUL_CV_URI_BASE}/${form}")
  set(ZUL_PLUGIN_BINARY "${form}${CMAKE_SHARED_MODULE_SUFFIX}")
  target_compile_definitions(${target} PRIVATE ZUL_PLUGIN_URI="${ZUL_PLUGIN_URI}")
  # The plugin's factory presets, if it has any: the same source for both
  # forms, each form's files applying to its own URI. ZUL_PRESET_FILES lists
  # them for the install rules.
  set(ZUL_PLUGIN_PRESETS "")
  set(preset_files "")
  file(REMOVE_RECURSE "${bundle}/presets")
  set(presets "${PROJECT_SOURCE_DIR}/plugins/${name}/presets.cmake")
  if(EXISTS "${presets}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 "${presets}" "${PROJECT_SOURCE_DIR}/shell/preset.ttl.in")
    include("${presets}")
  endif()
  set_target_properties(${target} PROPERTIES ZUL_PRESET_FILES "${preset_files}")
  configure_file("${PROJECT_SOURCE_DIR}/shell/manifest.ttl.in" "${bundle}/manifest.ttl" @ONLY)
  # The plugin's own description, followed by the project's that all share:
  # still one Turtle file in the bundle.
  set(plugin_ttl "${PROJECT_SOURCE_DIR}/plugins/${name}/${name}.ttl.in")
  set(project_ttl "${PROJECT_SOURCE_DIR}/shell/project.ttl.in")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${plugin_ttl}" "${project_ttl}")
  file(READ "${plugin_ttl}" plugin_text)
  file(READ "${project_ttl}" project_text)
  if(ARG_AUDIO)
    zul_audio_turtle(plugin_text ${name})
  endif()
  file(CONFIGURE OUTPUT "${bundle}/${form}.ttl" CONTENT "${plugin_text}\n${project_text}" @ONLY)
endfunction()

# Directories that cmake --install creates are 0755 whatever the umask, as a
# package's must be.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# zul_add_plugin(<name>)
# Builds plugins/<name>/*.cpp with the shell into <name>.so and stages the
# ready-to-use bundle build/lv2/<name>.lv2/ (manifest, Turtle, library, and
# presets/ with the factory presets of plugins/<name>/presets.cmake); from
# the same objects its audio-port form, for hosts without CV ports, in
# build/lv2/<name>-audio.lv2/.
# For the tests each plugin is also staged in build/lv2-software-fma/ with
# ZUL_CV_FMA_SOFTWARE defined, which forces the baseline variant of its loops
# (and the software fused multiply-add), tested there under the software_fma.
# prefix on any machine; on x86-64 also in build/lv2-avx512/ with every
# plugin taking its AVX-512 loops (ZUL_CV_AVX512_EVERYWHERE), tested under
# the avx512. prefix where the processor has them, and measured against the
# shipped ones by scripts/bench.sh.
function(zul_add_plugin name)
  set(needed libc.so.6)
  zul_plugin_objects(${name}.objects ${name})
  zul_stage_library(${name} ${name}.objects ${name} "${ZUL_CV_STAGE_DIR}")
  zul_stage_library(${name}-audio ${name}.objects ${name} "${ZUL_CV_STAGE_DIR}" AUDIO)
  # ZUL_NEEDED: the shared libraries the tests allow it to need, and no others.
  set_target_properties(${name} ${name}-audio PROPERTIES ZUL_NEEDED "${needed}")
  zul_plugin_objects(${name}.software-fma.objects ${name})
  target_compile_definitions(${name}.software-fma.objects PRIVATE ZUL_CV_FMA_SOFTWARE=1)
  zul_stage_library(${name}.software-fma ${name}.software-fma.objects ${name}
                    "${ZUL_CV_SOFTWARE_FMA_STAGE_DIR}")
  if(ZUL_CV_AVX512_STAGE_DIR)
    zul_plugin_objects(${name}.avx512.objects ${name})
    target_compile_definitions(${name}.avx512.objects PRIVATE ZUL_CV_AVX512_EVERYWHERE=1)
    zul_stage_library(${name}.avx512 ${name}.avx512.objects ${name} "${ZUL_CV_AVX512_STAGE_DIR}")
  endif()

  # The CV bundles make up the install component "plugins", the audio-port
  # forms the component "audio": each is a Debian package of its own. A
  # library is loaded, never run: 0644, as Debian installs shared objects.
  foreach(form IN ITEMS ${name} ${name}-audio)
    set(component plugins)
    if(form MATCHES "-audio$")
      set(component audio)
    endif()
    set(bundle "${ZUL_CV_STAGE_DIR}/${form}.lv2")
    install(TARGETS ${form} LIBRARY DESTINATION "${ZUL_CV_LV2_INSTALL_DIR}/${form}.lv2"
            COMPONENT ${component} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    install(FILES "${bundle}/manifest.ttl" "${bundle}/${form}.ttl"
            DESTINATION "${ZUL_CV_LV2_INSTALL_DIR}/${form}.lv2" COMPONENT ${component})
    get_target_property(presets ${form} ZUL_PRESET_FILES)
    if(presets)
      install(FILES ${presets} DESTINATION "${ZUL_CV_LV2_INSTALL_DIR}/${form}.lv2/presets"
              COMPONENT ${component})
    endif()
  endforeach()
  set_property(GLOBAL APPEND PROPERTY ZUL_CV_PLUGINS ${name})
endfunction()

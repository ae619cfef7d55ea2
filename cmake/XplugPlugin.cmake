# Functions that build a plug-in jar with its exact manifest and pack it onto a module image.
#
# xplug_add_plugin_jar(NAME <target> OUTPUT <jar> PLUGIN_NAME <name> VERSION <version> HELP <help>
#                      OPTIONS <options> CLASS <pluginClassName>
#                      [SOURCES <java files...>] [CLASSPATH <jars...>] [INCLUDE_JARS <jars...>]
#                      [DEPENDS <targets...>])
#   Compiles SOURCES for Java 8 against CLASSPATH and INCLUDE_JARS, then writes OUTPUT with xplug-jar:
#   the manifest first (the six keys in the order the module's own archive has them), then the compiled
#   classes, then the entries of INCLUDE_JARS. <target> is built by default.
#
# xplug_pack_module(NAME <target> MODULE <module target> JAR <jar> OUTPUT <file> [DEPENDS <targets...>])
#   Writes OUTPUT as the module's image padded to XPLUG_ATTACHED_JAR_OFFSET followed by JAR, the file
#   FileMaker loads. <target> is built by default.

# javac runs on the build machine, so the class path takes the build machine's separator.
if(CMAKE_HOST_WIN32)
  set(XPLUG_CLASS_PATH_SEPARATOR ";")
else()
  set(XPLUG_CLASS_PATH_SEPARATOR ":")
endif()

# The jar writer and the packer run during the build. A cross build cannot run its own, so it takes
# those of a native build of this repository (XPLUG_HOST_TOOLS_DIR, e.g. build/out/bin); one whose
# emulator runs its programs (the 32-bit Linux build, XPLUG_EMULATOR_RUNS_TOOLS) runs its own through it:
# CMake puts the emulator before a command that names an executable target.
if(XPLUG_EMULATOR_RUNS_TOOLS)
  set(XPLUG_JAR_COMMAND xplug-jar)
  set(XPLUG_PACK_COMMAND xplug-pack)
  set(XPLUG_JAR_DEPENDS xplug-jar)
  set(XPLUG_PACK_DEPENDS xplug-pack)
elseif(CMAKE_CROSSCOMPILING)
  set(XPLUG_HOST_TOOLS_DIR "" CACHE PATH "Folder of a native build's xplug-jar and xplug-pack")
  if(NOT EXISTS "${XPLUG_HOST_TOOLS_DIR}/xplug-jar" OR NOT EXISTS "${XPLUG_HOST_TOOLS_DIR}/xplug-pack")
    message(FATAL_ERROR "A cross build needs XPLUG_HOST_TOOLS_DIR: the folder of a native build's xplug-jar "
                        "and xplug-pack (scripts/build-windows sets it)")
  endif()
  set(XPLUG_JAR_COMMAND ${XPLUG_HOST_TOOLS_DIR}/xplug-jar)
  set(XPLUG_PACK_COMMAND ${XPLUG_HOST_TOOLS_DIR}/xplug-pack)
  set(XPLUG_JAR_DEPENDS ${XPLUG_JAR_COMMAND})
  set(XPLUG_PACK_DEPENDS ${XPLUG_PACK_COMMAND})
else()
  set(XPLUG_JAR_COMMAND $<TARGET_FILE:xplug-jar>)
  set(XPLUG_PACK_COMMAND $<TARGET_FILE:xplug-pack>)
  set(XPLUG_JAR_DEPENDS xplug-jar)
  set(XPLUG_PACK_DEPENDS xplug-pack)
endif()

function(xplug_add_plugin_jar)
  cmake_parse_arguments(P "" "NAME;OUTPUT;PLUGIN_NAME;VERSION;HELP;OPTIONS;CLASS"
                        "SOURCES;CLASSPATH;INCLUDE_JARS;DEPENDS" ${ARGN})
  foreach(required NAME OUTPUT PLUGIN_NAME VERSION HELP OPTIONS CLASS)
    if(NOT DEFINED P_${required})
      message(FATAL_ERROR "xplug_add_plugin_jar: ${required} is required")
    endif()
  endforeach()
  if(P_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "xplug_add_plugin_jar: unexpected arguments ${P_UNPARSED_ARGUMENTS}")
  endif()

  set(classes ${CMAKE_CURRENT_BINARY_DIR}/${P_NAME}.classes)
  get_filename_component(output_dir ${P_OUTPUT} DIRECTORY)
  set(commands COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir})
  set(jar_inputs)
  if(P_SOURCES)
    set(compile_path ${P_CLASSPATH} ${P_INCLUDE_JARS})
    set(classpath_option)
    if(compile_path)
      list(JOIN compile_path "${XPLUG_CLASS_PATH_SEPARATOR}" joined)
      set(classpath_option -classpath ${joined})
    endif()
    # The folder is emptied first so that classes of deleted sources do not linger in the jar.
    list(APPEND commands
         COMMAND ${CMAKE_COMMAND} -E rm -rf ${classes}
         COMMAND ${CMAKE_COMMAND} -E make_directory ${classes}
         COMMAND ${XPLUG_JAVAC} --release 8 -Xlint:-options -encoding UTF-8 ${classpath_option} -d ${classes}
                 ${P_SOURCES})
    list(APPEND jar_inputs --dir ${classes})
  endif()
  foreach(jar IN LISTS P_INCLUDE_JARS)
    list(APPEND jar_inputs --jar ${jar})
  endforeach()
  list(APPEND commands
       COMMAND ${XPLUG_JAR_COMMAND} ${P_OUTPUT}
               --manifest-entry "Manifest-Version=1.0"
               --manifest-entry "plugin-help=${P_HELP}"
               --manifest-entry "pluginClassName=${P_CLASS}"
               --manifest-entry "plugin-version=${P_VERSION}"
               --manifest-entry "plugin-name=${P_PLUGIN_NAME}"
               --manifest-entry "plugin-options=${P_OPTIONS}"
               ${jar_inputs})

  add_custom_command(OUTPUT ${P_OUTPUT} ${commands}
                     DEPENDS ${P_SOURCES} ${P_CLASSPATH} ${P_INCLUDE_JARS} ${XPLUG_JAR_DEPENDS} ${P_DEPENDS}
                     COMMENT "Writing plug-in jar ${P_OUTPUT}"
                     VERBATIM)
  add_custom_target(${P_NAME} ALL DEPENDS ${P_OUTPUT})
  if(P_DEPENDS)
    add_dependencies(${P_NAME} ${P_DEPENDS})
  endif()
endfunction()

function(xplug_pack_module)
  cmake_parse_arguments(P "" "NAME;MODULE;JAR;OUTPUT" "DEPENDS" ${ARGN})
  foreach(required NAME MODULE JAR OUTPUT)
    if(NOT DEFINED P_${required})
      message(FATAL_ERROR "xplug_pack_module: ${required} is required")
    endif()
  endforeach()
  if(P_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "xplug_pack_module: unexpected arguments ${P_UNPARSED_ARGUMENTS}")
  endif()
  get_filename_component(output_dir ${P_OUTPUT} DIRECTORY)
  add_custom_command(OUTPUT ${P_OUTPUT}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
                     COMMAND ${XPLUG_PACK_COMMAND} $<TARGET_FILE:${P_MODULE}> ${P_JAR} ${P_OUTPUT}
                             --offset ${XPLUG_ATTACHED_JAR_OFFSET}
                     DEPENDS ${P_MODULE} ${P_JAR} ${XPLUG_PACK_DEPENDS} ${P_DEPENDS}
                     COMMENT "Packing ${P_OUTPUT}"
                     VERBATIM)
  add_custom_target(${P_NAME} ALL DEPENDS ${P_OUTPUT})
  if(P_DEPENDS)
    add_dependencies(${P_NAME} ${P_DEPENDS})
  endif()
endfunction()

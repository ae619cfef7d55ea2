# The JDK whose jni.h the module includes and whose VM the tests and fmsim load, and the JDK whose tools
# (javac, jar, java) run during the build; they differ when the build's programs have another word size
# than the build machine (the 32-bit build). The module never links the Java runtime: it loads it at run
# time from the registry's RuntimeLib value.
if(NOT XPLUG_JAVA_HOME)
  if(DEFINED ENV{XPLUG_JAVA_HOME})
    set(_home $ENV{XPLUG_JAVA_HOME})
  elseif(EXISTS /usr/lib/jvm/java-17-openjdk-amd64/include/jni.h)
    set(_home /usr/lib/jvm/java-17-openjdk-amd64)
  else()
    find_program(_javac javac REQUIRED)
    file(REAL_PATH ${_javac} _javac_real)
    get_filename_component(_bin ${_javac_real} DIRECTORY)
    get_filename_component(_home ${_bin} DIRECTORY)
  endif()
  set(XPLUG_JAVA_HOME ${_home} CACHE PATH "JDK used to build and to run the tests")
endif()
if(NOT XPLUG_BUILD_JAVA_HOME)
  set(XPLUG_BUILD_JAVA_HOME ${XPLUG_JAVA_HOME} CACHE PATH "JDK whose tools run during the build")
endif()
set(XPLUG_JAVAC ${XPLUG_BUILD_JAVA_HOME}/bin/javac)
set(XPLUG_JVM_LIBRARY ${XPLUG_JAVA_HOME}/lib/server/libjvm.so)
if(NOT EXISTS ${XPLUG_JAVA_HOME}/include/jni.h)
  message(FATAL_ERROR "No jni.h under ${XPLUG_JAVA_HOME}; install openjdk-17-jdk-headless (scripts/setup)")
endif()
add_library(jni_headers INTERFACE)
if(WIN32)
  # The JDK on this machine ships only the Linux jni_md.h; Windows builds take our own.
  target_include_directories(jni_headers SYSTEM INTERFACE ${XPLUG_JAVA_HOME}/include
                                                          ${CMAKE_SOURCE_DIR}/sdk/jni/win32)
else()
  target_include_directories(jni_headers SYSTEM INTERFACE ${XPLUG_JAVA_HOME}/include
                                                          ${XPLUG_JAVA_HOME}/include/linux)
endif()

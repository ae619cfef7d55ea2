# A 32-bit Linux build runs its whole suite with the simulated host's objects above 0x80000000, so that
# every handle reaches Java negative; its test programs run under the build's emulator.
if(NOT DEFINED XPLUG_TEST_HIGH_PLACEMENT)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND NOT WIN32)
    set(XPLUG_TEST_HIGH_PLACEMENT ON)
  else()
    set(XPLUG_TEST_HIGH_PLACEMENT OFF)
  endif()
endif()
set(XPLUG_TEST_HIGH_PLACEMENT ${XPLUG_TEST_HIGH_PLACEMENT} CACHE BOOL "Tests put host objects above 0x80000000")

# xplug_add_gtest(NAME <target> SOURCES <files...> [LIBS <libs...>] [VM] [ENVIRONMENT <K=V...>])
# One executable per area; CTest runs every test case as a process of its own, which the VM tests
# need (a process hosts one Java VM for its life). Every test ends with the simulated host's strict
# check (tests/support/strict_host_main.cpp). VM marks tests that start a Java VM: they run with
# the sanitizer options a VM needs and with the VM's own JNI checks.
#
# The ThreadSanitizer build (XPLUG_TSAN) runs only the test areas that run without a Java VM, here by
# name: the VM's own threads are not instrumented and would only give false reports. The others stay
# defined (their folders add to them) but are neither built by default nor run.
set(XPLUG_TSAN_TEST_TARGETS host_objects_tests sim_fmx_tests sim_desktop_tests natives_unit_tests
    relay_unit_tests services_loop_tests module_log_tests module_text_tests host_get_string_tests
    platform_posix_tests CACHE INTERNAL "The test targets of the ThreadSanitizer build")

function(xplug_add_gtest)
  cmake_parse_arguments(T "VM" "NAME" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  if(XPLUG_TSAN AND NOT T_NAME IN_LIST XPLUG_TSAN_TEST_TARGETS)
    add_executable(${T_NAME} EXCLUDE_FROM_ALL ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest xplug_test_main GTest::gmock)
  # Tests never write into the real home folder: HOME (the documents folder fmsim defaults to) and the
  # Java preferences store that start-up touches both point into the build's test folder.
  set(tmp ${CMAKE_BINARY_DIR}/test-tmp)
  set(env ${T_ENVIRONMENT})
  list(APPEND env "XPLUG_TEST_TMP=${tmp}" "HOME=${tmp}/home" "XDG_DOCUMENTS_DIR=${tmp}/home/Documents")
  if(XPLUG_TEST_HIGH_PLACEMENT)
    list(APPEND env "FMSIM_HIGH_PLACEMENT=1")
  endif()
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    string(REPLACE ";" "|" emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
    list(APPEND env "XPLUG_TEST_EMULATOR=${emulator}")
  endif()
  set(java_options "-Djava.util.prefs.userRoot=${tmp}/prefs/user -Djava.util.prefs.systemRoot=${tmp}/prefs/system")
  if(XPLUG_TEST_JAVA_OPTIONS)
    string(PREPEND java_options "${XPLUG_TEST_JAVA_OPTIONS} ")
  endif()
  if(T_VM)
    list(APPEND env "ASAN_OPTIONS=handle_segv=0:allow_user_segv_handler=1:detect_leaks=0"
                    "JAVA_TOOL_OPTIONS=-Xcheck:jni ${java_options}")
  else()
    list(APPEND env "ASAN_OPTIONS=detect_leaks=1" "JAVA_TOOL_OPTIONS=${java_options}")
  endif()
  # Any report fails the test.
  list(APPEND env "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 TEST_LIST ${T_NAME}_TESTS
                       PROPERTIES TIMEOUT 300)
  # gtest_discover_tests flattens a list-valued property into separate arguments, which keeps only the
  # first environment entry; a script that runs after discovery sets the whole list on every test.
  set(env_script ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_environment.cmake)
  file(WRITE ${env_script}
       "foreach(test IN LISTS ${T_NAME}_TESTS)\n"
       "  set_tests_properties(\"\${test}\" PROPERTIES ENVIRONMENT [==[${env}]==])\n"
       "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${env_script})
endfunction()

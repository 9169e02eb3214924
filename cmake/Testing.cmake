# tessary_test(NAME [RUNS_TESSARY] SOURCES... LIBS ...): one GoogleTest executable, each test its
# own CTest case. RUNS_TESSARY: its tests start tessary, whose back-end takes the first free port
# from 3000, so they run one at a time.
function(tessary_test name)
  cmake_parse_arguments(ARG "RUNS_TESSARY" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  set(lock "")
  if(ARG_RUNS_TESSARY)
    set(lock RESOURCE_LOCK tessary_backend_port)
    add_dependencies(${name} tessary)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "TESSARY_SOURCE_DIR=${PROJECT_SOURCE_DIR}" ${lock})
endfunction()

# tessary_tsan_test(NAME SOURCES...): the sources (library code included) built on their own
# under ThreadSanitizer, since it cannot be combined with the ASan of the rest of the build.
function(tessary_tsan_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;INCLUDES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${ARG_INCLUDES})
  # Undo the directory-wide ASan flags for this one target.
  set_target_properties(${name} PROPERTIES COMPILE_OPTIONS "-Wall;-Wextra")
  set_target_properties(${name} PROPERTIES LINK_OPTIONS "")
  target_compile_options(${name} PRIVATE -fsanitize=thread -g -O1)
  target_link_options(${name} PRIVATE -fsanitize=thread)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1")
endfunction()

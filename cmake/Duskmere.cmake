# Our own code is held to -Wall -Wextra -Werror; system headers are not.
function(duskmere_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# duskmere_library(NAME DIR [DEPS...]): a static library of every .cpp in DIR, or an
# interface library when DIR holds only headers. Headers are included as "dir/File.h".
function(duskmere_library name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARGN})
    duskmere_warnings(${name})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# duskmere_test(NAME DIR [DEPS...]): one GoogleTest executable of every .cpp in DIR,
# each test registered with CTest.
function(duskmere_test name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main)
  # Where the test data are, also for a test binary run by hand: in a generated header, not on
  # the command line, so that a checkout elsewhere still finds the other objects in the compiler
  # cache.
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/tests/SourceDir.h
       CONTENT "#pragma once\n#define DUSKMERE_SOURCE_DIR \"${CMAKE_SOURCE_DIR}\"\n")
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_BINARY_DIR}/generated/tests)
  duskmere_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "DUSKMERE_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()

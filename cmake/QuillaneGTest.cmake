# GoogleTest: the system's package natively; built from Debian's sources for
# the Windows programs, so the same tests can run under Wine.
if(NOT QUILLANE_TESTS)
  # Without tests the helpers below are defined but add nothing.
elseif(WIN32)
  if(NOT TARGET gtest)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    foreach(t gtest gtest_main)
      target_compile_options(${t} PRIVATE -Wno-error -fexec-charset=UTF-8)
    endforeach()
  endif()
  add_library(quillane_gtest INTERFACE)
  target_link_libraries(quillane_gtest INTERFACE gtest gtest_main)
else()
  find_package(GTest REQUIRED)
  add_library(quillane_gtest INTERFACE)
  target_link_libraries(quillane_gtest INTERFACE GTest::gtest GTest::gtest_main)
endif()

# quillane_add_test(name SOURCES... LIBS ...): a GoogleTest program, registered
# with ctest natively. For Windows builds the program is only built; the native
# ctest run starts it under Wine (tests/CMakeLists.txt).
function(quillane_add_test name)
  if(NOT QUILLANE_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} quillane_gtest)
  if(NOT WIN32)
    add_test(NAME ${name} COMMAND ${name})
    # The same tests, built with ASan and UBSan (build/asan).
    if(QUILLANE_ASAN_BIN)
      add_test(NAME asan_${name} COMMAND ${QUILLANE_ASAN_BIN}/${name})
    endif()
  endif()
endfunction()

# quillane_fuzz_target(name SOURCES... LIBS... SEEDS dir): a libFuzzer target,
# built in the clang fuzz build (build/fuzz, with ASan and UBSan). The native
# build registers a short bounded run of it, from a copy of its seed corpus,
# as a test.
function(quillane_fuzz_target name)
  cmake_parse_arguments(F "" "SEEDS" "SOURCES;LIBS" ${ARGN})
  if(QUILLANE_FUZZ)
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    add_dependencies(fuzz_all ${name})
  elseif(NOT WIN32 AND QUILLANE_FUZZ_BIN)
    add_test(NAME fuzz_${name}
             COMMAND ${PROJECT_SOURCE_DIR}/fuzz/run-bounded.sh ${QUILLANE_FUZZ_BIN}/${name} ${F_SEEDS} 20)
    set_tests_properties(fuzz_${name} PROPERTIES TIMEOUT 120)
  endif()
endfunction()

# Tests that run a Windows program of the cross build under Wine, registered in
# the native build when QUILLANE_WIN64_BIN is set. They share one Wine prefix and
# one virtual display (the fixture "wine"), and run one at a time.
#   quillane_wine_test(NAME name COMMAND program-or-script args... [LANG locale] [TIMEOUT s])
# A COMMAND ending in .exe is looked up in QUILLANE_WIN64_BIN and started with
# wine; anything else is run as is with the Wine environment exported
# (WINEPREFIX, DISPLAY, QUILLANE_WIN64_BIN, QUILLANE_WINE).
function(quillane_wine_test)
  if(WIN32 OR NOT QUILLANE_WIN64_BIN OR NOT QUILLANE_TESTS)
    return()
  endif()
  cmake_parse_arguments(W "" "NAME;LANG;TIMEOUT" "COMMAND" ${ARGN})
  if(NOT W_LANG)
    set(W_LANG zh_CN.UTF-8)
  endif()
  if(NOT W_TIMEOUT)
    set(W_TIMEOUT 300)
  endif()
  add_test(NAME ${W_NAME}
           COMMAND ${PROJECT_SOURCE_DIR}/tests/e2e/wine-run.sh ${W_COMMAND})
  set_tests_properties(${W_NAME} PROPERTIES
    FIXTURES_REQUIRED wine RESOURCE_LOCK wine TIMEOUT ${W_TIMEOUT}
    ENVIRONMENT "QUILLANE_WINE_STATE=${CMAKE_BINARY_DIR}/wine-state;QUILLANE_WIN64_BIN=${QUILLANE_WIN64_BIN};QUILLANE_WINE_LANG=${W_LANG}")
endfunction()

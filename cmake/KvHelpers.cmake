# kv_library(NAME [QT] [DEPS lib...])
#   Builds kv_NAME as a static library from the *.cpp files of the calling
#   folder (not its subfolders) and, when tests are on, NAME_tests from the
#   folder's tests/*.cpp, linked with GoogleTest and the test support library.
#   The repository root is the include root: #include "data/chart.h".
function(kv_library name)
  cmake_parse_arguments(A "QT" "" "DEPS;TEST_DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)
    set(stub ${CMAKE_CURRENT_BINARY_DIR}/kv_${name}_empty.cpp)
    if(NOT EXISTS ${stub})
      file(WRITE ${stub} "// no sources yet\n")
    endif()
    set(srcs ${stub})
  endif()
  add_library(kv_${name} STATIC ${srcs})
  target_include_directories(kv_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(kv_${name} PUBLIC ${A_DEPS} Threads::Threads)
  if(A_QT)
    target_link_libraries(kv_${name} PUBLIC Qt6::Widgets Qt6::PrintSupport)
  endif()
  if(KV_TESTS)
    file(GLOB tsrcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
    if(tsrcs)
      add_executable(${name}_tests ${tsrcs})
      target_link_libraries(${name}_tests PRIVATE kv_${name} ${A_TEST_DEPS}
        kv_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
      target_compile_definitions(${name}_tests PRIVATE
        KV_SOURCE_DIR="${PROJECT_SOURCE_DIR}" KV_BINARY_DIR="${CMAKE_BINARY_DIR}")
      # The environment goes through a launcher: a list given as the
      # ENVIRONMENT property loses all but its first entry on the way
      # through test discovery.  HOME and the XDG folders point below
      # /dev/null, where nothing can be made even as root: a test that
      # forgets the temporary-root fixture fails instead of touching the
      # user's own files.
      set(no_home /dev/null/no-home)
      set_property(TARGET ${name}_tests PROPERTY CROSSCOMPILING_EMULATOR
        ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
        LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/scripts/lsan.supp
        UBSAN_OPTIONS=print_stacktrace=1
        HOME=${no_home} XDG_CONFIG_HOME=${no_home}/.config XDG_DATA_HOME=${no_home}/.local/share
        XDG_CACHE_HOME=${no_home}/.cache XDG_RUNTIME_DIR=${no_home}/.run)
      gtest_discover_tests(${name}_tests DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT 300)
    endif()
  endif()
endfunction()

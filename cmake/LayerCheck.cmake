# Layer check: the libraries below the windows link in one direction,
#   platform -> settings -> data -> quotes -> studies -> broker -> shellcore.
# Each check program takes every object of one library (whole archive) and
# only the libraries named below it, so a call into a higher layer is an
# undefined reference and the build fails.  The programs also run as tests:
# a check that did not link has nothing to run.
if(NOT KV_TESTS)
  return()
endif()

set(kv_layer_main ${CMAKE_BINARY_DIR}/layer_check_main.cpp)
if(NOT EXISTS ${kv_layer_main})
  file(WRITE ${kv_layer_main} "// Empty: the check is that the program links.\nint main() { return 0; }\n")
endif()

# kv_layer_check(LIB below...): LIB whole, then the libraries below it.
function(kv_layer_check lib)
  set(exe layer_check_${lib})
  add_executable(${exe} ${kv_layer_main})
  add_dependencies(${exe} kv_${lib})
  target_link_libraries(${exe} PRIVATE
    -Wl,--whole-archive $<TARGET_FILE:kv_${lib}> -Wl,--no-whole-archive
    ${ARGN} Threads::Threads)
  set_target_properties(${exe} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/layers)
  add_test(NAME Layers.${lib}LinksWithLowerLayersOnly COMMAND ${exe})
  set_tests_properties(Layers.${lib}LinksWithLowerLayersOnly PROPERTIES
    ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/scripts/lsan.supp")
endfunction()

kv_layer_check(settings kv_platform)
kv_layer_check(data kv_settings kv_platform CURL::libcurl)
kv_layer_check(quotes kv_data kv_settings kv_platform)
kv_layer_check(studies kv_quotes kv_data kv_settings kv_platform)
kv_layer_check(broker kv_studies kv_quotes kv_data kv_settings kv_platform ${KV_BROKER_SYSTEM_LIBS})
kv_layer_check(shellcore kv_broker kv_studies kv_quotes kv_data kv_settings kv_platform ${KV_BROKER_SYSTEM_LIBS})

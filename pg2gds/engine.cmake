# The PG -> GDSII engines: the engine library, one main built twice (corvitex for
# Electromask input, corvaxen for Mann input), and the engine's tests.
file(GLOB corv_core_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/engine_*.cpp)
add_library(corv_core STATIC ${corv_core_sources})
target_include_directories(corv_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(corv_core PUBLIC pgreaders gdsii support)

set(corv_programs corvitex corvaxen)
set(corv_mann_flags 0 1)
foreach(program mann IN ZIP_LISTS corv_programs corv_mann_flags)
  add_executable(${program} ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
  target_link_libraries(${program} PRIVATE corv_core)
  target_compile_definitions(${program} PRIVATE KAVRINTH_ENGINE_MANN=${mann})
endforeach()

# One test executable per engine_tests/*_test.cpp (kavrinth_add_tests globs tests/ only).
# The tests run the real programs, whose paths they are given.
if(KAVRINTH_BUILD_TESTS)
  file(GLOB corv_test_sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/engine_tests/*_test.cpp)
  foreach(src IN LISTS corv_test_sources)
    get_filename_component(name ${src} NAME_WE)
    set(target corv_core_${name})
    add_executable(${target} ${src})
    target_link_libraries(${target} PRIVATE corv_core test_support GTest::gtest_main GTest::gmock)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KAVRINTH_TEST_BIN_DIR})
    add_dependencies(${target} corvitex corvaxen)
    target_compile_definitions(${target} PRIVATE CORVITEX_PROGRAM="$<TARGET_FILE:corvitex>"
                                                 CORVAXEN_PROGRAM="$<TARGET_FILE:corvaxen>")
    kavrinth_discover_tests(${target})
  endforeach()
endif()

# Precompiled headers. Parsing the Qt headers is a third of the compile time of each file on
# Qt Widgets (the shells, the viewer, the support windows, the plot libraries), and parsing
# GoogleTest's two thirds of that of a small test, so each such target uses one header
# compiled once for all of them, in a target of its own:
#   kavrinth_qt_pch       cmake/qt_pch.h       libraries and programs on Qt Widgets
#   kavrinth_qt_test_pch  cmake/qt_test_pch.h  test programs on Qt Widgets
#   kavrinth_test_pch     cmake/test_pch.h     the other test programs
# A target takes the one that fits what it links, directly or through our libraries.
# Included at the end of the top-level CMakeLists.txt, once every target exists.
#
# Only with g++: it takes a header precompiled with other -D options as long as they do not
# touch the header (the Qt module macros and our own paths and names do not), and says so
# (-Winvalid-pch) when it cannot use one. ccache caches these compilations only with
# "sloppiness = pch_defines,time_macros" in its configuration.
#
# g++ 12 warns of std::string copies inlined from a precompiled header as out of bounds
# (-Warray-bounds, -Wstringop-overflow, -Wstringop-overread; its known false alarms on
# std::string, which it keeps quiet when the header is read as text, as a system header's):
# a few dozen such warnings in the Qt code and the tests, none real, so those targets go
# without these warnings. The core libraries
# and the command-line programs use no precompiled header and keep it.
option(KAVRINTH_PCH "Precompile the Qt and GoogleTest headers" ON)
if(NOT KAVRINTH_PCH OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  return()
endif()

set(kavrinth_pch_options)
if(CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  set(kavrinth_pch_options -Wno-array-bounds -Wno-stringop-overflow -Wno-stringop-overread)
endif()

# kavrinth_pch(<name> <header> <libraries>...): the target that compiles the header.
function(kavrinth_pch name header)
  add_library(${name} OBJECT ${PROJECT_SOURCE_DIR}/cmake/pch.cpp)
  target_link_libraries(${name} PRIVATE ${ARGN})
  target_compile_options(${name} PRIVATE ${kavrinth_pch_options})
  target_precompile_headers(${name} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/${header})
endfunction()
if(KAVRINTH_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  kavrinth_pch(kavrinth_qt_pch qt_pch.h Qt6::Widgets)
endif()
if(KAVRINTH_BUILD_TESTS)
  kavrinth_pch(kavrinth_test_pch test_pch.h GTest::gtest GTest::gmock)
  # Test programs are position-independent executables, and a header precompiled for
  # position-independent code does not suit them; the Qt ones are compiled as such code.
  target_compile_options(kavrinth_test_pch PRIVATE -fPIE)
  if(KAVRINTH_BUILD_GUI)
    kavrinth_pch(kavrinth_qt_test_pch qt_test_pch.h Qt6::Widgets GTest::gtest GTest::gmock)
  endif()
endif()

# kavrinth_links(<target> <kind> <pattern> <result>): whether the target links a library
# whose name matches the pattern, directly or through libraries of this project; <kind>
# names the pattern in the cache of answers.
function(kavrinth_links target kind pattern result)
  get_property(known GLOBAL PROPERTY kavrinth_links_${kind}_${target} SET)
  if(known)
    get_property(links GLOBAL PROPERTY kavrinth_links_${kind}_${target})
    set(${result} ${links} PARENT_SCOPE)
    return()
  endif()
  set(links FALSE)
  get_target_property(libraries ${target} LINK_LIBRARIES)
  get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
  foreach(library IN LISTS libraries interface)
    if(library MATCHES "${pattern}")
      set(links TRUE)
      break()
    endif()
    if(TARGET ${library})
      get_target_property(imported ${library} IMPORTED)
      if(NOT imported)
        kavrinth_links(${library} ${kind} "${pattern}" library_links)
        if(library_links)
          set(links TRUE)
          break()
        endif()
      endif()
    endif()
  endforeach()
  set_property(GLOBAL PROPERTY kavrinth_links_${kind}_${target} ${links})
  set(${result} ${links} PARENT_SCOPE)
endfunction()

function(kavrinth_use_pch directory)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(target MATCHES "^kavrinth_(qt_|qt_test_|test_)pch$" OR
       NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      continue()
    endif()
    set(pch)
    if(TARGET kavrinth_qt_pch)
      kavrinth_links(${target} qt "^Qt6::Widgets$" qt)
    else()
      set(qt FALSE)
    endif()
    set(test FALSE)
    if(TARGET kavrinth_test_pch AND type STREQUAL "EXECUTABLE")
      kavrinth_links(${target} gtest "^GTest::" test)
    endif()
    if(qt AND test)
      set(pch kavrinth_qt_test_pch)
    elseif(qt)
      set(pch kavrinth_qt_pch)
    elseif(test)
      set(pch kavrinth_test_pch)
    endif()
    if(pch)
      target_precompile_headers(${target} REUSE_FROM ${pch})
      target_compile_options(${target} PRIVATE ${kavrinth_pch_options})
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    kavrinth_use_pch(${subdirectory})
  endforeach()
endfunction()
kavrinth_use_pch(${PROJECT_SOURCE_DIR})

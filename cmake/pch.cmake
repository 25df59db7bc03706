# Precompiled headers for the code on Qt Widgets. Parsing the Qt headers is a third of the
# compile time of each such file, and there are well over a hundred of them (the shells,
# the viewer, the support windows, the plot libraries and their tests), so every target
# that links Qt6::Widgets, directly or through one of our libraries, uses one precompiled
# cmake/qt_pch.h, compiled once in kavrinth_qt_pch. Included at the end of the top-level
# CMakeLists.txt, once every target exists.
#
# Only with g++: it takes a header precompiled with other -D options as long as they do not
# touch the header (the Qt module macros and our own program paths do not), and says so
# (-Winvalid-pch) when it cannot use it. ccache caches these compilations only with
# "sloppiness = pch_defines,time_macros" in its configuration.
option(KAVRINTH_PCH "Precompile the Qt headers the windowed code shares" ON)
if(NOT KAVRINTH_PCH OR NOT KAVRINTH_BUILD_GUI OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  return()
endif()
find_package(Qt6 REQUIRED COMPONENTS Widgets)

add_library(kavrinth_qt_pch OBJECT ${PROJECT_SOURCE_DIR}/cmake/qt_pch.cpp)
target_link_libraries(kavrinth_qt_pch PRIVATE Qt6::Widgets)
target_precompile_headers(kavrinth_qt_pch PRIVATE ${PROJECT_SOURCE_DIR}/cmake/qt_pch.h)

# kavrinth_links_qt_widgets(<target> <result>): whether the target links Qt6::Widgets,
# directly or through libraries of this project.
function(kavrinth_links_qt_widgets target result)
  get_property(known GLOBAL PROPERTY kavrinth_qt_widgets_${target} SET)
  if(known)
    get_property(links GLOBAL PROPERTY kavrinth_qt_widgets_${target})
    set(${result} ${links} PARENT_SCOPE)
    return()
  endif()
  set(links FALSE)
  get_target_property(libraries ${target} LINK_LIBRARIES)
  get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
  foreach(library IN LISTS libraries interface)
    if(library STREQUAL "Qt6::Widgets")
      set(links TRUE)
      break()
    endif()
    if(TARGET ${library})
      get_target_property(imported ${library} IMPORTED)
      if(NOT imported)
        kavrinth_links_qt_widgets(${library} library_links)
        if(library_links)
          set(links TRUE)
          break()
        endif()
      endif()
    endif()
  endforeach()
  set_property(GLOBAL PROPERTY kavrinth_qt_widgets_${target} ${links})
  set(${result} ${links} PARENT_SCOPE)
endfunction()

function(kavrinth_use_qt_pch directory)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(target STREQUAL "kavrinth_qt_pch" OR
       NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      continue()
    endif()
    kavrinth_links_qt_widgets(${target} links)
    if(links)
      target_precompile_headers(${target} REUSE_FROM kavrinth_qt_pch)
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    kavrinth_use_qt_pch(${subdirectory})
  endforeach()
endfunction()
kavrinth_use_qt_pch(${PROJECT_SOURCE_DIR})

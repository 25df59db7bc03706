# Installing the suite and packaging it for Debian. Included at the end of the top-level
# CMakeLists.txt, once every program's target exists.
#
# One rule, as in build/bin/: every program, companion library and support file lies in
# one private directory, <prefix>/lib/kavrinth, because the programs find each other and
# their files beside themselves (the directory of /proc/self/exe, which resolves symbolic
# links). The programs a user starts by name are symbolic links in <prefix>/bin into that
# directory. Desktop entries and MIME types let a file manager open each document type in
# the right program.

set(KAVRINTH_INSTALL_DIR lib/kavrinth)

# Programs a user starts by name, linked from <prefix>/bin.
set(kavrinth_user_programs tabreng corvitex corvaxen selvar ferolt mistrel vexil tabrun corvane)
# Programs and libraries that only the programs start or load; they stay private.
set(kavrinth_companions vantor quenrix pexol plendo orvisk)
# Support files the programs read beside themselves (made or copied into build/bin/).
set(kavrinth_support_files mirelt.shx mirelt.shx.README noltrpt.t_t lumrarpt.t_t lumrarpt.m_m
                           gdsstrct.s_s README.md)
# The windowed programs, each with a desktop entry in resources/desktop/.
set(kavrinth_desktop_programs vexil tabrun corvane)

# Help commands open the README beside the programs; it is copied there in the build tree
# as it is in an installation.
configure_file(${PROJECT_SOURCE_DIR}/README.md ${KAVRINTH_BIN_DIR}/README.md COPYONLY)

set(kavrinth_installed_targets)
foreach(target IN LISTS kavrinth_user_programs kavrinth_companions)
  if(TARGET ${target})
    list(APPEND kavrinth_installed_targets ${target})
    # The companion libraries are found beside the program that loads them, installed or not.
    get_target_property(rpath ${target} INSTALL_RPATH)
    if(NOT rpath)
      set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    endif()
  endif()
endforeach()
install(TARGETS ${kavrinth_installed_targets}
        RUNTIME DESTINATION ${KAVRINTH_INSTALL_DIR}
        LIBRARY DESTINATION ${KAVRINTH_INSTALL_DIR})

# "kavrinth_programs": just the programs, companions and support files, without the tests,
# for a user who wants to run the suite.
add_custom_target(kavrinth_programs)
add_dependencies(kavrinth_programs ${kavrinth_installed_targets})
if(TARGET mirelt_font)
  add_dependencies(kavrinth_programs mirelt_font)
endif()

# tools/demo.sh builds in two steps, so that its results come before the Qt code is
# compiled: "kavrinth_road", the command-line programs and the companions and font their
# roads run (no Qt), then "kavrinth_demo_windows", the windowed programs its closing lines
# name with the companions they start and load (the GDSII viewer launcher, the plot
# libraries). tools/test.sh builds the rest.
set(kavrinth_road_targets tabreng corvitex corvaxen selvar ferolt mistrel vantor quenrix
                          mirelt_font)
add_custom_target(kavrinth_road)
foreach(target IN LISTS kavrinth_road_targets)
  if(TARGET ${target})
    add_dependencies(kavrinth_road ${target})
  endif()
endforeach()
add_custom_target(kavrinth_demo_windows)
foreach(target IN ITEMS tabrun vexil pexol plendo orvisk)
  if(TARGET ${target})
    add_dependencies(kavrinth_demo_windows ${target})
  endif()
endforeach()

list(TRANSFORM kavrinth_support_files PREPEND ${KAVRINTH_BIN_DIR}/)
install(FILES ${kavrinth_support_files} DESTINATION ${KAVRINTH_INSTALL_DIR})

# Relative links, so that the installed tree can be moved or staged (DESTDIR, packaging).
set(kavrinth_link_dir ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${kavrinth_link_dir}/bin ${kavrinth_link_dir}/doc)
set(kavrinth_program_links)
foreach(program IN LISTS kavrinth_user_programs)
  if(TARGET ${program})
    file(CREATE_LINK ../${KAVRINTH_INSTALL_DIR}/${program} ${kavrinth_link_dir}/bin/${program}
         SYMBOLIC)
    list(APPEND kavrinth_program_links ${kavrinth_link_dir}/bin/${program})
  endif()
endforeach()
install(FILES ${kavrinth_program_links} DESTINATION bin)
# The README where Debian users look for a package's documentation.
file(CREATE_LINK ../../../${KAVRINTH_INSTALL_DIR}/README.md ${kavrinth_link_dir}/doc/README.md
     SYMBOLIC)
install(FILES ${kavrinth_link_dir}/doc/README.md DESTINATION share/doc/kavrinth)

# Desktop entries name their program by its installed path, which is known only when
# installing (cmake --install --prefix, or the package's /usr); each is written straight into
# the installed tree, so that installs into different prefixes never share a file.
foreach(program IN LISTS kavrinth_desktop_programs)
  if(TARGET ${program})
    install(CODE "
      set(KAVRINTH_PROGRAMS \"\${CMAKE_INSTALL_PREFIX}/bin\")
      set(entry \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/applications/${program}.desktop\")
      message(STATUS \"Installing: \${entry}\")
      configure_file(\"${PROJECT_SOURCE_DIR}/resources/desktop/${program}.desktop.in\"
                     \"\${entry}\" @ONLY)
      list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${entry}\")")
    install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/icons/${program}.svg
            DESTINATION share/icons/hicolor/scalable/apps)
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/kavrinth.xml DESTINATION share/mime/packages)

# The Debian package (cpack -G DEB, or the "package" target). The file triggers of
# shared-mime-info and desktop-file-utils update the desktop's databases when it is
# installed or removed, so the package needs no scripts of its own.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kavrinth)
set(CPACK_PACKAGE_VENDOR "Kavrinth")
set(CPACK_PACKAGE_CONTACT "Kavrinth developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photomask data preparation: GDSII to pattern-generator data and back")
# The extended description; CPack puts the summary above it and indents its lines.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kavrinth turns GDSII layouts into Electromask and Mann pattern-generator (PG)
data and PG files back into GDSII. It holds the command-line engines tabreng,
corvitex and corvaxen with their companion programs, the viewer vexil for PG
and WF2 data, and the shells tabrun and corvane that drive the engines.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The library dependencies (Qt 6, the C and C++ runtimes) come from the installed programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Reports and logs open with the desktop's default programs; GDSII files open in KLayout.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "klayout")
include(CPack)

if(KAVRINTH_BUILD_TESTS)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/install ${CMAKE_BINARY_DIR}/tests/install)
endif()

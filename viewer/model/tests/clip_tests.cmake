# The frame clipping test checks its areas against an independent polygon library used
# only there: Debian's libpolyclipping (libpolyclipping-dev), found through pkg-config.
if(TARGET viewer_model_clip_frames_test)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(POLYCLIPPING REQUIRED IMPORTED_TARGET polyclipping)
  target_link_libraries(viewer_model_clip_frames_test PRIVATE PkgConfig::POLYCLIPPING)
endif()

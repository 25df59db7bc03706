// The translation unit that compiles one of the precompiled headers of cmake/pch.cmake.

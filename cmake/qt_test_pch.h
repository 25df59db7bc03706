// The headers of the tests on Qt Widgets: those of the windowed code and of GoogleTest,
// compiled once and shared by those test programs (cmake/pch.cmake).
#include "qt_pch.h"
#include "test_pch.h"

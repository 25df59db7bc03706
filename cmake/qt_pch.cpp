// The translation unit that compiles cmake/qt_pch.h once for every target on Qt Widgets.

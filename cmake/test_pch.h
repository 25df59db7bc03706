// The GoogleTest headers every test includes, compiled once and shared by the test
// programs (cmake/pch.cmake).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The exported entry of libquenrix.so; no exception leaves it.
#include "companions/quenrix/quenrix.h"

#include <unistd.h>

#include "companions/quenrix/post_processor.h"

extern "C" int32_t quenrix_ordinal_1(int32_t argc, char** argv, uint32_t /*window*/,
                                     volatile int* cancel_flag) {
  try {
    return kavrinth::RunPostProcessor(argc, argv, cancel_flag);
  } catch (...) {
    static constexpr char kMessage[] = "Post-processor error: the run ended unexpectedly\n";
    ssize_t ignored = ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    (void)ignored;
    return -1;
  }
}

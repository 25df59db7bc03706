// A stand-in post-processor for the engine tests: it writes how it was called into
// "quenrix_call.txt" in the working directory, copies the header stream it was handed
// to "quenrix_header.copy", and returns the number in TABRENG_FAKE_RESULT (0 when
// unset); with TABRENG_FAKE_CANCEL set it also sets the cancel flag.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

extern "C" __attribute__((visibility("default"))) int32_t quenrix_ordinal_1(
    int32_t argc, char** argv, uint32_t window, volatile int* cancel_flag) {
  std::ofstream call("quenrix_call.txt", std::ios::binary);
  call << "argc " << argc << "\n";
  for (int32_t i = 0; i < argc; ++i) call << "argv " << argv[i] << "\n";
  call << "terminated " << (argv[argc] == nullptr ? "yes" : "no") << "\n";
  call << "window " << window << "\n";
  call << "cancel " << (cancel_flag != nullptr ? *cancel_flag : -1) << "\n";
  if (argc > 1) {
    std::ifstream header(argv[1], std::ios::binary);
    call << "header " << (header ? "readable" : "missing") << "\n";
    std::ofstream copy("quenrix_header.copy", std::ios::binary);
    copy << std::string(std::istreambuf_iterator<char>(header), std::istreambuf_iterator<char>());
  }
  if (std::getenv("TABRENG_FAKE_CANCEL") != nullptr && cancel_flag != nullptr) *cancel_flag = 1;
  const char* result = std::getenv("TABRENG_FAKE_RESULT");
  return result != nullptr ? std::atoi(result) : 0;
}

// Fuzz target of the viewer's hand-over request decoder: the input taken as the bytes a
// later viewer sent on the socket (length word included). A request the decoder takes
// must come back the same through the encoder and the decoder again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include <QByteArray>

#include "viewer/app/single_instance.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kavrinth;
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const std::optional<HandOverRequest> request = DecodeHandOver(bytes);
  if (!request) return 0;
  if (request->kind != HandOverRequest::kOpen && request->kind != HandOverRequest::kClose) {
    std::abort();
  }
  const std::optional<HandOverRequest> again = DecodeHandOver(EncodeHandOver(*request));
  if (!again || again->kind != request->kind || again->directory != request->directory ||
      again->args != request->args) {
    std::abort();
  }
  return 0;
}

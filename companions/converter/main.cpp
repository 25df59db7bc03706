// ferolt and mistrel: one source built twice; KAVRINTH_CONVERTER_MISTREL picks the program.
#include "companions/converter/converter.h"

int main(int argc, char** argv) {
  kavrinth::RunConverter(KAVRINTH_CONVERTER_MISTREL ? kavrinth::ConverterKind::kMistrel
                                                    : kavrinth::ConverterKind::kFerolt,
                         argc, argv);
}

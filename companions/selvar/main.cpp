// selvar: scans a GDSII file and writes its .ssn scan report.
#include "companions/selvar/selvar.h"

int main(int argc, char** argv) { kavrinth::RunSelvar(argc, argv); }

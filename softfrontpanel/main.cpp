#include "programstart.h"

int main(int argc, char *argv[]) { return runFrontPanel(argc, argv); }

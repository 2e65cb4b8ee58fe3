#include "kronmark.h"

int main(int argc, char **argv) { return kronmark_main(argc, argv); }
